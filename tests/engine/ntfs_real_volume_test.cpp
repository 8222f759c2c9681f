// The NTFS scanner against real volumes that mkntfs and ntfs-3g make at test
// time (tests/fixtures/make_ntfs_image.sh), with 4 KiB and 512-byte
// clusters: the Quick Scan lists the deleted files with their paths and they
// come back byte for byte, live folders list their entries, and the
// unformat sweep of a quick-formatted copy finds the old files again. The
// Sleuth Kit's fls is a cross-check. Skipped where FUSE is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/gleaner.h"
#include "engine/ntfs/ntfs.h"
#include "engine/volume_access.h"
#include "tests/fixtures/script_volume.h"

namespace salvor {
namespace {

struct ManifestItem {
  bool folder = false;
  std::string path;  // "/"-separated, relative to the root
  bool deleted = false;
  uint64_t size = 0;
  std::string sha256;

  std::string name() const { return path.substr(path.rfind('/') + 1); }
  std::string parent() const {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }
};

struct Fixture : testing::ScriptVolume {
  std::vector<ManifestItem> items;
};

// Manifest rows: kind, path, deleted, size, sha256.
std::vector<ManifestItem> ManifestItems(const std::vector<std::vector<std::string>>& rows) {
  std::vector<ManifestItem> items;
  for (const auto& fields : rows) {
    if (fields.size() != 5) continue;
    ManifestItem item;
    item.folder = fields[0] == "folder";
    item.path = fields[1];
    item.deleted = fields[2] == "1";
    item.size = std::stoull(fields[3]);
    item.sha256 = fields[4];
    items.push_back(item);
  }
  return items;
}

const Fixture& GetFixture(int cluster_bytes) {
  static std::map<int, Fixture> fixtures;
  auto found = fixtures.find(cluster_bytes);
  if (found != fixtures.end()) return found->second;
  Fixture& f = fixtures[cluster_bytes];
  static_cast<testing::ScriptVolume&>(f) =
      testing::MakeScriptVolume(SALVOR_NTFS_FIXTURE, std::to_string(cluster_bytes));
  f.items = ManifestItems(f.manifest_rows);
  return f;
}

std::string RunCommand(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string out;
  if (!pipe) return out;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, n);
  return out;
}


// "N:\\Docs\\a.txt" -> "Docs/a.txt".
std::string RelativePath(std::u16string_view full_path) {
  std::string out = text::to_utf8(full_path.substr(full_path.find(u'\\') + 1));
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

struct Found {
  _FileInfoNtfs info;
  std::string path;
};

uint32_t Collect(_FileInfoNtfs record, void* user) {
  auto* found = static_cast<std::vector<Found>*>(user);
  found->push_back({record, RelativePath(record.FullPath.view())});
  return 0;
}

class NtfsRealVolume : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    fixture_ = &GetFixture(GetParam());
    if (fixture_->skipped) GTEST_SKIP() << "mkntfs, ntfs-3g or FUSE not available";
    ASSERT_TRUE(fixture_->failure.empty()) << fixture_->failure;
    ASSERT_FALSE(fixture_->items.empty());
  }

  // Opens `image` under drive letter N: in a fresh scanner.
  bool Open(engine::CNtfs& ntfs, const std::string& image) {
    if (!engine::MountImage(u'N', text::from_utf8(image))) return false;
    return ntfs.OpenVolume(u"N:") && ntfs.LoadRecordLayout();
  }

  std::string Out(const std::string& name) { return fixture_->dir + "/" + name; }

  const Fixture* fixture_ = nullptr;
};

