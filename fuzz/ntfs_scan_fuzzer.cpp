// libFuzzer harness for the NTFS scanner. Each input is a volume image,
// written to an in-memory file that the engine mounts under a drive letter.
// The run is the program's: InitReEngine for NTFS, the Quick Scan (MFT
// records, parent chains), recovery of a few deleted files, the directory
// walk of the root and of every folder found (index roots, INDX blocks,
// attribute lists), then the unformat sweep and recovery by record position.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/text.h"
#include "fuzz/recovery_check.h"
#include "engine/gleaner_api.h"
#include "engine/volume_access.h"

namespace {

constexpr size_t kMaxImageBytes = 4u << 20;
constexpr size_t kMaxRecords = 4096;
constexpr size_t kMaxRecoveries = 4;
constexpr size_t kMaxListings = 16;
// Sparse files may be far larger than their volume; copying terabytes of
// zeros proves nothing, so larger ones are not recovered here.
constexpr uint64_t kMaxRecoveredBytes = 64u << 20;
constexpr char16_t kLetter = u'H';
constexpr const char16_t* kRoot = u"H:";

int g_image_fd = -1;
std::u16string g_output_path;

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

uint32_t Collect(_FileInfoNtfs record, void* user) {
  auto* records = static_cast<std::vector<_FileInfoNtfs>*>(user);
  // The path's text goes through the conversion the program applies.
  (void)salvor::text::to_utf8(record.FullPath.view());
  if (records->size() < kMaxRecords) records->push_back(record);
  return 1;
}

uint32_t Progress(void*, uint64_t, uint64_t) { return 1; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_image_fd = memfd_create("salvor-fuzz-ntfs", 0);
  const int output_fd = memfd_create("salvor-fuzz-ntfs-out", 0);
  if (g_image_fd < 0 || output_fd < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  const std::string path = "/proc/self/fd/" + std::to_string(g_image_fd);
  if (!salvor::engine::MountImage(kLetter, salvor::text::from_utf8(path))) std::abort();
  g_output_path = salvor::text::from_utf8("/proc/self/fd/" + std::to_string(output_fd));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxImageBytes) size = kMaxImageBytes;
  if (!WriteImage(data, size)) std::abort();
  if (!InitReEngine(salvor::kVolumeNtfs, kRoot)) return 0;

  std::vector<_FileInfoNtfs> deleted;
  (void)ReScanNtfsDisk(&Collect, &deleted, nullptr, &Progress);
  size_t recovered = 0;
  {
    // Sparse files may be far larger than their volume: the destination
    // keeps no bytes, so any size is recovered, and every byte is checked.
    salvor::fuzz::RecoveryCheck run(size);
    for (const _FileInfoNtfs& record : deleted) {
      if (record.Type != salvor::kEntryFile || recovered == kMaxRecoveries) continue;
      ++recovered;
      run.Recover(kReRecoverNtfsRecord, record.MftNumber, 0);
    }
  }

  std::vector<_FileInfoNtfs> listed;
  (void)ReScanNtfsEx(u"H:\\", &Collect, &listed);
  size_t listings = 0;
  for (size_t i = 0; i < listed.size() && listings < kMaxListings; ++i) {
    if (listed[i].Type != salvor::kEntryFolder) continue;
    ++listings;
    uint64_t found = 0;
    (void)ReFindMftnumByFileName(listed[i].FullPath, nullptr, listed[i].MftNumber, nullptr, &Collect, &listed);
    (void)ReFindMftnumByFileName(listed[i].FullPath, u"a.txt", listed[i].MftNumber, &found, nullptr, nullptr);
  }

  std::vector<_FileInfoNtfs> swept;
  (void)ReScanNtfsFormatDisk(kRoot, size, &Collect, &swept);
  recovered = 0;
  salvor::fuzz::RecoveryCheck run(size);
  for (const _FileInfoNtfs& record : swept) {
    if (recovered++ == kMaxRecoveries) break;
    run.Recover(kReRecoverNtfsPosition, record.RecordOffset, 0);
  }
  // The plain export too, onto an in-memory file's name (small files only:
  // that file keeps its bytes).
  for (const _FileInfoNtfs& record : deleted) {
    if (record.Type != salvor::kEntryFile || record.DataSize > kMaxRecoveredBytes) continue;
    (void)ReNtfsRecoverData(g_output_path.c_str(), record.MftNumber, nullptr, nullptr);
    break;
  }
  return 0;
}
