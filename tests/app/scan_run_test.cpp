// Scan runs over a scripted engine: the progress rules a user watches, the
// vectors a Quick Scan and an Unformatting Scan fill, pause, and the
// cooperative stop with its hold on the engine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core/recovery_run.h"
#include "app/core/scan_run.h"

namespace salvor::app {
namespace {

using namespace std::chrono_literals;

// A latch the scripted engine waits on, opened by the test.
class Latch {
 public:
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return open_; });
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

_FileInfoFat Record(std::u16string path, uint32_t type, uint32_t state, uint32_t cluster = 0) {
  _FileInfoFat record;
  record.FullPath = salvor::RcWString(std::u16string_view(path));
  record.EntryType = type;
  record.DeleteState = state;
  record.FirstCluster = cluster;
  record.Year = 2024;
  return record;
}

// The scripted engine: ReScanFatDisk waits on `start`, reports `first`,
// waits on `middle`, then reports `rest`. Folder records are directories
// whose contents are `children`.
struct Script {
  Latch start;
  Latch middle;
  std::vector<_FileInfoFat> first;
  std::vector<_FileInfoFat> rest;
  std::vector<_FileInfoFat> children;
  std::atomic<int> reported{0};  // records handed to the callback so far
  std::atomic<int> searches{0};
};
Script* g_script = nullptr;

bool FakeInit(int, const char16_t*) { return true; }

void Report(const std::vector<_FileInfoFat>& records, ScanCallback callback, void* user) {
  for (const auto& record : records) {
    ++g_script->reported;
    callback(record, user);
  }
}

bool FakeScan(ScanCallback callback, void* user, int, const char16_t*) {
  g_script->start.Wait();
  Report(g_script->first, callback, user);
  g_script->middle.Wait();
  Report(g_script->rest, callback, user);
  return true;
}

bool FakeFormatScan(uint64_t, ScanCallback callback, void* user) { return FakeScan(callback, user, 0, nullptr); }
bool FakeIsDirectory(uint32_t, _FileInfoFat*) { return true; }

bool FakeSearch(salvor::RcWString, const char16_t*, uint32_t, uint32_t*, ScanCallback callback, void* user) {
  ++g_script->searches;
  Report(g_script->children, callback, user);
  return true;
}

class ScanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_script = &script;
    engine.InitReEngine = FakeInit;
    engine.ReScanFatDisk = FakeScan;
    engine.ReScanFatFormatDisk = FakeFormatScan;
    engine.ReFatDirectory = FakeIsDirectory;
    engine.ReSearchCluster = FakeSearch;
    ASSERT_TRUE(EngineUse::WaitIdle(5s));
  }
  void TearDown() override {
    script.start.Open();
    script.middle.Open();
    EXPECT_TRUE(EngineUse::WaitIdle(5s));
  }
  static ScanRequest Request(ScanMode mode) {
    ScanRequest request;
    request.file_system = u"FAT32";
    request.kind = 32;
    request.root = u"E:\\";
    request.total_bytes = uint64_t{3} << 30;
    request.mode = mode;
    return request;
  }
  template <typename Condition>
  static bool Eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  Script script;
  EngineBinding engine;
};

// The bar follows the work done of the work known. (A timer rule of six
// 100 ms ticks per percent per GiB showed 3 % when the sweep of a 2 GiB
// volume was over; a record count against 60000 expected ones stood still
// at 95 on large volumes.)
TEST(ScanProgressFigures, FollowTheWorkDoneStageByStageAndNeverGoBack) {
  ScanProgress progress;
  progress.Reset(ScanProgress::kPhaseRecords);
  progress.Tick();
  EXPECT_EQ(progress.percent, 0) << "nothing known yet";
  progress.BeginStage(0, 50, 4);
  progress.done_units = 2;
  progress.Tick();
  EXPECT_EQ(progress.percent, 25);
  progress.total_units = 40;  // more folders found: the figure would fall
  progress.Tick();
  EXPECT_EQ(progress.percent, 25) << "the bar never goes back";
  progress.BeginStage(50, 47, 1000);
  progress.done_units = 500;
  progress.Tick();
  EXPECT_EQ(progress.percent, 73);
  progress.done_units = 5000;  // more than known
  progress.Tick();
  EXPECT_EQ(progress.percent, 97) << "97 at most until the run sets 98";
  progress.percent = 98;
  progress.Tick();
  EXPECT_EQ(progress.percent, 98);

  // Bytes of a huge volume: no overflow.
  progress.Reset(ScanProgress::kPhaseBytes);
  progress.BeginStage(0, 97, uint64_t{1} << 62);
  progress.done_units = uint64_t{1} << 61;
  EXPECT_EQ(progress.Figure(), 48);
}

