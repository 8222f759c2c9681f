#include "engine/sweep_windows.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "engine/volume_access.h"

namespace salvor::engine {
namespace {

// Where window `index` of a walk over `size` bytes lies: its own bytes
// (`wanted`) and the tail read with them.
struct WindowPlan {
  uint64_t offset = 0;
  uint64_t wanted = 0;
  uint64_t tail = 0;
};

WindowPlan PlanWindow(uint64_t index, uint64_t count, uint64_t size, size_t tail_bytes) {
  WindowPlan plan;
  plan.offset = index * kSweepWindowBytes;
  const uint64_t left = size - plan.offset;
  plan.wanted = index + 1 < count ? kSweepWindowBytes : left - left % kSweepUnitBytes;
  plan.tail = std::min<uint64_t>(tail_bytes, left - plan.wanted);
  return plan;
}

// Reads the windows ahead of the sweep on a thread of its own, into two
// buffers in turn: the copy of one window out of the operating system runs
// while the sweep looks at the one before, on the other processor. Reads
// of a RawVolume may run on several threads at once. Without a thread (one
// could not be started) each window is read when it is taken.
class ReadAhead {
 public:
  struct Slot {
    platform::AnonymousBuffer buffer;
    std::optional<size_t> got;  // nothing: the read failed
    bool full = false;
  };

  ReadAhead(const platform::RawVolume& volume, uint64_t size, size_t tail_bytes, uint64_t count)
      : volume_(volume), size_(size), tail_bytes_(tail_bytes), count_(count) {}
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  ~ReadAhead() {
    {
      std::lock_guard guard(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // False when the buffers cannot be had.
  bool start() {
    const size_t bytes = static_cast<size_t>(kSweepWindowBytes) + tail_bytes_;
    if (!slots_[0].buffer.allocate(bytes) || !slots_[1].buffer.allocate(bytes)) return false;
    if (count_ > 1) {
      try {
        thread_ = std::thread([this] { run(); });
      } catch (const std::system_error&) {
        // Read in turn with the sweep instead.
      }
    }
    return true;
  }

  // Window `index`, read; windows are taken in order, each given back
  // before the one two further on is taken.
  Slot& take(uint64_t index) {
    Slot& slot = slots_[index % 2];
    if (!thread_.joinable()) {
      read_into(slot, index);
      return slot;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return slot.full; });
    return slot;
  }

  void give_back(uint64_t index) {
    {
      std::lock_guard guard(mutex_);
      slots_[index % 2].full = false;
    }
    changed_.notify_all();
  }

 private:
  void read_into(Slot& slot, uint64_t index) const {
    const WindowPlan plan = PlanWindow(index, count_, size_, tail_bytes_);
    slot.got = plan.wanted == 0 ? std::optional<size_t>(0)
                                : volume_.read_some_at(plan.offset, slot.buffer.bytes().first(
                                                                        static_cast<size_t>(plan.wanted + plan.tail)));
  }

  void run() {
    for (uint64_t index = 0; index < count_; ++index) {
      Slot& slot = slots_[index % 2];
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !slot.full; });
        if (stop_) return;
      }
      // The slot is the reader's until it is marked full.
      read_into(slot, index);
      {
        std::lock_guard guard(mutex_);
        slot.full = true;
      }
      changed_.notify_all();
    }
  }

  const platform::RawVolume& volume_;
  const uint64_t size_;
  const size_t tail_bytes_;
  const uint64_t count_;
  Slot slots_[2];
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

bool SweepWindows(const platform::RawVolume& volume, uint64_t volume_size_bytes, size_t tail_bytes,
                  const std::function<void(const SweepWindow&)>& visit) {
  // The count is fixed before the first read, so the walk ends whatever the
  // reads return.
  const uint64_t window_count = volume_size_bytes / kSweepWindowBytes + 1;
  ReadAhead reader(volume, volume_size_bytes, tail_bytes, window_count);
  if (!reader.start()) return false;

  bool result = true;
  for (uint64_t i = 0; i < window_count; ++i) {
    const WindowPlan plan = PlanWindow(i, window_count, volume_size_bytes, tail_bytes);
    ReadAhead::Slot& slot = reader.take(i);
    const MutableBytes buffer = slot.buffer.bytes();
    SweepWindow window;
    window.offset_bytes = plan.offset;
    bool ended = false;
    if (!slot.got) {
      platform::debug_output(u"read faile");
      result = false;
      reader.give_back(i);
      ReportSweepPosition(plan.offset + plan.wanted, volume_size_bytes);
      continue;
    }
    const size_t got = *slot.got;
    if (got < plan.wanted) {  // the device ended before the size given
      platform::debug_output(u"read faile");
      result = false;
      ended = true;
    }
    const size_t own = static_cast<size_t>(std::min<uint64_t>(got, plan.wanted));
    window.data = Bytes(buffer.first(own - own % kSweepUnitBytes));
    window.with_tail = Bytes(buffer.first(ended ? window.data.size() : got));
    visit(window);
    reader.give_back(i);
    ReportSweepPosition(plan.offset + plan.wanted, volume_size_bytes);
    if (ended) break;
  }
  return result;
}

}  // namespace salvor::engine
