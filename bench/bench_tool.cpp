// Times the engine alone on an image, bound at run time as the program binds
// it, with the program's own folder descent but no results model and no
// output: the Quick Scan ("fat-quick", "ntfs-quick") or the Unformatting
// Scan's sweep ("fat-sweep", "ntfs-sweep"). Prints the records reported and
// the seconds taken.
//
//   bench_tool MODE IMAGE ENGINE_DIR
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/core/engine_binding.h"
#include "app/core/fat_scan.h"
#include "common/text.h"

namespace {

using salvor::app::EngineBinding;

uint64_t g_count = 0;
const EngineBinding* g_engine = nullptr;

uint32_t CountFat(_FileInfoFat, void*) {
  ++g_count;
  return 1;
}

uint32_t CountNtfs(_FileInfoNtfs, void*) {
  ++g_count;
  return 1;
}

// The live folders, entered as the program enters them (depth bounded).
uint32_t WalkNtfs(_FileInfoNtfs record, void* depth) {
  ++g_count;
  auto level = reinterpret_cast<uintptr_t>(depth);
  if (record.Type == salvor::kEntryFolder && level < 256) {
    g_engine->ReFindMftnumByFileName(record.FullPath, nullptr, record.MftNumber, nullptr, &WalkNtfs,
                                     reinterpret_cast<void*>(level + 1));
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s fat-quick|fat-sweep|ntfs-quick|ntfs-sweep IMAGE ENGINE_DIR\n", argv[0]);
    return 1;
  }
  const std::string mode = argv[1];
  EngineBinding engine;
  if (!engine.bind(salvor::text::from_utf8(argv[3])) || !engine.ReMountImage ||
      !engine.ReMountImage(u'B', salvor::text::from_utf8(argv[2]).c_str())) {
    std::fprintf(stderr, "cannot bind the engine or mount the image\n");
    return 1;
  }
  g_engine = &engine;
  const uint64_t size = std::filesystem::file_size(argv[2]);
  const auto start = std::chrono::steady_clock::now();
  bool ok = false;
  if (mode == "fat-quick") {
    salvor::app::FatQuickScan scan(engine, u"FAT32", salvor::kVolumeFat32, u"B:\\");
    scan.keep_records = false;
    scan.volume_size_bytes = size;
    scan.on_record = [](const _FileInfoFat&) { ++g_count; };
    ok = scan.run();
  } else if (mode == "fat-sweep") {
    ok = engine.InitReEngine(salvor::kVolumeFat32, u"B:\\") && engine.ReScanFatFormatDisk(size, &CountFat, nullptr);
  } else if (mode == "ntfs-quick") {
    ok = engine.InitReEngine(salvor::kVolumeNtfs, u"B:\\") && engine.ReScanNtfsEx(u"B:\\", &WalkNtfs, nullptr);
    ok = engine.ReScanNtfsDisk(&CountNtfs, nullptr, u"B:\\", nullptr) && ok;
  } else if (mode == "ntfs-sweep") {
    ok = engine.InitReEngine(salvor::kVolumeNtfs, u"B:\\") && engine.ReScanNtfsDisk(&CountNtfs, nullptr, u"B:\\", nullptr);
    engine.ReScanNtfsFormatDisk(u"B:\\", size, &CountNtfs, nullptr);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%llu %.3f%s\n", static_cast<unsigned long long>(g_count), seconds, ok ? "" : " (incomplete)");
  return 0;
}