TEST(ScanProgressFigures, RecoveryFollowsBytesWrittenAndFilesDone) {
  // 200 files: a bar that grew by 100 / n per file would stay at 0.
  ScanProgress progress;
  progress.Reset(ScanProgress::kPhaseRecovery);
  progress.files_total = 200;
  progress.bytes_total = 200 * 1000;
  progress.files = 100;
  progress.bytes_done = 100 * 1000;
  EXPECT_EQ(progress.Figure(), 50);
  // One big file: the bar moves while it is written.
  progress.Reset(ScanProgress::kPhaseRecovery);
  progress.files_total = 1;
  progress.bytes_total = uint64_t{4} << 30;
  progress.bytes_done = uint64_t{1} << 30;
  EXPECT_EQ(progress.Figure(), 24);
  progress.bytes_done = uint64_t{4} << 30;
  EXPECT_EQ(progress.Figure(), 99) << "100 only when the run is done";
}

TEST(ScanProgressFigures, RateAndTimeLeftFromSamples) {
  ProgressRate rate;
  EXPECT_LT(rate.SecondsLeft(100), 0) << "unknown before any rate";
  rate.Sample(0.0, 0);
  rate.Sample(1.0, 100);
  EXPECT_DOUBLE_EQ(rate.per_second(), 100);
  rate.Sample(2.0, 200);
  EXPECT_DOUBLE_EQ(rate.per_second(), 100);
  EXPECT_DOUBLE_EQ(rate.SecondsLeft(1000), 8);
  EXPECT_DOUBLE_EQ(rate.SecondsLeft(100), 0);
}

// An engine that tells where its sweep stands: the bar is where the sweep is.
SweepProgressCallback g_position = nullptr;
void* g_position_user = nullptr;
std::vector<int32_t> g_figures;
const ScanRun* g_sweeping_run = nullptr;

bool FakeSetSweepProgress(SweepProgressCallback callback, void* user) {
  g_position = callback;
  g_position_user = user;
  return true;
}

bool FakePositionSweep(uint64_t size, ScanCallback, void*) {
  for (uint64_t at = 0; at <= size; at += size / 4) {
    g_position(at, size, g_position_user);
    g_figures.push_back(g_sweeping_run->progress().Figure());
  }
  return true;
}

TEST_F(ScanRunTest, QuickScanDescendsAndKeepsDeletedItemsApart) {
  script.first = {Record(u"E:\\\\old.txt", kEntryFile, kDeleted, 5), Record(u"E:\\\\Docs", kEntryFolder, kPresent, 9),
                  Record(u"E:\\\\live.txt", kEntryFile, kPresent, 6)};
  script.children = {Record(u"E:\\\\Docs\\gone.doc", kEntryFile, kDeleted, 11)};
  script.start.Open();
  script.middle.Open();
  ScanRun run(engine);
  std::vector<int> percent_at_end;
  run.on_engine_done = [&](FoundItems& items) {
    percent_at_end.push_back(run.progress().percent);
    EXPECT_EQ(items.deleted_items().size(), 2u);
  };
  ASSERT_TRUE(run.RunToEnd(Request(ScanMode::kQuick)));
  EXPECT_TRUE(run.finished());
  EXPECT_TRUE(run.engine_ok());
  EXPECT_EQ(run.progress().percent, 100);
  EXPECT_EQ(percent_at_end, std::vector<int>{98});
  ASSERT_EQ(run.all_items().size(), 4u);
  // The folder's contents are reported, and stored, before the folder.
  EXPECT_EQ(run.all_items()[1].path(), u"E:\\\\Docs\\gone.doc");
  EXPECT_EQ(run.all_items()[2].path(), u"E:\\\\Docs");
  ASSERT_EQ(run.deleted_items().size(), 2u);
  EXPECT_EQ(run.deleted_items()[0].name(), u"old.txt");
  EXPECT_EQ(run.deleted_items()[1].name(), u"gone.doc");
  EXPECT_EQ(run.progress().folders, 1);
  EXPECT_EQ(run.progress().files, 3);
  EXPECT_EQ(run.progress().LastName(), u"live.txt");
}

