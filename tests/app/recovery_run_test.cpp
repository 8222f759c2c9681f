// Recovery runs over a scripted engine, and the names and target paths a
// selection turns into: what lands where under the destination, numbered
// collisions, repeated items, 64-bit sizes, times, failures, a full
// destination, pause and stop.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/core/recovery_report.h"
#include "app/core/recovery_run.h"
#include "common/file_names.h"
#include "app/core/safe_names.h"
#include "common/text.h"
#include "tests/app/scripted_recovery.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::app {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

FoundItem File(std::u16string_view path, uint32_t cluster, uint64_t size) {
  static FoundItems store;
  FoundItem item;
  item.type = kEntryFile;
  item.state = kDeleted;
  item.first_cluster = cluster;
  item.size = size;
  return store.Add(item, path);
}

std::vector<std::u16string> Relatives(const std::vector<RecoveryTarget>& targets) {
  std::vector<std::u16string> out;
  for (const auto& target : targets) out.push_back(target.relative);
  return out;
}

TEST(SafeNames, HostileComponentsBecomeVisiblySafe) {
  const std::map<std::u16string, std::u16string> cases = {
      {u"..", u"__"},           {u".", u"_"},
      {u"", u"_"},              {u"a/b", u"a_b"},
      {u"a\\b", u"a_b"},        {u"C:", u"C_"},
      {u"tab\there", u"tab_here"}, {u"bell\x07", u"bell_"},
      {u"CON", u"_CON"},        {u"nul.txt", u"_nul.txt"},
      {u"COM1", u"_COM1"},      {u"lpt9.log", u"_lpt9.log"},
      {u"NUL .txt", u"_NUL .txt"}, {u"CONSOLE", u"CONSOLE"},
      {u"COM0", u"COM0"},       {u"trailing. ", u"trailing__"},
      {u"what?.txt", u"what_.txt"}, {u"ok name.txt", u"ok name.txt"},
      {u"\u041e\u0442\u0447\u0451\u0442.txt", u"\u041e\u0442\u0447\u0451\u0442.txt"},
  };
  for (const auto& [name, safe] : cases) {
    EXPECT_EQ(SafePathComponent(name), safe) << text::to_utf8(name);
  }
  // A lone surrogate cannot be written as a file name; a pair can.
  EXPECT_EQ(SafePathComponent(std::u16string(u"x") + char16_t(0xD800)), u"x_");
  const std::u16string pair = std::u16string(u"x") + char16_t(0xD83D) + char16_t(0xDE00);
  EXPECT_EQ(SafePathComponent(pair), pair);
}

TEST(SafeNames, PathsLoseTheirRootAndCannotClimb) {
  using Parts = std::vector<std::u16string>;
  EXPECT_EQ(SafeRelativeComponents(u"E:\\\\Docs\\a.txt"), (Parts{u"Docs", u"a.txt"}));
  EXPECT_EQ(SafeRelativeComponents(u"E:\\dir12\\a.txt"), (Parts{u"dir12", u"a.txt"}));
  EXPECT_EQ(SafeRelativeComponents(u"E:\\..\\..\\etc\\passwd"), (Parts{u"__", u"__", u"etc", u"passwd"}));
  EXPECT_EQ(SafeRelativeComponents(u"E:\\\\C:\\x"), (Parts{u"C_", u"x"}));
  EXPECT_EQ(SafeRelativeComponents(u"E:\\\\"), (Parts{u"_"})) << "an empty name still gets one";
  EXPECT_EQ(SafeRelativeComponents(u"bare.txt"), (Parts{u"bare.txt"}));
  EXPECT_EQ(names::NumberedName(u"a.txt", 1), u"a (1).txt");
  EXPECT_EQ(names::NumberedName(u"notes", 2), u"notes (2)");
  EXPECT_EQ(names::NumberedName(u".profile", 1), u".profile (1)");
}

TEST(PlanRecovery, ItemsNotPathTexts) {
  const FoundItem deleted = File(u"E:\\\\Docs\\a.txt", 5, 10);
  const FoundItem present = File(u"E:\\\\Docs\\a.txt", 6, 20);
  const FoundItem other = File(u"E:\\\\b.txt", 8, 40);
  FoundItem folder = File(u"E:\\\\Docs", 9, 0);
  folder.type = kEntryFolder;
  // The same item as a checked node and a checked row: written once. Two
  // items on one name are both planned; the disk decides the numbers.
  const auto targets = PlanRecovery({&deleted, &present, &deleted, &folder, &other, nullptr});
  EXPECT_EQ(Relatives(targets), (std::vector<std::u16string>{u"Docs/a.txt", u"Docs/a.txt", u"b.txt"}));
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[1].item, &present);
}

