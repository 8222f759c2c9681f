// NTFS through the application core, over a scripted engine: found items
// made from NTFS records (date, state, the dirN folder of the second
// unformat pass), which vector each pass fills, the live-folder descent and
// its bound, and which recovery export each item goes to.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/core/recovery_run.h"
#include "app/core/scan_run.h"
#include "tests/app/scripted_recovery.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::app {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

_FileInfoNtfs NtfsRecord(std::u16string path, uint32_t type, uint32_t source, uint64_t number, uint64_t parent,
                         uint64_t offset = 0) {
  _FileInfoNtfs record;
  record.MftNumber = number;
  record.ParentMftNumber = parent;
  record.RecordOffset = offset;
  record.Source = source;
  record.Type = type;
  record.DataSize = 1234;
  record.FullPath = salvor::RcWString(std::u16string_view(path));
  return record;
}

TEST(NtfsFoundItem, FieldsDateAndTheLostFolderOfTheSecondUnformatPass) {
  _FileInfoNtfs record = NtfsRecord(u"E:\\Docs\\a.txt", kEntryFile, kNtfsFromRecord, 70, 5, 0x12345000);
  record.FileAttributes = 0x20;
  // 2024-02-29 13:45:07 UTC in 100 ns units since 1601.
  const uint64_t time = (uint64_t{1709214307} + 11644473600u) * 10000000u + 1234567;
  record.FileTime.LowDateTime = static_cast<uint32_t>(time);
  record.FileTime.HighDateTime = static_cast<uint32_t>(time >> 32);

  FoundItems store;
  const FoundItem& item = MakeFoundItem(store, record);
  EXPECT_EQ(item.mft_number, 70u);
  EXPECT_EQ(item.parent_mft_number, 5u);
  EXPECT_EQ(item.ntfs_offset, 0x12345000u);
  EXPECT_EQ(item.first_cluster, 0u);
  EXPECT_EQ(item.size, 1234u);
  EXPECT_EQ(item.state, kNtfsFromRecord);
  EXPECT_TRUE(item.is_deleted());
  EXPECT_EQ(item.attributes, 0x20u);
  EXPECT_EQ(item.name(), u"a.txt");
  EXPECT_EQ(item.extension(), u"txt");
  EXPECT_EQ(item.file_system(), u"NTFS");
  EXPECT_EQ(item.path(), u"E:\\Docs\\a.txt");
  EXPECT_EQ(item.date(), u"2024-02-29 13:45:07");

  // The second pass of an Unformatting Scan: the folder is the parent's
  // number below the root; the low half of the number only.
  record.ParentMftNumber = (uint64_t{3} << 32) | 5;
  EXPECT_EQ(MakeFoundItem(store, record, 2).path(), u"E:\\dir5\\Docs\\a.txt");
  EXPECT_EQ(MakeFoundItem(store, record, 2).name(), u"a.txt");
  EXPECT_EQ(MakeFoundItem(store, record, 1).path(), u"E:\\Docs\\a.txt");

  // Entries from a folder's index are live.
  record.Source = kNtfsFromIndex;
  EXPECT_FALSE(MakeFoundItem(store, record).is_deleted());

  EXPECT_EQ(FileTimeText(0), u"1601-01-01 00:00:00");
  EXPECT_EQ(FileTimeText(uint64_t{1} << 63), u"1601-01-01 00:00:00");
  EXPECT_EQ(FileTimeText(116444736000000000u), u"1970-01-01 00:00:00");
  EXPECT_EQ(FileTimeText((uint64_t{951782400} + 11644473600u) * 10000000u), u"2000-02-29 00:00:00");
  EXPECT_EQ(FileTimeText((uint64_t{4107542399} + 11644473600u) * 10000000u), u"2100-02-28 23:59:59");
}

// The scripted engine: a live tree under the root, where folder 30 lists
// itself (a damaged index), then two deleted records; the sweep reports two
// old records.
struct Script {
  std::map<uint64_t, std::vector<_FileInfoNtfs>> folders;  // record -> entries
  std::vector<_FileInfoNtfs> deleted;
  std::vector<_FileInfoNtfs> old;
  std::vector<uint64_t> listed;   // folders listed, in order
  uint64_t swept_bytes = 0;
  std::u16string swept_root;
};
Script* g_script = nullptr;

bool FakeInit(int kind, const char16_t*) { return kind == kVolumeNtfs; }

void List(uint64_t folder, NtfsScanCallback callback, void* user) {
  g_script->listed.push_back(folder);
  for (const auto& record : g_script->folders[folder]) callback(record, user);
}

bool FakeScanEx(const char16_t*, NtfsScanCallback callback, void* user) {
  List(5, callback, user);
  return true;
}

