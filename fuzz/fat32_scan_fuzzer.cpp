// libFuzzer harness for the FAT16 and FAT32 scans (Quick Scan, with the
// deleted-folder search, and the Unformatting Scan's sweep). Each input is a volume image:
// it is written to an in-memory file that the engine mounts under a drive
// letter, and the scan runs exactly as salvor-cli and the program run it
// (InitReEngine, ReScanFatDisk, and a callback that descends into every
// folder through ReFatDirectory and ReSearchCluster). The file-system
// detection and the text conversions of the reported paths run too.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/core/engine_binding.h"
#include "app/core/fat_scan.h"
#include "app/core/fs_detect.h"
#include "fuzz/recovery_check.h"
#include "common/text.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace {

// Larger inputs are cut: the directory structures that matter sit in the
// first clusters, and big inputs only slow the mutations down.
constexpr size_t kMaxImageBytes = 4u << 20;
constexpr char16_t kLetter = u'F';
constexpr const char16_t* kRoot = u"F:\\";

int g_image_fd = -1;
salvor::app::EngineBinding g_engine;

// The exports are linked into the harness; no library is loaded.
void BindLinkedExports(salvor::app::EngineBinding& engine) {
  engine.InitReEngine = &InitReEngine;
  engine.ReScanFatDisk = &ReScanFatDisk;
  engine.ReFatDirectory = &ReFatDirectory;
  engine.ReSearchCluster = &ReSearchCluster;
  engine.ReInitFatEx = &ReInitFatEx;
  engine.ReMountImage = &ReMountImage;
  engine.ReScanFatFormatDisk = &ReScanFatFormatDisk;
  engine.ReIsDirectory32 = &ReIsDirectory32;
  engine.ReProbeBootSector = &ReProbeBootSector;
  engine.ReJudgeItem = &ReJudgeItem;
}

bool WriteImage(const uint8_t* data, size_t size) {
  if (ftruncate(g_image_fd, 0) != 0) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(g_image_fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_image_fd = memfd_create("salvor-fuzz-volume", 0);
  if (g_image_fd < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  // The engine opens the image by path, read-only, once per InitReEngine.
  const std::string path = "/proc/self/fd/" + std::to_string(g_image_fd);
  if (!salvor::engine::MountImage(kLetter, salvor::text::from_utf8(path))) std::abort();
  BindLinkedExports(g_engine);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxImageBytes) size = kMaxImageBytes;
  if (!WriteImage(data, size)) std::abort();

  if (size >= salvor::engine::kBootSectorBytes) {
    (void)salvor::app::DetectFileSystem(g_engine,
        std::span<const std::byte>(reinterpret_cast<const std::byte*>(data), salvor::engine::kBootSectorBytes));
  }

  // What the front ends do with every record: a relative path, UTF-8 text.
  size_t bytes = 0;
  auto use = [&bytes](const _FileInfoFat& record) {
    bytes += salvor::text::to_utf8(salvor::app::RelativePath(record.FullPath.view())).size();
  };

  for (const auto& [name, kind] : {std::pair{u"FAT32", salvor::kVolumeFat32}, std::pair{u"FAT", salvor::kVolumeFat16}}) {
    salvor::app::FatQuickScan scan(g_engine, name, kind, kRoot);
    scan.volume_size_bytes = size;
    (void)scan.run();
    for (const _FileInfoFat& record : scan.all_items()) use(record);
    // A few files recovered into a destination that checks every byte.
    {
      salvor::fuzz::RecoveryCheck run(size);
      size_t recovered = 0;
      for (const _FileInfoFat& record : scan.all_items()) {
        if (record.EntryType != salvor::kEntryFile || recovered++ == 4) continue;
        run.Recover(kReRecoverFatCluster, record.FirstCluster, record.FileSize);
      }
    }

    std::vector<_FileInfoFat> swept;
    (void)salvor::app::RunFatUnformatScan(g_engine, kind, kRoot, size, swept);
    for (const _FileInfoFat& record : swept) use(record);
  }
  (void)bytes;
  return 0;
}
