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

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
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

bool RawVolume::take(intptr_t native_handle, std::u16string_view path, bool) {
  const int fd = static_cast<int>(native_handle);
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
  if (!path.empty()) {
    std::u16string image_error;
    impl->image = OpenDiskImage(fd, text::to_utf8(path), image_error);
    if (!image_error.empty()) {
      error_ = image_error;
      debug_output(std::u16string(path) + u": " + image_error + u"\n");
      return false;
    }
  }
  impl_ = std::move(impl);
  return true;
}

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
  return take(fd, path, false);
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
  return take(fd, {}, false);
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

bool AnonymousBuffer::allocate(size_t size, bool populate) {
  release();
  if (size == 0) return false;
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
  if (populate) flags |= MAP_POPULATE;
#else
  (void)populate;
#endif
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
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
bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

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

namespace {

// Runs one conversion to UTF-16LE through `descriptor` (the caller holds the
// lock that guards it); an unmappable byte becomes U+FFFD.
std::u16string iconv_to_utf16(iconv_t descriptor, std::span<const std::byte> bytes) {
  ::iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
  std::string input(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string output(bytes.size() * 4 + 8, '\0');
  char* in = input.data();
  size_t in_left = input.size();
  char* out = output.data();
  size_t out_left = output.size();
  while (in_left > 0) {
    if (::iconv(descriptor, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
      if (errno != EILSEQ && errno != EINVAL) break;
      const char replacement[2] = {static_cast<char>(0xFD), static_cast<char>(0xFF)};
      if (out_left < 2) break;
      std::memcpy(out, replacement, 2);
      out += 2, out_left -= 2;
      ++in, --in_left;
    }
  }
  std::u16string result((output.size() - out_left) / 2, u'\0');
  for (size_t i = 0; i < result.size(); ++i) {
    result[i] = static_cast<char16_t>(static_cast<uint8_t>(output[2 * i]) |
                                      (static_cast<uint8_t>(output[2 * i + 1]) << 8));
  }
  return result;
}

// iconv descriptors are not thread-safe; short names are rare enough that
// descriptors behind one lock are plenty.
std::mutex iconv_lock;

}  // namespace

std::u16string ansi_to_utf16(std::span<const std::byte> bytes) {
  const char* chosen = std::getenv("SALVOR_CODEPAGE");
  if (!chosen || !*chosen) return cp1252_to_utf16(bytes);
  static iconv_t descriptor = ::iconv_open("UTF-16LE", chosen);
  if (descriptor == reinterpret_cast<iconv_t>(-1)) return cp1252_to_utf16(bytes);
  std::lock_guard guard(iconv_lock);
  return iconv_to_utf16(descriptor, bytes);
}

std::optional<std::u16string> codepage_to_utf16(unsigned code_page, std::span<const std::byte> bytes) {
  std::lock_guard guard(iconv_lock);
  // One descriptor per code page asked for, kept for the life of the
  // process (a handful at most: the code page is a user's setting).
  static std::map<unsigned, iconv_t> descriptors;
  auto found = descriptors.find(code_page);
  if (found == descriptors.end()) {
    const std::string name = "CP" + std::to_string(code_page);
    found = descriptors.emplace(code_page, ::iconv_open("UTF-16LE", name.c_str())).first;
  }
  if (found->second == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  return iconv_to_utf16(found->second, bytes);
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

std::string sysfs_block(dev_t device) {
  return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::optional<dev_t> read_device_number(const std::filesystem::path& file) {
  std::ifstream in(file);
  unsigned major_number = 0, minor_number = 0;
  char colon = 0;
  if (!(in >> major_number >> colon >> minor_number) || colon != ':') return std::nullopt;
  return makedev(major_number, minor_number);
}

// The device number of the whole disk a partition belongs to, from sysfs
// (/sys/dev/block/M:m/../dev); the number itself when it is no partition.
dev_t whole_disk_of(dev_t device) {
  const std::string base = sysfs_block(device);
  std::error_code error;
  if (!std::filesystem::exists(base + "/partition", error)) return device;
  const auto real = std::filesystem::canonical(base, error);
  if (error) return device;
  return read_device_number(real.parent_path() / "dev").value_or(device);
}

// A file identified by device and inode, as stat gives them.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

std::optional<FileId> file_id(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{info.st_dev, info.st_ino};
}

// One line of /proc/self/mountinfo: the mount point, the file system type
// and the mount source ("/dev/sdb1", an image path, or a program's name).
struct MountLine {
  std::string mount_point;
  std::string type;
  std::string source;
};

// mountinfo escapes blanks and backslashes as \ooo.
std::string unescape_mount_field(const std::string& field) {
  std::string out;
  auto octal = [](char c) { return c >= '0' && c <= '7'; };
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
        octal(field[i + 3])) {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

// The mounts whose file system has device number `mounted`.
std::vector<MountLine> mounts_of(dev_t mounted) {
  std::vector<MountLine> found;
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  const std::string wanted = std::to_string(major(mounted)) + ":" + std::to_string(minor(mounted));
  for (int lines = 0; lines < 100000 && std::getline(mounts, line); ++lines) {
    std::istringstream fields(line);
    std::string id, parent, numbers, root, point, field;
    if (!(fields >> id >> parent >> numbers >> root >> point) || numbers != wanted) continue;
    while (fields >> field && field != "-") {
    }
    MountLine mount;
    if (!(fields >> mount.type >> mount.source)) continue;
    mount.mount_point = unescape_mount_field(point);
    mount.source = unescape_mount_field(mount.source);
    found.push_back(std::move(mount));
  }
  return found;
}

// The devices a file system on `device` is made of: the device, the disk it
// is a partition of, and, for a device-mapper volume, the devices under it
// (/sys/block/dm-N/slaves), down a bounded number of levels.
std::vector<dev_t> underlying_devices(dev_t device) {
  std::vector<dev_t> devices{device};
  for (size_t i = 0; i < devices.size() && devices.size() < 256; ++i) {
    const dev_t disk = whole_disk_of(devices[i]);
    if (std::find(devices.begin(), devices.end(), disk) == devices.end()) devices.push_back(disk);
    std::error_code error;
    for (const auto& slave : std::filesystem::directory_iterator(sysfs_block(devices[i]) + "/slaves", error)) {
      const auto number = read_device_number(slave.path() / "dev");
      if (number && std::find(devices.begin(), devices.end(), *number) == devices.end()) devices.push_back(*number);
      if (devices.size() >= 256) break;
    }
  }
  return devices;
}

// The file behind a loop device, when `device` is one.
std::optional<FileId> loop_backing_file(dev_t device) {
  std::ifstream in(sysfs_block(device) + "/loop/backing_file");
  std::string path;
  if (!std::getline(in, path)) return std::nullopt;
  return file_id(path);
}

// Whether a FUSE program serves `mount_point` from `image`: a process whose
// arguments name both. For FUSE file systems whose mount source names no
// file (fusefat shows its own name). A daemon leaves its working folder, so
// relative arguments are also taken from the folder in which the mount
// point argument names the mount point ("fusefat img dir" run beside both).
bool fuse_process_serves(const std::string& mount_point, const FileId& image) {
  std::error_code error;
  int processes = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    if (++processes > 65536) break;
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string cmdline;
    std::getline(in, cmdline, '\n');  // arguments are NUL-separated; a newline inside one is rare
    if (cmdline.size() > (1u << 16)) continue;
    std::vector<std::string> arguments;
    for (size_t at = 0; at < cmdline.size();) {
      const size_t end = std::min(cmdline.find('\0', at), cmdline.size());
      if (end > at) arguments.push_back(cmdline.substr(at, end - at));
      at = end + 1;
    }
    std::vector<std::string> bases{(entry.path() / "cwd").string()};
    bool names_point = false;
    for (const std::string& argument : arguments) {
      if (argument == mount_point) names_point = true;
      if (argument[0] != '/' && mount_point.size() > argument.size() &&
          mount_point.compare(mount_point.size() - argument.size(), argument.size(), argument) == 0 &&
          mount_point[mount_point.size() - argument.size() - 1] == '/') {
        names_point = true;
        bases.push_back(mount_point.substr(0, mount_point.size() - argument.size() - 1));
      }
    }
    if (!names_point) continue;
    for (const std::string& argument : arguments) {
      if (argument[0] == '/') {
        if (file_id(argument) == image) return true;
        continue;
      }
      for (const std::string& base : bases) {
        if (file_id(base + "/" + argument) == image) return true;
      }
    }
  }
  return false;
}

}  // namespace

bool destination_on_source(std::u16string_view source, std::u16string_view destination) {
  const std::string source_path = text::to_utf8(source);
  struct stat source_info {};
  if (::stat(source_path.c_str(), &source_info) != 0) return false;
  const bool block_source = S_ISBLK(source_info.st_mode);
  if (!block_source && !S_ISREG(source_info.st_mode)) return false;
  const FileId image{source_info.st_dev, source_info.st_ino};
  // The destination may not exist yet: its nearest existing folder decides.
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(text::to_utf8(destination)), error);
  struct stat info {};
  for (int depth = 0; depth < 4096 && ::stat(folder.c_str(), &info) != 0; ++depth) {
    if (!folder.has_relative_path()) return false;
    folder = folder.parent_path();
  }

  // The devices the destination's file system lives on: its own device
  // number, or, for a FUSE mount, the device or file its mount names.
  std::vector<dev_t> devices{info.st_dev};
  for (const MountLine& mount : mounts_of(info.st_dev)) {
    struct stat from {};
    if (::stat(mount.source.c_str(), &from) == 0) {
      if (S_ISBLK(from.st_mode)) devices.push_back(from.st_rdev);
      if (!block_source && S_ISREG(from.st_mode) && FileId{from.st_dev, from.st_ino} == image) return true;
    } else if (!block_source && mount.type.starts_with("fuse") && fuse_process_serves(mount.mount_point, image)) {
      return true;
    }
  }
  for (const dev_t device : devices) {
    for (const dev_t under : underlying_devices(device)) {
      if (block_source) {
        const dev_t scanned = source_info.st_rdev;
        if (under == scanned || whole_disk_of(scanned) == under) return true;
      } else if (loop_backing_file(under) == image) {
        return true;  // a loop device of the scanned image
      }
    }
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
