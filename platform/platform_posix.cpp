// POSIX implementation of the platform layer (Linux: block devices and image
// files).
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/fs.h>
#endif

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "common/text.h"
#include "platform/disk_image.h"
#include "platform/platform.h"

namespace salvor::platform {

struct RawVolume::Impl {
  explicit Impl(int descriptor) : fd(descriptor) {}
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { ::close(fd); }

  int fd = -1;
  // The disk inside an E01, VHD(X) or VMDK file or a split image; reads go
  // through it instead of the file's own bytes.
  std::unique_ptr<DiskImageReader> image;
};

namespace {

// Why an open descriptor is no volume, or nothing when it is one: a
// regular file or a block device.
std::optional<std::u16string> not_a_volume(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return text::from_utf8(std::strerror(errno));
  if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return std::nullopt;
  const char* what = S_ISFIFO(info.st_mode)  ? "a FIFO"
                     : S_ISCHR(info.st_mode) ? "a character device"
                     : S_ISSOCK(info.st_mode) ? "a socket"
                     : S_ISDIR(info.st_mode) ? "a folder"
                                             : "not a file";
  return u"not a disk image or block device (" + text::from_utf8(what) + u")";
}

}  // namespace

RawVolume::RawVolume() = default;
RawVolume::~RawVolume() { close(); }

bool RawVolume::open(std::u16string_view path) {
  close();
  const std::string native = text::to_utf8(path);
  // Non-blocking, so that a FIFO or a device that waits for a peer cannot
  // hold the open; no controlling terminal is taken.
  const int fd = ::open(native.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = text::from_utf8(std::strerror(errno));
    return false;
  }
  auto impl = std::make_shared<Impl>(fd);
  if (const auto refused = not_a_volume(fd)) {
    error_ = *refused;
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    error_ = text::from_utf8(std::strerror(errno));
    return false;
  }
  std::u16string image_error;
  impl->image = OpenDiskImage(fd, native, image_error);
  if (!image_error.empty()) {
    error_ = image_error;
    debug_output(text::from_utf8(native) + u": " + image_error + u"\n");
    return false;
  }
  impl_ = std::move(impl);
  return true;
}

void RawVolume::close() {
  impl_.reset();
  window_ = {};
  error_.clear();
}

bool RawVolume::is_open() const { return impl_ != nullptr; }

void RawVolume::share(const RawVolume& other) {
  impl_ = other.impl_;
  window_ = other.window_;
  error_.clear();
}

intptr_t RawVolume::native_handle() const { return impl_ && !impl_->image ? impl_->fd : -1; }

bool RawVolume::adopt(intptr_t native_handle) {
  close();
  if (native_handle < 0 || native_handle > INT32_MAX) {
    error_ = u"no open volume";
    return false;
  }
  const int fd = ::fcntl(static_cast<int>(native_handle), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    error_ = text::from_utf8(std::strerror(errno));
    return false;
  }
  auto impl = std::make_shared<Impl>(fd);
  if (const auto refused = not_a_volume(fd)) {
    error_ = *refused;
    return false;
  }
  impl_ = std::move(impl);
  return true;
}

std::optional<size_t> RawVolume::read_some_at(uint64_t offset, std::span<std::byte> buffer) const {
  clip_to_window(offset, buffer);
  if (!is_open() || offset > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  if (impl_->image) return impl_->image->read_some_at(offset, buffer);
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::pread(impl_->fd, buffer.data() + done, buffer.size() - done,
                                static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;  // end of the volume
    done += static_cast<size_t>(got);
  }
  return done;
}

bool RawVolume::read_at(uint64_t offset, std::span<std::byte> buffer) const {
  const auto got = read_some_at(offset, buffer);
  return got && *got == buffer.size();
}

std::optional<uint64_t> RawVolume::os_size_bytes() const {
  if (!is_open()) return std::nullopt;
  if (impl_->image) return impl_->image->size_bytes();
  struct stat info {};
  if (::fstat(impl_->fd, &info) != 0) return std::nullopt;
  if (S_ISREG(info.st_mode)) return static_cast<uint64_t>(info.st_size);
#if defined(BLKGETSIZE64)
  if (S_ISBLK(info.st_mode)) {
    uint64_t size = 0;
    if (::ioctl(impl_->fd, BLKGETSIZE64, &size) == 0) return size;
  }
#endif
  return std::nullopt;
}

struct OutputFile::Impl {
  int fd = -1;
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { close(); }

bool OutputFile::create(std::u16string_view path) {
  close();
  const int fd = ::open(text::to_utf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  impl_ = std::make_unique<Impl>();
  impl_->fd = fd;
  return true;
}

bool OutputFile::write(std::span<const std::byte> data) {
  if (!is_open()) return false;
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t put = ::write(impl_->fd, data.data() + done, data.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(put);
  }
  return true;
}

bool OutputFile::set_size(uint64_t size) {
  return is_open() && size <= static_cast<uint64_t>(INT64_MAX) && ::ftruncate(impl_->fd, static_cast<off_t>(size)) == 0;
}

bool OutputFile::flush() { return is_open() && ::fsync(impl_->fd) == 0; }

void OutputFile::close() {
  if (impl_ && impl_->fd >= 0) ::close(impl_->fd);
  impl_.reset();
}

bool OutputFile::is_open() const { return impl_ && impl_->fd >= 0; }

bool remove_file(std::u16string_view path) { return ::unlink(text::to_utf8(path).c_str()) == 0; }

AnonymousBuffer::~AnonymousBuffer() { release(); }

bool AnonymousBuffer::allocate(size_t size) {
  release();
  if (size == 0) return false;
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return false;
  data_ = static_cast<std::byte*>(memory);
  size_ = size;
  return true;
}

void AnonymousBuffer::release() {
  if (data_) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

SharedLibrary::~SharedLibrary() = default;

bool SharedLibrary::load(std::u16string_view path) {
  handle_ = ::dlopen(text::to_utf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

void SharedLibrary::unload() {
  if (handle_) ::dlclose(handle_);
  handle_ = nullptr;
}

std::u16string executable_directory() {
  std::string buffer(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return u".";
  buffer.resize(static_cast<size_t>(length));
  const size_t slash = buffer.rfind('/');
  return text::from_utf8(slash == std::string::npos ? std::string(".") : buffer.substr(0, slash));
}

std::u16string library_file_name(std::u16string_view base_name) {
  std::u16string name = u"lib";
  for (char16_t c : base_name) name.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
  return name + u".so";
}

std::vector<std::u16string> utf16_arguments(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(text::from_utf8(argv[i]));
  return arguments;
}

void use_utf8_console() {}

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

void set_environment_variable(const char* name, const char* value) { ::setenv(name, value, 1); }

void debug_output(std::u16string_view message) {
  static const bool enabled = std::getenv("SALVOR_DEBUG") != nullptr;
  if (!enabled) return;
  const std::string utf8 = text::to_utf8(message);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; this table is the
// fallback when iconv cannot convert.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::u16string cp1252_to_utf16(std::span<const std::byte> bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::byte b : bytes) {
    const auto c = std::to_integer<uint8_t>(b);
    out.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
  }
  return out;
}

}  // namespace

std::u16string ansi_to_utf16(std::span<const std::byte> bytes) {
  const char* chosen = std::getenv("SALVOR_CODEPAGE");
  if (!chosen || !*chosen) return cp1252_to_utf16(bytes);

  // iconv descriptors are not thread-safe; short names are rare enough that
  // one descriptor behind a lock is plenty.
  static std::mutex lock;
  static iconv_t descriptor = ::iconv_open("UTF-16LE", chosen);
  if (descriptor == reinterpret_cast<iconv_t>(-1)) return cp1252_to_utf16(bytes);
  std::lock_guard guard(lock);
  ::iconv(descriptor, nullptr, nullptr, nullptr, nullptr);

  std::string input(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string output(bytes.size() * 4 + 8, '\0');
  char* in = input.data();
  size_t in_left = input.size();
  char* out = output.data();
  size_t out_left = output.size();
  std::u16string result;
  while (in_left > 0) {
    if (::iconv(descriptor, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
      if (errno != EILSEQ && errno != EINVAL) break;
      // An unmappable byte becomes U+FFFD and the conversion goes on.
      const char replacement[2] = {static_cast<char>(0xFD), static_cast<char>(0xFF)};
      if (out_left < 2) break;
      std::memcpy(out, replacement, 2);
      out += 2, out_left -= 2;
      ++in, --in_left;
    }
  }
  const size_t produced = output.size() - out_left;
  result.resize(produced / 2);
  for (size_t i = 0; i < result.size(); ++i) {
    result[i] = static_cast<char16_t>(static_cast<uint8_t>(output[2 * i]) |
                                      (static_cast<uint8_t>(output[2 * i + 1]) << 8));
  }
  return result;
}


bool create_directories(std::u16string_view path) {
  std::error_code error;
  const std::filesystem::path folder(text::to_utf8(path));
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

std::optional<uint64_t> file_size(std::u16string_view path) {
  struct stat info {};
  if (::stat(text::to_utf8(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

namespace {

// The device number of the whole disk a partition belongs to, from sysfs
// (/sys/dev/block/M:m/../dev); the number itself when it is no partition.
dev_t whole_disk_of(dev_t device) {
  const std::string base = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
  std::error_code error;
  if (!std::filesystem::exists(base + "/partition", error)) return device;
  const auto real = std::filesystem::canonical(base, error);
  if (error) return device;
  std::ifstream file(real.parent_path() / "dev");
  unsigned major_number = 0, minor_number = 0;
  char colon = 0;
  if (!(file >> major_number >> colon >> minor_number) || colon != ':') return device;
  return makedev(major_number, minor_number);
}

// The block device a mount was made from (a FUSE file system has its own
// anonymous device number; its mount source names the real one).
std::optional<dev_t> mount_source_device(dev_t mounted) {
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  const std::string wanted = std::to_string(major(mounted)) + ":" + std::to_string(minor(mounted));
  for (int lines = 0; lines < 100000 && std::getline(mounts, line); ++lines) {
    std::istringstream fields(line);
    std::string id, parent, numbers, field;
    if (!(fields >> id >> parent >> numbers) || numbers != wanted) continue;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    if (!(fields >> type >> source)) continue;
    struct stat info {};
    if (::stat(source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) return info.st_rdev;
  }
  return std::nullopt;
}

}  // namespace

bool destination_on_source(std::u16string_view source, std::u16string_view destination) {
  struct stat source_info {};
  if (::stat(text::to_utf8(source).c_str(), &source_info) != 0 || !S_ISBLK(source_info.st_mode)) return false;
  // The destination may not exist yet: its nearest existing folder decides.
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(text::to_utf8(destination)), error);
  struct stat info {};
  for (int depth = 0; depth < 4096 && ::stat(folder.c_str(), &info) != 0; ++depth) {
    if (!folder.has_relative_path()) return false;
    folder = folder.parent_path();
  }
  std::vector<dev_t> candidates{info.st_dev};
  if (const auto from = mount_source_device(info.st_dev)) candidates.push_back(*from);
  const dev_t scanned = source_info.st_rdev;
  for (const dev_t device : candidates) {
    if (device == scanned || whole_disk_of(device) == scanned || whole_disk_of(scanned) == device) return true;
  }
  return false;
}

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void on_interrupt(int) { g_interrupted = 1; }
}  // namespace

void watch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

}  // namespace salvor::platform