bool FakeFind(salvor::RcWString, const char16_t* name, uint64_t folder, uint64_t*, NtfsScanCallback callback,
              void* user) {
  if (name == nullptr) List(folder, callback, user);
  return true;
}

bool FakeScanDisk(NtfsScanCallback callback, void* user, const char16_t*, NtfsProgressCallback) {
  for (const auto& record : g_script->deleted) callback(record, user);
  return true;
}

bool FakeSweep(const char16_t* root, uint64_t size, NtfsScanCallback callback, void* user) {
  g_script->swept_root = root;
  g_script->swept_bytes = size;
  for (const auto& record : g_script->old) callback(record, user);
  return false;  // as the sweep answers when it met records without names
}

class NtfsScanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_script = &script;
    engine.InitReEngine = FakeInit;
    engine.ReScanNtfsEx = FakeScanEx;
    engine.ReFindMftnumByFileName = FakeFind;
    engine.ReScanNtfsDisk = FakeScanDisk;
    engine.ReScanNtfsFormatDisk = FakeSweep;
    script.folders[5] = {NtfsRecord(u"E:\\\\Docs", kEntryFolder, kNtfsFromIndex, 30, 5),
                         NtfsRecord(u"E:\\\\top.txt", kEntryFile, kNtfsFromIndex, 31, 5)};
    script.folders[30] = {NtfsRecord(u"E:\\\\Docs\\in.txt", kEntryFile, kNtfsFromIndex, 32, 30),
                          NtfsRecord(u"E:\\\\Docs\\Docs", kEntryFolder, kNtfsFromIndex, 30, 30)};
    script.deleted = {NtfsRecord(u"E:\\\\Docs\\gone.txt", kEntryFile, kNtfsFromRecord, 40, 30)};
    script.old = {NtfsRecord(u"E:\\\\old.txt", kEntryFile, kNtfsFromRecord, 0, 77, 0x40000),
                  NtfsRecord(u"E:\\\\Sub", kEntryFolder, kNtfsFromRecord, 0, 5, 0x40400)};
    ASSERT_TRUE(EngineUse::WaitIdle(5s));
  }

  ScanRequest Request(ScanMode mode) {
    ScanRequest request;
    request.file_system = u"NTFS";
    request.kind = kVolumeNtfs;
    request.root = u"E:\\";
    request.total_bytes = 3u << 30;
    request.mode = mode;
    return request;
  }

  Script script;
  EngineBinding engine;
};

TEST_F(NtfsScanRunTest, QuickScanListsLiveFoldersOnceDeepThenDeletedRecords) {
  ScanRun run(engine);
  ASSERT_TRUE(run.RunToEnd(Request(ScanMode::kQuick)));
  EXPECT_TRUE(run.engine_ok());
  EXPECT_TRUE(run.finished());
  EXPECT_EQ(run.ntfs_phase(), 0);
  // Folder 30 names itself: it is listed once, not for ever.
  EXPECT_EQ(script.listed, (std::vector<uint64_t>{5, 30}));
  // Live items go to all items only; a folder's entries come before it.
  std::vector<std::u16string> all;
  for (const auto& item : run.all_items()) all.push_back(item.path());
  EXPECT_EQ(all, (std::vector<std::u16string>{u"E:\\\\Docs\\in.txt", u"E:\\\\Docs\\Docs", u"E:\\\\Docs",
                                               u"E:\\\\top.txt", u"E:\\\\Docs\\gone.txt"}));
  ASSERT_EQ(run.deleted_items().size(), 1u);
  EXPECT_EQ(run.deleted_items()[0].mft_number, 40u);
  EXPECT_EQ(run.progress().files, 3);
  EXPECT_EQ(run.progress().folders, 2);
}

