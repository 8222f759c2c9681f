// Recovery inside the fuzz harnesses: a run into a destination in memory
// (tests/fixtures/fake_destination.h) that keeps no bytes and checks the
// writer's promises: no byte past a file's size, nothing after a file was
// closed, and in all no more than the destination's free space nor 4 times
// the image. A broken promise aborts, which libFuzzer reports.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/text.h"
#include "engine/gleaner.h"
#include "tests/fixtures/fake_destination.h"

namespace salvor::fuzz {

// What the fake destination says is free: far more than any image.
inline constexpr uint64_t kFreeBytes = uint64_t{1} << 40;

class RecoveryCheck {
 public:
  explicit RecoveryCheck(uint64_t image_bytes) : image_bytes_(image_bytes) {
    auto destination = std::make_unique<testing::FakeDestination>(kFreeBytes);
    destination_ = destination.get();
    engine::TheEngine().BeginRecoveryInto(std::move(destination), nullptr);
  }
  ~RecoveryCheck() {
    (void)ReEndRecovery(nullptr);  // the destination is gone after this
  }

  void Recover(uint32_t method, uint64_t position, uint64_t size) {
    const std::u16string name = u"f" + text::from_utf8(std::to_string(count_++));
    ReRecoverItemRequest request;
    request.Method = method;
    request.Position = position;
    request.FileSize = size;
    request.RelativePath = name.c_str();
    (void)ReRecoverItem(&request, nullptr);
    Check();
  }

 private:
  void Check() const {
    if (!destination_->broken().empty()) Abort(destination_->broken().c_str());
    if (destination_->written() > 4 * image_bytes_ + 4 * 65536) Abort("more than 4 times the image written");
  }
  [[noreturn]] static void Abort(const char* why) {
    std::fprintf(stderr, "recovery check: %s\n", why);
    std::abort();
  }

  uint64_t image_bytes_;
  testing::FakeDestination* destination_ = nullptr;
  int count_ = 0;
};

}  // namespace salvor::fuzz