TEST_P(NtfsRealVolume, QuickScanListsDeletedFilesWithPathsAndRecoversThem) {
  engine::CNtfs ntfs;
  ASSERT_TRUE(Open(ntfs, fixture_->image));
  std::vector<Found> found;
  static uint64_t progress_calls;
  progress_calls = 0;
  auto progress = [](void*, uint64_t, uint64_t) -> uint32_t {
    ++progress_calls;
    return 0;
  };
  ASSERT_TRUE(ntfs.ScanNtfsDisk(u"N:", Collect, &found, progress));
  EXPECT_GE(progress_calls, 1u);

  // The batched reads give what reading record by record gives.
  std::set<uint64_t> batched;
  for (const Found& f : found) batched.insert(uint64_t{f.info.MftNumber});  // a copy: the record is packed
  std::set<uint64_t> one_by_one;
  std::vector<std::byte> record(ntfs.geometry()->file_record_bytes);
  for (uint64_t n = 0; ntfs.ReadMftRecord(n, record); ++n) {
    const uint16_t flags = read_u16_le(record, 0x16);
    const bool base = read_u32_le(record, 0x20) == 0 && read_u16_le(record, 0x24) == 0;
    if (read_u32_le(record, 0) == 0x454C4946 && (flags == 0 || flags == 2) && base && ntfs.RecordName(record, n)) {
      one_by_one.insert(n);
    }
  }
  EXPECT_EQ(batched, one_by_one);

  std::map<std::string, const Found*> by_path;
  for (const Found& f : found) {
    EXPECT_EQ(f.info.Source, kNtfsFromRecord);
    by_path[f.path] = &f;
  }
  int recovered = 0;
  for (const ManifestItem& item : fixture_->items) {
    auto it = by_path.find(item.path);
    if (!item.deleted) {
      EXPECT_EQ(it, by_path.end()) << item.path << " is live but was listed as deleted";
      continue;
    }
    ASSERT_NE(it, by_path.end()) << item.path << " not listed";
    const _FileInfoNtfs& info = it->second->info;
    EXPECT_EQ(info.Type, item.folder ? kEntryFolder : kEntryFile) << item.path;
    if (item.folder) continue;
    EXPECT_EQ(uint64_t{info.DataSize}, item.size) << item.path;
    const std::string out = Out("recovered-" + std::to_string(recovered++));
    ASSERT_TRUE(ntfs.NtfsRecoverData(text::from_utf8(out), info.MftNumber, nullptr, nullptr)) << item.path;
    EXPECT_EQ(testing::Sha256OfFile(out), item.sha256) << item.path << " not recovered byte for byte";
  }
  EXPECT_GE(recovered, 10);

  // Every deleted file fls sees (with a name under the root) we list too.
  std::istringstream fls(RunCommand("fls -r -d -p '" + fixture_->image + "'"));
  std::string line;
  int checked = 0;
  while (std::getline(fls, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.find("$OrphanFiles") != std::string::npos) continue;
    const std::string path = line.substr(tab + 1);
    EXPECT_TRUE(by_path.count(path)) << "fls lists " << path;
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

TEST_P(NtfsRealVolume, LiveFoldersListTheirEntries) {
  engine::CNtfs ntfs;
  ASSERT_TRUE(Open(ntfs, fixture_->image));
  std::map<std::string, std::set<std::string>> live_children;
  std::map<std::string, std::set<std::string>> all_children;
  live_children[""];
  for (const ManifestItem& item : fixture_->items) {
    all_children[item.parent()].insert(item.name());
    if (item.deleted) continue;
    live_children[item.parent()].insert(item.name());
    if (item.folder) live_children[item.path];
  }
  for (const auto& [folder, names] : live_children) {
    std::u16string path = u"N:";
    if (!folder.empty()) {
      path += u"\\";
      for (char16_t c : text::from_utf8(folder)) path += c == u'/' ? u'\\' : c;
    }
    std::vector<Found> listed;
    ASSERT_TRUE(ntfs.ScanNtfsEx(path, Collect, &listed)) << folder;
    std::set<std::string> listed_names;
    for (const Found& f : listed) {
      EXPECT_EQ(f.info.Source, kNtfsFromIndex);
      EXPECT_GT(uint64_t{f.info.MftNumber}, 15u);
      const std::string name = f.path.substr(f.path.rfind('/') + 1);
      listed_names.insert(name);
    }
    for (const std::string& name : names) {
      if (name.ends_with(".tmp")) continue;
      EXPECT_TRUE(listed_names.count(name)) << folder << " does not list " << name;
    }
    // Lookup by name finds the entry's record, ignoring the case of A to Z.
    if (!names.empty() && folder.empty()) {
      uint64_t record = 0;
      ASSERT_TRUE(ntfs.FindByFileName(u"N:", u"README.TXT", engine::ntfs::kRootRecord, &record, nullptr, nullptr));
      EXPECT_GT(record, 15u);
    }
  }
  // The folder with many entries needs INDX blocks: all 119 live entries.
  std::vector<Found> many;
  ASSERT_TRUE(ntfs.ScanNtfsEx(u"N:\\Documents\\Many Files", Collect, &many));
  std::set<std::string> many_names;
  for (const Found& f : many) many_names.insert(f.path);
  EXPECT_GE(many_names.size(), 119u);
}

// Seconds since 1970 of a FILETIME (100 ns units since 1601).
int64_t UnixSeconds(NtfsFileTime time) {
  const uint64_t ticks = (uint64_t{time.HighDateTime} << 32) | time.LowDateTime;
  return static_cast<int64_t>(ticks / 10000000) - 11644473600;
}

// "Date Modified" is the time Windows shows: the $STANDARD_INFORMATION one,
// as The Sleuth Kit's fls reports it, not the time in the names.
TEST_P(NtfsRealVolume, DateModifiedIsTheStandardInformationTime) {
  engine::CNtfs ntfs;
  ASSERT_TRUE(Open(ntfs, fixture_->image));
  std::vector<Found> deleted;
  ASSERT_TRUE(ntfs.ScanNtfsDisk(u"N:", Collect, &deleted, nullptr));
  std::vector<Found> live;
  std::vector<std::u16string> folders{u"N:"};
  for (size_t i = 0; i < folders.size() && i < 1000; ++i) {
    std::vector<Found> listed;
    ASSERT_TRUE(ntfs.ScanNtfsEx(folders[i], Collect, &listed));
    for (const Found& f : listed) {
      if (f.info.Type == kEntryFolder) folders.push_back(f.info.FullPath.str());
      live.push_back(f);
    }
  }

  // fls body lines: md5|name|inode|mode|uid|gid|size|atime|mtime|ctime|crtime.
  std::map<std::string, int64_t> fls_live, fls_deleted;
  std::istringstream fls(RunCommand("fls -r -m / '" + fixture_->image + "'"));
  for (std::string line; std::getline(fls, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '|');) fields.push_back(field);
    if (fields.size() < 11 || fields[1].find("($FILE_NAME)") != std::string::npos) continue;
    std::string name = fields[1].substr(1);
    const std::string mark = " (deleted)";
    const bool is_deleted = name.ends_with(mark);
    if (is_deleted) name.resize(name.size() - mark.size());
    (is_deleted ? fls_deleted : fls_live)[name] = std::stoll(fields[8]);
  }

  const int64_t old_time = 1584181230;  // 2020-03-14 10:20:30 UTC, set by the fixture
  const std::set<std::string> old_files{"readme.txt", "big root file.bin", "Deleted big.bin", "Documents/Reports",
                                        "Documents/Many Files/Entry number 042 with a rather long name.txt",
                                        "Old Projects/Alpha/Specification.txt"};
  std::set<std::string> old_seen;
  int compared = 0;
  auto check = [&](const std::vector<Found>& found, const std::map<std::string, int64_t>& oracle) {
    for (const Found& f : found) {
      const int64_t ours = UnixSeconds(f.info.FileTime);
      if (old_files.count(f.path)) {
        EXPECT_EQ(ours, old_time) << f.path;
        old_seen.insert(f.path);
      }
      auto it = oracle.find(f.path);
      if (it == oracle.end()) continue;
      EXPECT_EQ(ours, it->second) << f.path << ": fls says otherwise";
      ++compared;
    }
  };
  check(live, fls_live);
  check(deleted, fls_deleted);
  EXPECT_EQ(old_seen, old_files);
  EXPECT_GE(compared, 150);
}

TEST_P(NtfsRealVolume, UnformatSweepFindsOldFilesOfAQuickFormattedCopy) {
  engine::CNtfs ntfs;
  ASSERT_TRUE(Open(ntfs, fixture_->formatted));
  std::vector<Found> found;
  const uint64_t size = std::stoull(RunCommand("stat -c %s '" + fixture_->formatted + "'"));
  ntfs.ScanNtfsByFormat(u"N:", size, Collect, &found);

  // Nothing reported lies inside the present $MFT.
  const uint64_t cluster = ntfs.geometry()->cluster_size_bytes;
  for (const Found& f : found) {
    EXPECT_EQ(uint64_t{f.info.MftNumber}, 0u);
    for (const engine::ntfs::DataRun& run : ntfs.mft_runs()) {
      const bool inside = f.info.RecordOffset >= run.lcn * cluster &&
                          f.info.RecordOffset < (run.lcn + run.length) * cluster;
      EXPECT_FALSE(inside) << f.path << " at " << f.info.RecordOffset << " is a record of the present $MFT";
    }
  }

  std::map<std::string, std::vector<const Found*>> by_name;
  for (const Found& f : found) by_name[f.path].push_back(&f);
  int matched = 0;
  int index = 0;
  for (const ManifestItem& item : fixture_->items) {
    if (item.folder || item.path.find("/spacer") != std::string::npos) continue;
    auto it = by_name.find(item.name());
    if (it == by_name.end()) continue;
    bool any = false;
    for (const Found* f : it->second) {
      const std::string out = Out("unformat-" + std::to_string(index++));
      if (ntfs.NtfsRecoverFormatData(text::from_utf8(out), static_cast<int64_t>(f->info.RecordOffset), nullptr,
                                     nullptr) &&
          testing::Sha256OfFile(out) == item.sha256) {
        any = true;
      }
    }
    EXPECT_TRUE(any) << item.path << " found but not recovered byte for byte";
    matched += any;
  }
  // The records past the new $MFT's first ones survive: the many files at least.
  EXPECT_GE(matched, 100);
}

INSTANTIATE_TEST_SUITE_P(Clusters, NtfsRealVolume, ::testing::Values(4096, 512),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "cluster" + std::to_string(info.param);
                         });

TEST(NtfsRealVolumeEngine, InitEngineLoadsAnNtfsVolume) {
  const Fixture& f = GetFixture(4096);
  if (f.skipped) GTEST_SKIP() << "mkntfs, ntfs-3g or FUSE not available";
  ASSERT_TRUE(f.failure.empty());
  ASSERT_TRUE(engine::MountImage(u'N', text::from_utf8(f.image)));
  engine::CGleaner engine;
  EXPECT_FALSE(engine.ScanNtfsDisk(Collect, nullptr, nullptr, nullptr));  // not initialised yet
  ASSERT_TRUE(engine.InitEngine(kVolumeNtfs, u"N:"));
  std::vector<Found> found;
  EXPECT_TRUE(engine.ScanNtfsDisk(Collect, &found, nullptr, nullptr));
  EXPECT_FALSE(found.empty());
  // A FAT kind over an NTFS volume does not load the NTFS scanner's scans.
  engine.InitEngine(kVolumeFat32, u"N:");
  EXPECT_FALSE(engine.ScanNtfsDisk(Collect, &found, nullptr, nullptr));
}

}  // namespace
}  // namespace salvor
