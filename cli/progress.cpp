#include "cli/progress.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "platform/platform.h"

namespace salvor::cli {

Ticker::Ticker(std::function<void()> tick) : tick_(std::move(tick)) {
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return quit_; })) {
      lock.unlock();
      tick_();
      lock.lock();
    }
  });
}

Ticker::~Ticker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

StatusLine::StatusLine() : enabled_(platform::stderr_is_terminal()) {}

StatusLine::~StatusLine() {
  std::lock_guard lock(mutex_);
  if (shown_) {
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
  }
}

void StatusLine::Show(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!enabled_) return;
  std::fprintf(stderr, "\r\x1b[K%s", text.c_str());
  std::fflush(stderr);
  shown_ = true;
}

namespace {

// A name from the volume for the terminal: control characters would drive
// it, and a long name would wrap the line.
std::string shown_name(std::u16string_view name) {
  std::u16string cut(name.substr(0, 40));
  if (name.size() > 40) cut += u"...";
  std::string out;
  for (const char ch : text::to_utf8(cut)) out.push_back(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F ? '?' : ch);
  return out;
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

std::string RateText(double per_second, bool bytes) {
  if (per_second <= 0) return {};
  char text[32];
  if (!bytes) {
    std::snprintf(text, sizeof text, "%.0f/s", per_second);
  } else if (per_second >= 1024.0 * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.2f GB/s", per_second / (1024.0 * 1024 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.1f MB/s", per_second / (1024.0 * 1024));
  }
  return text;
}

std::string TimeLeftText(double seconds) {
  if (seconds < 0) return {};
  const auto whole = static_cast<uint64_t>(seconds + 0.5);
  char text[48];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64 ":%02" PRIu64 " left", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02" PRIu64 " left", whole / 60, whole % 60);
  }
  return text;
}

namespace {

// "  <rate>  <time left>" when known.
std::string RateAndTimeLeft(const app::ProgressRate& rate, uint64_t total_units, bool bytes) {
  std::string out;
  const std::string per_second = RateText(rate.per_second(), bytes);
  if (!per_second.empty()) out += "  " + per_second;
  const std::string left = TimeLeftText(rate.SecondsLeft(total_units));
  if (!left.empty()) out += "  " + left;
  return out;
}

}  // namespace

std::string ScanStatus(const app::ScanProgress& progress, const app::ProgressRate& rate) {
  char head[96];
  std::snprintf(head, sizeof head, "Scanning: %3d%%  folders %d  files %d", progress.percent.load(),
                progress.folders.load(), progress.files.load());
  // The sweep's rate is bytes; the Quick Scan's folders or records.
  const bool bytes = progress.phase == app::ScanProgress::kPhaseBytes;
  return head + RateAndTimeLeft(rate, progress.total_units, bytes) + "  " + shown_name(progress.LastName());
}

std::string RecoveryStatus(const app::ScanProgress& progress, size_t planned, const app::ProgressRate& rate) {
  char head[128];
  std::snprintf(head, sizeof head, "Recovering: %3d%%  files %d of %zu  ", progress.percent.load(),
                progress.files.load(), planned);
  return head + megabytes(progress.bytes_done) + " of " + megabytes(progress.bytes_total) +
         RateAndTimeLeft(rate, progress.bytes_total, true) + "  " + shown_name(progress.LastName());
}

bool RunScanWithProgress(app::ScanRun& run, const app::ScanRequest& request, std::u16string& error,
                         const std::function<void()>& between_waits) {
  platform::watch_interrupts();
  if (!run.Start(request)) {
    error = u"the engine is still busy with an earlier run";
    return false;
  }
  std::atomic<bool> interrupted{false};
  {
    StatusLine line;
    app::ProgressRate rate;
    const auto start = std::chrono::steady_clock::now();
    int stage_first = -1;
    Ticker ticker([&] {
      if (platform::interrupted() && !interrupted.exchange(true)) run.Stop();
      run.Tick();
      const app::ScanProgress& progress = run.progress();
      // A new stage counts other units: its rate starts again.
      if (progress.stage_first != stage_first) {
        stage_first = progress.stage_first;
        rate = {};
      }
      rate.Sample(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), progress.done_units);
      line.Show(ScanStatus(progress, rate));
    });
    // Stop() ends the wait too: a stopped run's worker may stay inside the
    // engine until its call returns.
    const auto wait = std::chrono::milliseconds(between_waits ? 10 : 50);
    while (!run.Wait(wait) && !interrupted) {
      if (between_waits) between_waits();
    }
  }
  if (interrupted) {
    error = u"interrupted";
    return false;
  }
  return true;
}

bool RunRecoveryWithProgress(app::RecoveryRun& run, const app::RecoveryRequest& request, bool& started) {
  platform::watch_interrupts();
  started = run.Start(request);
  if (!started) return true;
  std::atomic<bool> interrupted{false};
  {
    StatusLine line;
    app::ProgressRate rate;
    const auto start = std::chrono::steady_clock::now();
    Ticker ticker([&] {
      if (platform::interrupted() && !interrupted.exchange(true)) run.Stop();
      run.Tick();
      const app::ScanProgress& progress = run.progress();
      rate.Sample(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), progress.bytes_done);
      line.Show(RecoveryStatus(progress, run.planned(), rate));
    });
    // The engine stops within the file being written and removes it.
    run.Wait();
  }
  return !interrupted;
}

void ExitNow(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

}  // namespace salvor::cli