TEST(FoundItemTimes, FatIsLocalUnlessUtcExFatAndNtfsAsStored) {
  FoundItem fat = File(u"E:\\a.txt", 5, 1);
  fat.file_system_kind = ItemFileSystem::kFat32;
  fat.time = FatTimeValue(2020, 5, 1, 10, 0, 0);
  constexpr uint64_t kUtc = 132328008000000000;  // 2020-05-01 10:00:00 UTC
  EXPECT_EQ(ModifiedFileTime(fat, /*fat_times_utc=*/true), kUtc);
  EXPECT_EQ(FileTimeIso(kUtc), "2020-05-01T10:00:00Z");
  FoundItem exfat = fat;
  exfat.file_system_kind = ItemFileSystem::kExFat;
  EXPECT_EQ(ModifiedFileTime(exfat, false), kUtc);
  FoundItem ntfs;
  ntfs.file_system_kind = ItemFileSystem::kNtfs;
  ntfs.time = kUtc + 5;
  EXPECT_EQ(ModifiedFileTime(ntfs, false), kUtc + 5);
  // Not a time: nothing is applied.
  fat.time = FatTimeValue(2020, 13, 1, 10, 0, 0);
  EXPECT_EQ(ModifiedFileTime(fat, true), 0u);
  ntfs.time = uint64_t{1} << 63;
  EXPECT_EQ(ModifiedFileTime(ntfs, false), 0u);
}

// --- Recovery runs over a scripted engine -------------------------------------

class RecoveryRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script.Bind(engine);
    destination = fs::path(testing::MakeTempDir()) / "dest";
    ASSERT_TRUE(EngineUse::WaitIdle(5s));
  }
  void TearDown() override { fs::remove_all(destination.parent_path()); }

  RecoveryRequest Request(std::vector<const FoundItem*> items) {
    RecoveryRequest request;
    request.items = std::move(items);
    request.destination = destination.u16string();
    request.file_system = u"EXFAT";
    return request;
  }

  testing::ScriptedRecovery script;
  EngineBinding engine;
  fs::path destination;
};

TEST_F(RecoveryRunTest, WritesEachFileAndReportsAllRecovered) {
  const FoundItem a = File(u"E:\\\\Docs\\Deep\\a.txt", 5, 10);
  const FoundItem b = File(u"E:\\\\b.txt", 6, 20);
  const FoundItem c = File(u"E:\\\\b.txt", 7, 30);
  RecoveryRun run(engine);
  std::vector<int> percents;
  script.on_call = [&](size_t) { percents.push_back(run.progress().Figure()); };
  ASSERT_TRUE(run.Start(Request({&a, &b, &c, &a})));
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(run.message(), u"All the files selected have  been recovered. ");
  EXPECT_EQ(run.failures(), 0u);
  EXPECT_EQ(script.calls.size(), 3u);
  EXPECT_TRUE(script.ended) << "the run is made durable at its end";
  // Three small files: the bar moves by a third per file written, then
  // ends at 100.
  EXPECT_EQ(percents, (std::vector<int>{0, 33, 66}));
  EXPECT_EQ(run.progress().percent, 100);
  EXPECT_EQ(run.progress().files, 3);
  EXPECT_EQ(run.progress().bytes_total, 60u);
  EXPECT_EQ(testing::ReadFileBytes((destination / "Docs" / "Deep" / "a.txt").string()), std::string(10, 'x'));
  EXPECT_EQ(testing::ReadFileBytes((destination / "b.txt").string()), std::string(20, 'x'));
  EXPECT_EQ(testing::ReadFileBytes((destination / "b (1).txt").string()), std::string(30, 'x'));
  ASSERT_EQ(run.results().size(), 3u);
  EXPECT_EQ(run.results()[2].relative, u"b (1).txt") << "the name written, not the one asked for";
}