TEST_F(ScanRunTest, AListingOfDeletedFilesKeepsNoPresentEntriesButStillEntersTheirFolders) {
  script.first = {Record(u"E:\\\\old.txt", kEntryFile, kDeleted, 5), Record(u"E:\\\\Docs", kEntryFolder, kPresent, 9),
                  Record(u"E:\\\\live.txt", kEntryFile, kPresent, 6)};
  script.children = {Record(u"E:\\\\Docs\\gone.doc", kEntryFile, kDeleted, 11)};
  script.start.Open();
  script.middle.Open();
  ScanRun run(engine);
  ScanRequest request = Request(ScanMode::kQuick);
  request.keep_present = false;
  ASSERT_TRUE(run.RunToEnd(request));
  EXPECT_EQ(script.searches, 1);
  EXPECT_EQ(run.progress().files, 3);
  ASSERT_EQ(run.all_items().size(), 2u);
  EXPECT_EQ(run.deleted_items().size(), 2u);
  EXPECT_EQ(run.all_items()[1].path(), u"E:\\\\Docs\\gone.doc");
}

TEST_F(ScanRunTest, UnformattingScanStoresEveryItemInBothVectors) {
  script.first = {Record(u"a.txt", kEntryFile, kPresent, 5), Record(u"Docs", kEntryFolder, kPresent, 9)};
  script.rest = {Record(u"b.txt", kEntryFile, kDeleted, 7)};
  script.start.Open();
  script.middle.Open();
  ScanRun run(engine);
  ASSERT_TRUE(run.RunToEnd(Request(ScanMode::kUnformat)));
  EXPECT_EQ(run.all_items().size(), 3u);
  EXPECT_EQ(run.deleted_items().size(), 3u);
  EXPECT_EQ(script.searches, 0) << "the sweep reports every folder itself";
  EXPECT_EQ(run.progress().phase, ScanProgress::kPhaseBytes);
}

// The scripted verdict: by the first cluster, so each record's is known.
bool FakeJudge(const ReRecoverItemRequest* request, uint32_t* verdict) {
  *verdict = request->Position == 5 ? kVerdictOverwritten : kVerdictPartlyOverwritten;
  return true;
}

TEST_F(ScanRunTest, VerdictsOfAnUnformattingScanComeWithEachItemThoseOfAQuickScanAfterIt) {
  engine.ReJudgeItem = FakeJudge;
  script.first = {Record(u"a.txt", kEntryFile, kDeleted, 5), Record(u"Docs", kEntryFolder, kDeleted, 9)};
  script.rest = {Record(u"b.txt", kEntryFile, kDeleted, 7)};
  script.start.Open();
  {
    ScanRun run(engine);
    ASSERT_TRUE(run.Start(Request(ScanMode::kUnformat)));
    // Held between the two reports: what is listed so far is complete.
    std::vector<const FoundItem*> listed;
    ASSERT_TRUE(Eventually([&] {
      run.CopyNewItems(0, listed);
      return listed.size() == 2;
    }));
    EXPECT_EQ(listed[0]->verdict, kVerdictOverwritten);
    EXPECT_EQ(listed[1]->verdict, kVerdictUnknown) << "a folder has no verdict";
    script.middle.Open();
    ASSERT_TRUE(run.Wait(5s));
    run.CopyNewItems(2, listed);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]->name(), u"b.txt");
    EXPECT_EQ(listed[0]->verdict, kVerdictPartlyOverwritten);
    run.CopyNewItems(3, listed);
    EXPECT_TRUE(listed.empty());
  }
  // A Quick Scan: present files are intact; the deleted ones are judged
  // once the scan has listed them.
  script.first = {Record(u"E:\\old.txt", kEntryFile, kDeleted, 5), Record(u"E:\\live.txt", kEntryFile, kPresent, 6)};
  script.rest.clear();
  ScanRun quick(engine);
  ASSERT_TRUE(quick.RunToEnd(Request(ScanMode::kQuick)));
  ASSERT_EQ(quick.all_items().size(), 2u);
  EXPECT_EQ(quick.all_items()[0].verdict, kVerdictOverwritten);
  EXPECT_EQ(quick.all_items()[1].verdict, kVerdictIntact);
}

TEST_F(ScanRunTest, UnformattingScanPercentFollowsTheSweepPosition) {
  engine.ReScanFatFormatDisk = FakePositionSweep;
  engine.ReSetSweepProgress = FakeSetSweepProgress;
  g_figures.clear();
  ScanRun run(engine);
  g_sweeping_run = &run;
  ASSERT_TRUE(run.RunToEnd(Request(ScanMode::kUnformat)));
  EXPECT_EQ(g_figures, (std::vector<int32_t>{0, 24, 48, 72, 97}));
  EXPECT_EQ(g_position, nullptr) << "the reports stop with the sweep";
  EXPECT_EQ(run.progress().percent, 100);
}

