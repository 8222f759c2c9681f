// libFuzzer harness for the exFAT scanner. Each input is a volume image: it
// is written to an in-memory file that the engine mounts under a drive
// letter, and the engine runs what the program runs on exFAT: the Quick Scan
// (InitReEngine, ReScanFatDisk, and a callback that enters every folder
// through ReSearchCluster), the unformat sweep (ReScanFatFormatDisk over the
// whole image), and the recovery of a few of the files found
// (ReFatRecoverData64) into a second in-memory file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/core/engine_binding.h"
#include "app/core/fat_scan.h"
#include "common/text.h"
#include "fuzz/recovery_check.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace {

// Larger inputs are cut: the structures that matter sit in the first
// clusters, and big inputs only slow the mutations down.
constexpr size_t kMaxImageBytes = 4u << 20;
// Recovery of a file is bounded by the image anyway; a few are enough.
constexpr size_t kMaxRecoveries = 4;
constexpr char16_t kLetter = u'G';
constexpr const char16_t* kRoot = u"G:\\";

int g_image_fd = -1;
std::u16string g_output_path;
salvor::app::EngineBinding g_engine;

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

uint32_t CollectRecord(_FileInfoFat record, void* user) {
  auto* records = static_cast<std::vector<_FileInfoFat>*>(user);
  if (records->size() < 4096) records->push_back(record);
  return 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_image_fd = memfd_create("salvor-fuzz-exfat", 0);
  const int output_fd = memfd_create("salvor-fuzz-exfat-out", 0);
  if (g_image_fd < 0 || output_fd < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  // The engine opens the image by path, read-only, once per InitReEngine.
  const std::string path = "/proc/self/fd/" + std::to_string(g_image_fd);
  if (!salvor::engine::MountImage(kLetter, salvor::text::from_utf8(path))) std::abort();
  g_output_path = salvor::text::from_utf8("/proc/self/fd/" + std::to_string(output_fd));
  // The exports are linked into the harness; no library is loaded.
  g_engine.InitReEngine = &InitReEngine;
  g_engine.ReScanFatDisk = &ReScanFatDisk;
  g_engine.ReFatDirectory = &ReFatDirectory;
  g_engine.ReSearchCluster = &ReSearchCluster;
  g_engine.ReInitFatEx = &ReInitFatEx;
  g_engine.ReMountImage = &ReMountImage;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxImageBytes) size = kMaxImageBytes;
  if (!WriteImage(data, size)) std::abort();

  salvor::app::FatQuickScan scan(g_engine, u"EXFAT", salvor::kVolumeExFat, kRoot);
  (void)scan.run();
  size_t bytes = 0;
  for (const _FileInfoFat& record : scan.all_items()) {
    bytes += salvor::text::to_utf8(salvor::app::RelativePath(record.FullPath.view())).size();
  }
  (void)bytes;

  // Recovery right after the scan, as the program does it, into a
  // destination that checks every byte written.
  size_t recovered = 0;
  {
    salvor::fuzz::RecoveryCheck run(size);
    for (const _FileInfoFat& record : scan.all_items()) {
      if (record.EntryType != salvor::kEntryFile || recovered == kMaxRecoveries) continue;
      ++recovered;
      run.Recover(kReRecoverFatCluster, record.FirstCluster, record.FileSize);
    }
  }
  // The plain export too, onto an in-memory file's name.
  for (const _FileInfoFat& record : scan.all_items()) {
    if (record.EntryType != salvor::kEntryFile) continue;
    (void)ReFatRecoverData64(g_output_path.c_str(), record.FirstCluster, record.FileSize, nullptr, nullptr);
    break;
  }

  std::vector<_FileInfoFat> swept;
  (void)ReScanFatFormatDisk(size, &CollectRecord, &swept);
  return 0;
}