TEST_F(RecoveryRunTest, FailuresAreCountedByFile) {
  const FoundItem good = File(u"E:\\\\good.txt", 5, 10);
  const FoundItem bad = File(u"E:\\\\bad.txt", 13, 10);
  script.failing = {13};
  RecoveryRun run(engine);
  ASSERT_TRUE(run.Start(Request({&bad, &good})));
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(run.failures(), 1u);
  ASSERT_EQ(run.results().size(), 2u);
  EXPECT_FALSE(run.results()[0].ok);
  EXPECT_EQ(run.results()[0].relative, u"bad.txt");
  EXPECT_EQ(run.results()[0].error, u"the volume could not be read");
  EXPECT_TRUE(run.results()[1].ok);
  EXPECT_NE(run.message(), kAllRecoveredText);
  EXPECT_EQ(run.message(), u"1 of 2 files selected could not be recovered.");
}

TEST_F(RecoveryRunTest, AFullDestinationStopsTheRunAtOnceWithItsCause) {
  const FoundItem a = File(u"E:\\\\a.txt", 5, 10);
  const FoundItem b = File(u"E:\\\\b.txt", 6, 10);
  const FoundItem c = File(u"E:\\\\c.txt", 7, 10);
  script.full = {6};
  RecoveryRun run(engine);
  ASSERT_TRUE(run.Start(Request({&a, &b, &c})));
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(script.calls.size(), 2u) << "no file after the destination failed";
  EXPECT_TRUE(run.aborted());
  EXPECT_EQ(run.message(), u"Recovery stopped: No space left on device (writing b.txt). 1 of 3 files recovered.");
  EXPECT_TRUE(fs::exists(destination / "a.txt")) << "what was written stays";
}

TEST_F(RecoveryRunTest, SizesOf4GiBAndMoreReachTheEngineWhole) {
  const uint64_t five_gib = uint64_t{5} << 30;
  const FoundItem big = File(u"E:\\\\big.bin", 5, five_gib);
  RecoveryRun run(engine);
  ASSERT_TRUE(run.Start(Request({&big})));
  ASSERT_TRUE(run.Wait(5s));
  ASSERT_EQ(script.calls.size(), 1u);
  EXPECT_EQ(script.calls[0].size, five_gib);
  EXPECT_EQ(script.calls[0].method, kReRecoverFatCluster);
}

TEST_F(RecoveryRunTest, TimesOfFilesAndFoldersReachTheEngine) {
  FoundItem a = File(u"E:\\\\Docs\\a.txt", 5, 10);
  a.file_system_kind = ItemFileSystem::kExFat;
  a.time = FatTimeValue(2020, 5, 1, 10, 0, 0);
  FoundItem docs = File(u"E:\\\\Docs", 9, 0);
  docs.type = kEntryFolder;
  docs.file_system_kind = ItemFileSystem::kExFat;
  docs.time = FatTimeValue(2019, 1, 2, 3, 4, 6);
  RecoveryRequest request = Request({&a});
  request.folders = {&docs};
  RecoveryRun run(engine);
  ASSERT_TRUE(run.Start(request));
  ASSERT_TRUE(run.Wait(5s));
  ASSERT_EQ(script.calls.size(), 1u);
  EXPECT_EQ(script.calls[0].modified, 132328008000000000u);
  ASSERT_EQ(script.folder_times.size(), 1u);
  EXPECT_EQ(script.folder_times[0].first, u"Docs");
  EXPECT_EQ(FileTimeIso(script.folder_times[0].second), "2019-01-02T03:04:06Z");
}

TEST_F(RecoveryRunTest, NothingSelected) {
  FoundItem folder = File(u"E:\\\\Docs", 5, 0);
  folder.type = kEntryFolder;
  RecoveryRun run(engine);
  EXPECT_FALSE(run.Start(Request({})));
  EXPECT_EQ(run.message(), u"You haven't selected the files you want to recover .");
  EXPECT_FALSE(run.Start(Request({&folder})));
  EXPECT_EQ(run.message(), kNothingSelectedText);
  EXPECT_FALSE(fs::exists(destination));
}

