// Times the NTFS scanner on an image: the Quick Scan ("quick") or the
// unformat sweep ("sweep"), run through the engine as the program runs it.
// Prints the number of records reported and the seconds taken.
//
//   ntfs_bench_tool quick|sweep IMAGE
#include <chrono>
#include <cstdio>
#include <string>

#include "common/text.h"
#include "engine/gleaner.h"
#include "engine/volume_access.h"

namespace {
uint64_t g_count = 0;
uint32_t Count(_FileInfoNtfs, void*) {
  ++g_count;
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s quick|sweep IMAGE\n", argv[0]);
    return 1;
  }
  const std::string mode = argv[1];
  if (!salvor::engine::MountImage(u'B', salvor::text::from_utf8(argv[2]))) return 1;
  const auto start = std::chrono::steady_clock::now();
  salvor::engine::CGleaner engine;
  if (!engine.InitEngine(salvor::kVolumeNtfs, u"B:")) {
    std::fprintf(stderr, "not an NTFS volume\n");
    return 1;
  }
  if (mode == "quick") {
    engine.ScanNtfsDisk(Count, nullptr, nullptr, nullptr);
  } else {
    FILE* f = std::fopen(argv[2], "rb");
    if (!f) return 1;
    std::fseek(f, 0, SEEK_END);
    const auto size = static_cast<uint64_t>(std::ftell(f));
    std::fclose(f);
    engine.ScanNtfsByFormat(u"B:", size, Count, nullptr);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu %.3f\n", static_cast<unsigned long long>(g_count), seconds);
  return 0;
}