TEST_F(ScanRunTest, UnknownFileSystemEndsAtOnceWithNothing) {
  ScanRun run(engine);
  ScanRequest request = Request(ScanMode::kQuick);
  request.file_system = u"HFS";
  ASSERT_TRUE(run.RunToEnd(request));
  EXPECT_TRUE(run.finished());
  EXPECT_FALSE(run.engine_ok());
  EXPECT_TRUE(run.all_items().empty());
}

TEST_F(ScanRunTest, PauseFreezesTheCountersAndContinueResumes) {
  for (int i = 0; i < 50; ++i) script.first.push_back(Record(u"E:\\\\f" + std::u16string(1, u'a' + i % 26), 2, 1));
  script.middle.Open();
  ScanRun run(engine);
  ASSERT_TRUE(run.Start(Request(ScanMode::kQuick)));
  run.Pause();
  EXPECT_TRUE(run.paused());
  script.start.Open();
  // The first record is handed over and held there.
  ASSERT_TRUE(Eventually([&] { return script.reported == 1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(script.reported, 1);
  EXPECT_EQ(run.progress().files, 0);
  // The timer does not count while paused, so a time-driven bar waits too.
  const uint64_t ticks = run.progress().ticks;
  run.Tick();
  EXPECT_EQ(run.progress().ticks, ticks);
  EXPECT_FALSE(run.done());
  run.Continue();
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(run.progress().files, 50);
  EXPECT_EQ(run.deleted_items().size(), 50u);
}

TEST_F(ScanRunTest, StopDiscardsWhatTheEngineStillReportsAndHoldsTheEngine) {
  script.first = {Record(u"E:\\\\kept.txt", kEntryFile, kDeleted, 3)};
  script.rest = {Record(u"E:\\\\late.txt", kEntryFile, kDeleted, 4), Record(u"E:\\\\Late", kEntryFolder, kDeleted, 8)};
  script.children = {Record(u"E:\\\\Late\\child.txt", kEntryFile, kDeleted, 12)};
  script.start.Open();
  ScanRun run(engine);
  ASSERT_TRUE(run.Start(Request(ScanMode::kQuick)));
  ASSERT_TRUE(Eventually([&] { return run.progress().files == 1; }));
  run.Stop();
  EXPECT_TRUE(run.stopped());
  // What was collected stays and can be read at once.
  ASSERT_EQ(run.all_items().size(), 1u);
  EXPECT_FALSE(run.Wait(50ms)) << "the worker is still inside the engine";

  // No new run, scan or recovery, while the abandoned worker is inside.
  EXPECT_TRUE(EngineUse::Busy());
  ScanRun second(engine);
  EXPECT_FALSE(second.Start(Request(ScanMode::kQuick)));
  RecoveryRun recovery(engine);
  FoundItems store;
  FoundItem fields;
  fields.type = kEntryFile;
  const FoundItem& item = store.Add(fields, u"E:\\\\kept.txt");
  RecoveryRequest recover;
  recover.items = {&item};
  recover.destination = u"never-created";
  recover.file_system = u"FAT32";
  EXPECT_FALSE(recovery.Start(recover));
  EXPECT_NE(recovery.message().find(u"still finishing"), std::u16string::npos);

  // The engine goes on reporting; none of it is counted, entered or kept.
  script.middle.Open();
  ASSERT_TRUE(run.Wait(5s));
  EXPECT_EQ(script.reported, 3);
  EXPECT_EQ(script.searches, 0);
  EXPECT_EQ(run.progress().files, 1);
  EXPECT_EQ(run.all_items().size(), 1u);
  EXPECT_FALSE(run.finished());
  EXPECT_LT(run.progress().percent, 100);
  EXPECT_FALSE(EngineUse::Busy());

  // Once it is out, a new run starts from empty vectors.
  script.first.clear();
  script.rest.clear();
  ASSERT_TRUE(second.RunToEnd(Request(ScanMode::kQuick)));
  EXPECT_TRUE(second.all_items().empty());
}

TEST_F(ScanRunTest, StopReleasesAPausedRun) {
  script.first = {Record(u"E:\\\\a.txt", kEntryFile, kDeleted, 3)};
  script.middle.Open();
  ScanRun run(engine);
  ASSERT_TRUE(run.Start(Request(ScanMode::kQuick)));
  run.Pause();
  script.start.Open();
  ASSERT_TRUE(Eventually([&] { return script.reported == 1; }));
  run.Stop();
  ASSERT_TRUE(run.Wait(5s)) << "a stopped run must not stay held by its pause";
  EXPECT_TRUE(run.all_items().empty());
}

}  // namespace
}  // namespace salvor::app