// Live folders nested far below the depth listed from inside the callback
// (and below the 256 levels that used to end the walk): the deeper ones are
// listed from the work list, every level once.
TEST_F(NtfsScanRunTest, DeeplyNestedLiveFoldersAreAllListed) {
  constexpr uint64_t kLevels = 2000;
  script.folders.clear();
  script.deleted.clear();
  std::u16string path = u"E:\\";
  for (uint64_t level = 0; level < kLevels; ++level) {
    path += u"\\A";
    const uint64_t parent = level == 0 ? 5 : 100 + level - 1;
    script.folders[parent] = {NtfsRecord(path, kEntryFolder, kNtfsFromIndex, 100 + level, parent)};
  }
  // The deepest folder names the first again.
  script.folders[100 + kLevels - 1] = {NtfsRecord(path + u"\\Loop", kEntryFolder, kNtfsFromIndex, 100, 99 + kLevels)};
  ScanRun run(engine);
  ASSERT_TRUE(run.RunToEnd(Request(ScanMode::kQuick)));
  EXPECT_EQ(script.listed.size(), kLevels + 1) << "the root and every folder once";
  ASSERT_EQ(run.all_items().size(), kLevels + 1);
  std::map<std::u16string, size_t> position;
  for (size_t i = 0; i < run.all_items().size(); ++i) position[run.all_items()[i].path()] = i;
  EXPECT_EQ(position.size(), kLevels + 1) << "a path stored twice";
  std::u16string folder = u"E:\\";
  for (uint64_t level = 0; level + 1 < kLevels; ++level) {
    folder += u"\\A";
    ASSERT_TRUE(position.count(folder) && position.count(folder + u"\\A")) << level;
    // Down to the depth listed from the callback a folder is stored after
    // its contents, as before; below it, ancestors are stored first.
    if (level < 60) {
      EXPECT_LT(position[folder + u"\\A"], position[folder]) << "level " << level;
    }
  }
}

TEST_F(NtfsScanRunTest, UnformattingScanPutsOldRecordsBelowDirFolders) {
  ScanRun run(engine);
  ASSERT_TRUE(run.RunToEnd(Request(ScanMode::kUnformat)));
  // The sweep's false answer is not a failure: what it reported counts.
  EXPECT_TRUE(run.engine_ok());
  EXPECT_EQ(script.swept_root, u"E:\\");
  EXPECT_EQ(script.swept_bytes, 3u << 30);
  EXPECT_TRUE(script.listed.empty());  // no live folders in this mode
  std::vector<std::u16string> deleted;
  for (const auto& item : run.deleted_items()) deleted.push_back(item.path());
  EXPECT_EQ(deleted, (std::vector<std::u16string>{u"E:\\\\Docs\\gone.txt", u"E:\\dir77\\\\old.txt",
                                                   u"E:\\dir5\\\\Sub"}));
  EXPECT_EQ(run.all_items().size(), 3u);
  EXPECT_EQ(run.deleted_items()[1].ntfs_offset, 0x40000u);
}

// Recovery: by record number after a Quick Scan, by record position after
// an Unformatting Scan, except for the free records of the present $MFT
// that the Unformatting Scan lists first (no position known).
TEST(NtfsRecoveryRun, EachItemGoesToTheExportThatCanFindIt) {
  testing::ScriptedRecovery script;
  script.failing = {13};
  EngineBinding engine;
  script.Bind(engine);
  auto calls = [&] {
    std::vector<std::string> out;
    for (const auto& call : script.calls) {
      out.push_back((call.method == kReRecoverNtfsRecord ? "number " : "offset ") + std::to_string(call.position));
    }
    script.calls.clear();
    return out;
  };
  const fs::path destination = fs::path(testing::MakeTempDir()) / "dest";
  ASSERT_TRUE(EngineUse::WaitIdle(5s));

  FoundItems store;
  const FoundItem& live_free = MakeFoundItem(store, NtfsRecord(u"E:\\\\a.txt", kEntryFile, kNtfsFromRecord, 40, 5));
  const FoundItem& old = MakeFoundItem(store, NtfsRecord(u"E:\\\\b.txt", kEntryFile, kNtfsFromRecord, 0, 9, 0x7000), 2);
  const FoundItem& failing = MakeFoundItem(store, NtfsRecord(u"E:\\\\c.txt", kEntryFile, kNtfsFromRecord, 13, 5));

  RecoveryRequest request;
  request.items = {&live_free, &old};
  request.destination = destination.u16string();
  request.file_system = u"NTFS";
  request.mode = ScanMode::kUnformat;
  {
    RecoveryRun run(engine);
    ASSERT_TRUE(run.Start(request));
    ASSERT_TRUE(run.Wait(10s));
    EXPECT_EQ(run.failures(), 0u);
  }
  EXPECT_EQ(calls(), (std::vector<std::string>{"number 40", "offset 28672"}));
  EXPECT_TRUE(fs::exists(destination / "dir9" / "b.txt"));

  request.items = {&live_free, &failing};
  request.mode = ScanMode::kQuick;
  request.destination = (destination / "quick").u16string();
  {
    RecoveryRun run(engine);
    ASSERT_TRUE(run.Start(request));
    ASSERT_TRUE(run.Wait(10s));
    EXPECT_EQ(run.failures(), 1u);
    ASSERT_EQ(run.results().size(), 2u);
    EXPECT_FALSE(run.results()[1].ok);
  }
  EXPECT_EQ(calls(), (std::vector<std::string>{"number 40", "number 13"}));
  fs::remove_all(destination.parent_path());
}

}  // namespace
}  // namespace salvor::app
