// Disk images on Linux: E01 through libewf, VHD and VHDX through libvhdi,
// VMDK through libvmdk, and split raw images read piece after piece.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libewf.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "common/text.h"
#include "platform/disk_image.h"

namespace salvor::platform {
namespace {

constexpr size_t kSignatureBytes = 512;
// A split image has at most this many pieces (three-digit suffixes).
constexpr int kMaxSplitPieces = 999;

bool read_fully(int fd, uint64_t offset, std::span<std::byte> out) {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t got = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// The format libraries keep state per handle: one read at a time.
class LibraryImage : public DiskImageReader {
 public:
  uint64_t size_bytes() const override { return size_; }
  std::optional<size_t> read_some_at(uint64_t offset, std::span<std::byte> buffer) const override {
    if (offset >= size_) return size_t{0};
    const size_t length = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size_ - offset));
    std::lock_guard guard(lock_);
    size_t done = 0;
    while (done < length) {
      const ssize_t got = read(offset + done, buffer.subspan(done, length - done));
      if (got <= 0) return std::nullopt;
      done += static_cast<size_t>(got);
    }
    return done;
  }

 protected:
  virtual ssize_t read(uint64_t offset, std::span<std::byte> buffer) const = 0;
  uint64_t size_ = 0;

 private:
  mutable std::mutex lock_;
};

class EwfImage final : public LibraryImage {
 public:
  ~EwfImage() override {
    if (handle_) {
      libewf_handle_close(handle_, nullptr);
      libewf_handle_free(&handle_, nullptr);
    }
  }
  bool open(const std::string& path) {
    char** names = nullptr;
    int count = 0;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, nullptr) != 1) return false;
    bool ok = libewf_handle_initialize(&handle_, nullptr) == 1 &&
              libewf_handle_open(handle_, names, count, LIBEWF_OPEN_READ, nullptr) == 1;
    libewf_glob_free(names, count, nullptr);
    size64_t size = 0;
    ok = ok && libewf_handle_get_media_size(handle_, &size, nullptr) == 1;
    size_ = size;
    return ok;
  }

 private:
  ssize_t read(uint64_t offset, std::span<std::byte> buffer) const override {
    return libewf_handle_read_random(handle_, buffer.data(), buffer.size(), static_cast<off64_t>(offset), nullptr);
  }
  libewf_handle_t* handle_ = nullptr;
};

class VhdiImage final : public LibraryImage {
 public:
  ~VhdiImage() override {
    if (file_) {
      libvhdi_file_close(file_, nullptr);
      libvhdi_file_free(&file_, nullptr);
    }
  }
  // False for a differencing image too: its parent is not looked for.
  bool open(const std::string& path, std::u16string& error) {
    if (libvhdi_file_initialize(&file_, nullptr) != 1 ||
        libvhdi_file_open(file_, path.c_str(), LIBVHDI_OPEN_READ, nullptr) != 1) {
      return false;
    }
    uint32_t type = 0;
    if (libvhdi_file_get_disk_type(file_, &type, nullptr) == 1 && type == LIBVHDI_DISK_TYPE_DIFFERENTIAL) {
      error = u"a differencing virtual disk (only its parent holds the rest of the disk) is not read";
      return false;
    }
    size64_t size = 0;
    if (libvhdi_file_get_media_size(file_, &size, nullptr) != 1) return false;
    size_ = size;
    return true;
  }

 private:
  ssize_t read(uint64_t offset, std::span<std::byte> buffer) const override {
    return libvhdi_file_read_buffer_at_offset(file_, buffer.data(), buffer.size(), static_cast<off64_t>(offset),
                                              nullptr);
  }
  libvhdi_file_t* file_ = nullptr;
};