// The run itself refuses, before it writes anything, a destination on the
// volume it recovers from (the program starts runs without salvor-cli's
// early check): here a FAT image served by fusefat.
TEST_F(RecoveryRunTest, RefusesADestinationOnTheScannedImage) {
#if defined(_WIN32)
  GTEST_SKIP() << "FUSE mounts are a Linux matter";
#else
  if (::geteuid() != 0 || std::system("command -v fusefat >/dev/null && command -v mkfs.fat >/dev/null") != 0) {
    GTEST_SKIP() << "needs root, fusefat and mkfs.fat";
  }
  const fs::path dir = destination.parent_path();
  const std::string image = (dir / "scanned.img").string();
  const fs::path mounted = dir / "mnt";
  fs::create_directories(mounted);
  const std::string mount = "mkfs.fat -C '" + image + "' 8192 >/dev/null && fusefat -o rw+ '" + image + "' '" +
                            mounted.string() + "' >/dev/null 2>&1";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "fusefat cannot mount here";
  struct Unmount {
    std::string command;
    ~Unmount() { (void)std::system(command.c_str()); }
  } unmount{"fusermount -u '" + mounted.string() + "' 2>/dev/null || umount -l '" + mounted.string() + "'"};

  const FoundItem a = File(u"E:\\a.txt", 5, 10);
  RecoveryRequest request = Request({&a});
  request.destination = (mounted / "out").u16string();
  request.source = fs::path(image).u16string();
  RecoveryRun run(engine);
  EXPECT_FALSE(run.Start(request));
  EXPECT_EQ(run.start_failure(), StartFailure::kDestinationOnSource);
  EXPECT_EQ(run.message(), kDestinationOnVolumeText);
  EXPECT_FALSE(fs::exists(mounted / "out")) << "the destination folder was made";
  EXPECT_TRUE(script.calls.empty());

  // Beside the image is not on it; and the user may insist.
  request.destination = (dir / "beside").u16string();
  EXPECT_EQ(CheckDestination(request), StartFailure::kNone);
  request.destination = (mounted / "out").u16string();
  request.allow_destination_on_source = true;
  ASSERT_TRUE(run.Start(request));
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(run.start_failure(), StartFailure::kNone);
  EXPECT_EQ(script.calls.size(), 1u);
#endif
}

TEST_F(RecoveryRunTest, PauseHoldsTheRunBetweenFilesAndStopEndsIt) {
  const FoundItem a = File(u"E:\\\\a.txt", 5, 1);
  const FoundItem b = File(u"E:\\\\b.txt", 6, 1);
  const FoundItem c = File(u"E:\\\\c.txt", 7, 1);
  RecoveryRun run(engine);
  std::atomic<int> stop_at{-1};
  script.on_call = [&](size_t index) {
    if (static_cast<int>(index) == stop_at) run.Stop();
    if (index == 0) run.Pause();
  };
  ASSERT_TRUE(run.Start(Request({&a, &b, &c})));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(script.calls.size(), 1u) << "paused before the next file";
  EXPECT_FALSE(run.done());
  stop_at = 1;
  run.Continue();
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(script.calls.size(), 2u) << "no file is started after Stop";
  EXPECT_FALSE(fs::exists(destination / "c.txt"));
  EXPECT_EQ(run.message(), u"Recovery stopped: 2 of 3 files recovered.");
  EXPECT_LT(run.progress().percent, 100);
}

// A window learns of the end from the worker: by then the results are final
// and name the file that failed, with the engine's reason.
TEST_F(RecoveryRunTest, TheWorkerAnnouncesItsEndWithTheResultsFinal) {
  const FoundItem good = File(u"E:\\\\good.txt", 5, 10);
  const FoundItem bad = File(u"E:\\\\Docs\\bad.txt", 13, 10);
  script.failing = {13};
  RecoveryRun run(engine);
  std::atomic<int> announced{0};
  size_t results_then = 0;
  bool done_then = false;
  run.on_done = [&] {
    results_then = run.results().size();
    done_then = run.done();
    ++announced;
  };
  ASSERT_TRUE(run.Start(Request({&good, &bad})));
  ASSERT_TRUE(run.Wait(5s));
  for (int i = 0; i < 100 && announced == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(announced, 1);
  EXPECT_TRUE(done_then);
  EXPECT_EQ(results_then, 2u);
  const std::vector<FailedFile> failed = FailedFiles(run.results());
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].relative, u"Docs\\bad.txt");
  EXPECT_EQ(failed[0].reason, u"the volume could not be read");
}

}  // namespace
}  // namespace salvor::app
