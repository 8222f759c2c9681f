// The window walk every unformat sweep reads with, over sparse files with a
// mark at each window's start: how many windows, how long the last one is,
// what the tail holds, where a short volume ends the walk, and the
// positions told to the progress callback.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/sweep_windows.h"
#include "engine/volume_access.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

using engine::kSweepWindowBytes;

struct WindowSeen {
  uint64_t offset = 0;
  size_t bytes = 0;
  size_t with_tail = 0;
  std::string tail_start;  // the first bytes after the window's own, if any
  std::string own_start;   // the window's own first bytes
};

struct Walk {
  std::vector<WindowSeen> windows;
  std::vector<uint64_t> positions;
  bool result = false;
};

uint32_t NotePosition(uint64_t swept, uint64_t total, void* user) {
  EXPECT_LE(swept, total);
  static_cast<Walk*>(user)->positions.push_back(swept);
  return 1;
}

// A sparse file of `file_size` bytes with "W<n>" at the start of window n.
Walk WalkFile(uint64_t file_size, uint64_t size_given, size_t tail_bytes) {
  const std::string path = testing::TempPath("windows-" + std::to_string(file_size) + ".img");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (uint64_t at = 0; at < file_size; at += kSweepWindowBytes) {
      out.seekp(static_cast<std::streamoff>(at));
      out << "W" << at / kSweepWindowBytes;
    }
  }
  std::filesystem::resize_file(path, file_size);
  Walk walk;
  {
    platform::RawVolume volume;
    EXPECT_TRUE(volume.open(text::from_utf8(path)));
    engine::SetSweepProgress(&NotePosition, &walk);
    walk.result = engine::SweepWindows(volume, size_given, tail_bytes, [&](const engine::SweepWindow& window) {
      WindowSeen seen{window.offset_bytes, window.data.size(), window.with_tail.size(), {}};
      EXPECT_EQ(window.with_tail.data(), window.data.data());
      const size_t tail = window.with_tail.size() - window.data.size();
      for (size_t i = 0; i < std::min<size_t>(tail, 3); ++i) {
        const char c = static_cast<char>(window.with_tail[window.data.size() + i]);
        if (c != 0) seen.tail_start += c;
      }
      for (size_t i = 0; i < std::min<size_t>(window.data.size(), 3); ++i) {
        const char c = static_cast<char>(window.data[i]);
        if (c != 0) seen.own_start += c;
      }
      walk.windows.push_back(seen);
    });
    engine::SetSweepProgress(nullptr, nullptr);
  }  // closed before the file goes (Windows keeps open files)
  std::filesystem::remove(path);
  return walk;
}

TEST(SweepWindows, CountLastWindowAndTail) {
  // A whole number of windows ends with one that reads nothing; each full
  // window carries the next one's first bytes, the last none.
  Walk walk = WalkFile(3 * kSweepWindowBytes, 3 * kSweepWindowBytes, 4096);
  EXPECT_TRUE(walk.result);
  ASSERT_EQ(walk.windows.size(), 4u);
  EXPECT_EQ(walk.windows[0].with_tail, kSweepWindowBytes + 4096);
  EXPECT_EQ(walk.windows[0].tail_start, "W1");
  EXPECT_EQ(walk.windows[1].tail_start, "W2");
  EXPECT_EQ(walk.windows[2].offset, 2 * kSweepWindowBytes);
  EXPECT_EQ(walk.windows[2].with_tail, kSweepWindowBytes);  // nothing past the size given
  EXPECT_EQ(walk.windows[3].bytes, 0u);
  EXPECT_EQ(walk.positions.back(), 3 * kSweepWindowBytes);
  EXPECT_EQ(walk.positions.size(), 4u);

  // Two windows and 1000 bytes: the last window is 512 bytes, its tail the
  // 488 after them; the tail before it stops at the size given.
  walk = WalkFile(2 * kSweepWindowBytes + 1000, 2 * kSweepWindowBytes + 1000, 4096);
  EXPECT_TRUE(walk.result);
  ASSERT_EQ(walk.windows.size(), 3u);
  EXPECT_EQ(walk.windows[1].with_tail, kSweepWindowBytes + 1000);
  EXPECT_EQ(walk.windows[2].bytes, 512u);
  EXPECT_EQ(walk.windows[2].with_tail, 1000u);

  // No tail asked for: the windows are their own bytes only.
  walk = WalkFile(2 * kSweepWindowBytes, 2 * kSweepWindowBytes, 0);
  ASSERT_EQ(walk.windows.size(), 3u);
  EXPECT_EQ(walk.windows[0].with_tail, kSweepWindowBytes);
}

TEST(SweepWindows, ManyWindowsComeInOrderEachWithItsOwnBytes) {
  // More windows than the readers have buffers: each is handed over once,
  // in order, holding its own bytes and the next one's first.
  const Walk walk = WalkFile(11 * kSweepWindowBytes + 4096, 11 * kSweepWindowBytes + 4096, 512);
  EXPECT_TRUE(walk.result);
  ASSERT_EQ(walk.windows.size(), 12u);
  for (size_t i = 0; i < walk.windows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(walk.windows[i].offset, i * kSweepWindowBytes);
    EXPECT_EQ(walk.windows[i].own_start, "W" + std::to_string(i));
    EXPECT_EQ(walk.windows[i].tail_start, i + 1 < 12 ? "W" + std::to_string(i + 1) : "");
    EXPECT_EQ(walk.positions[i], std::min<uint64_t>((i + 1) * kSweepWindowBytes, 11 * kSweepWindowBytes + 4096));
  }
}

TEST(SweepWindows, VolumeShorterThanTheSizeGiven) {
  // What exists is still looked at, then the walk ends and says it could
  // not read everything.
  const Walk walk = WalkFile(kSweepWindowBytes + kSweepWindowBytes / 2, 40 * kSweepWindowBytes, 4096);
  EXPECT_FALSE(walk.result);
  ASSERT_EQ(walk.windows.size(), 2u);
  EXPECT_EQ(walk.windows[0].tail_start, "W1");
  EXPECT_EQ(walk.windows[1].bytes, kSweepWindowBytes / 2);
  EXPECT_EQ(walk.windows[1].with_tail, kSweepWindowBytes / 2);
}

}  // namespace
}  // namespace salvor