class VmdkImage final : public LibraryImage {
 public:
  ~VmdkImage() override {
    if (handle_) {
      libvmdk_handle_close(handle_, nullptr);
      libvmdk_handle_free(&handle_, nullptr);
    }
  }
  bool open(const std::string& path) {
    size64_t size = 0;
    if (libvmdk_handle_initialize(&handle_, nullptr) != 1 ||
        libvmdk_handle_open(handle_, path.c_str(), LIBVMDK_OPEN_READ, nullptr) != 1 ||
        libvmdk_handle_open_extent_data_files(handle_, nullptr) != 1 ||
        libvmdk_handle_get_media_size(handle_, &size, nullptr) != 1) {
      return false;
    }
    size_ = size;
    return true;
  }

 private:
  ssize_t read(uint64_t offset, std::span<std::byte> buffer) const override {
    return libvmdk_handle_read_buffer_at_offset(handle_, buffer.data(), buffer.size(), static_cast<off64_t>(offset),
                                                nullptr);
  }
  libvmdk_handle_t* handle_ = nullptr;
};

// disk.001, disk.002, ... read as one disk, each piece as long as its file.
class SplitRawImage final : public DiskImageReader {
 public:
  ~SplitRawImage() override {
    for (const Piece& piece : pieces_) ::close(piece.fd);
  }
  // `base` is the path without its ".001".
  bool open(const std::string& base) {
    uint64_t start = 0;
    for (int number = 1; number <= kMaxSplitPieces; ++number) {
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, ".%03d", number);
      const int fd = ::open((base + suffix).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) break;
      struct stat info {};
      if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
      }
      pieces_.push_back({fd, start, static_cast<uint64_t>(info.st_size)});
      start += static_cast<uint64_t>(info.st_size);
    }
    size_ = start;
    return pieces_.size() > 1;
  }
  uint64_t size_bytes() const override { return size_; }
  std::optional<size_t> read_some_at(uint64_t offset, std::span<std::byte> buffer) const override {
    size_t done = 0;
    for (const Piece& piece : pieces_) {
      if (done == buffer.size()) break;
      const uint64_t at = offset + done;
      if (at < piece.start || at >= piece.start + piece.length) continue;
      const size_t length = static_cast<size_t>(std::min<uint64_t>(buffer.size() - done, piece.start + piece.length - at));
      if (!read_fully(piece.fd, at - piece.start, buffer.subspan(done, length))) return std::nullopt;
      done += length;
    }
    return done;
  }

 private:
  struct Piece {
    int fd;
    uint64_t start;
    uint64_t length;
  };
  std::vector<Piece> pieces_;
  uint64_t size_ = 0;
};

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::unique_ptr<DiskImageReader> OpenDiskImage(int fd, const std::string& path, std::u16string& error) {
  error.clear();
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  std::vector<std::byte> head(kSignatureBytes), tail(kSignatureBytes);
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  if (size >= kSignatureBytes) {
    if (!read_fully(fd, 0, head) || !read_fully(fd, size - kSignatureBytes, tail)) return nullptr;
  }
  const auto format = DiskImageFormatName(head, tail);
  if (!format) {
    if (!ends_with(path, ".001")) return nullptr;
    auto split = std::make_unique<SplitRawImage>();
    if (split->open(path.substr(0, path.size() - 4))) return split;
    return nullptr;  // a lone piece is an ordinary raw image
  }
  std::unique_ptr<DiskImageReader> reader;
  bool ok = false;
  if (*format == u"E01") {
    auto ewf = std::make_unique<EwfImage>();
    ok = ewf->open(path);
    reader = std::move(ewf);
  } else if (*format == u"VMDK") {
    auto vmdk = std::make_unique<VmdkImage>();
    ok = vmdk->open(path);
    reader = std::move(vmdk);
  } else {
    auto vhdi = std::make_unique<VhdiImage>();
    ok = vhdi->open(path, error);
    reader = std::move(vhdi);
  }
  if (ok) return reader;
  if (error.empty()) error = u"the " + *format + u" image cannot be read (damaged, or missing a segment or extent)";
  return nullptr;
}

}  // namespace salvor::platform
