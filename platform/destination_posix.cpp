// The recovery destination on POSIX: one descriptor of the destination
// folder, and every folder and file below it reached with openat/mkdirat
// and O_NOFOLLOW, so that a link put into the destination (before or during
// the run) is never followed. Files are created with O_CREAT | O_EXCL; a
// name that is taken, by anything, moves on to the next numbered name.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "common/file_names.h"
#include "common/text.h"
#include "platform/destination.h"

namespace salvor::platform {
namespace {

// Linux allows 255 bytes per name; a file system that allows fewer says so
// with ENAMETOOLONG, and the name is cut further.
constexpr size_t kNameLimitBytes = 255;
constexpr size_t kShortestNameLimit = 32;
// File systems that store every byte of a file, holes included.
constexpr long kNoHoleFileSystems[] = {0x4d44 /* vfat */, 0x2011BAB0 /* exfat */, 0x5346544e /* ntfs3 */};

DestinationError system_error(int code) {
  DestinationError error;
  error.code = static_cast<uint32_t>(code);
  error.text = text::from_utf8(std::strerror(code));
  error.full = code == ENOSPC || code == EDQUOT;
  return error;
}

DestinationError named_error(std::u16string text) {
  DestinationError error;
  error.text = std::move(text);
  return error;
}

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Descriptor() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

timespec to_timespec(uint64_t file_time) {
  constexpr int64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 in FILETIME units
  const int64_t since = static_cast<int64_t>(file_time) - kUnixEpoch;
  int64_t seconds = since / 10000000;
  int64_t rest = since % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  timespec out{};
  out.tv_sec = static_cast<time_t>(seconds);
  out.tv_nsec = static_cast<long>(rest * 100);
  return out;
}

std::string native(std::u16string_view name) { return text::to_utf8(name); }

class PosixFile final : public DestinationFile {
 public:
  PosixFile(Descriptor folder, Descriptor file, std::string name, std::u16string relative)
      : folder_(std::move(folder)), file_(std::move(file)), name_(std::move(name)), relative_(std::move(relative)) {
    struct stat info {};
    if (::fstat(file_.get(), &info) == 0) {
      device_ = info.st_dev;
      inode_ = info.st_ino;
    }
  }
  ~PosixFile() override { file_.reset(); }

  const std::u16string& relative_path() const override { return relative_; }

  bool write_at(uint64_t offset, std::span<const std::byte> data) override {
    size_t done = 0;
    while (done < data.size()) {
      if (offset + done > static_cast<uint64_t>(INT64_MAX)) return fail(EFBIG);
      const ssize_t put = ::pwrite(file_.get(), data.data() + done, data.size() - done,
                                   static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return fail(errno);
      }
      if (put == 0) return fail(ENOSPC);
      done += static_cast<size_t>(put);
    }
    return true;
  }

  bool make_sparse() override { return true; }

  bool set_size(uint64_t size_bytes) override {
    if (size_bytes > static_cast<uint64_t>(INT64_MAX)) return fail(EFBIG);
    return ::ftruncate(file_.get(), static_cast<off_t>(size_bytes)) == 0 || fail(errno);
  }

  bool set_times(const FileTimes& times) override {
    if (times.modified == 0) return true;
    const timespec both[2] = {to_timespec(times.modified), to_timespec(times.modified)};
    return ::futimens(file_.get(), both) == 0 || fail(errno);
  }

  std::optional<uint64_t> allocated_bytes() override {
    struct stat info {};
    if (::fstat(file_.get(), &info) != 0) return std::nullopt;
    return static_cast<uint64_t>(info.st_blocks) * 512;
  }

  bool finish() override {
    // Durability comes once per run (Destination::sync); close reports
    // late write errors of some file systems (NFS), so it is checked.
    const int fd = file_.release();
    return ::close(fd) == 0 || fail(errno);
  }

  void discard() override {
    file_.reset();
    // Only the file that was created: a name swapped meanwhile for
    // something else is left alone.
    struct stat info {};
    if (::fstatat(folder_.get(), name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && info.st_dev == device_ &&
        info.st_ino == inode_ && S_ISREG(info.st_mode)) {
      ::unlinkat(folder_.get(), name_.c_str(), 0);
    }
  }

  const DestinationError& error() const override { return error_; }

 private:
  bool fail(int code) {
    error_ = system_error(code);
    return false;
  }

  Descriptor folder_;
  Descriptor file_;
  std::string name_;
  std::u16string relative_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  DestinationError error_;
};

class PosixDestination final : public Destination {
 public:
  PosixDestination(Descriptor root, const DestinationOptions& options) : root_(std::move(root)), options_(options) {}

  std::unique_ptr<DestinationFile> create_file(std::span<const std::u16string> folders,
                                               std::u16string_view name) override {
    error_ = {};
    Descriptor folder = open_folder(folders);
    if (!folder) return nullptr;
    std::u16string relative = relative_folder(folders);
    for (unsigned number = 0; number <= kMaxNameNumber; ++number) {
      const std::u16string candidate = names::FittedName(name, number, name_limit_, names::NameUnits::kUtf8Bytes);
      const std::string bytes = native(candidate);
      const int fd = ::openat(folder.get(), bytes.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              static_cast<mode_t>(options_.file_mode & 07777));
      if (fd < 0) {
        if (errno == EEXIST || errno == EISDIR || errno == ELOOP) continue;
        if (errno == EINTR) {
          --number;
          continue;
        }
        if (errno == ENAMETOOLONG && shorten_names()) {
          --number;
          continue;
        }
        error_ = system_error(errno);
        return nullptr;
      }
      Descriptor file(fd);
      // The mode asked for, whatever the umask takes away.
      if (::fchmod(file.get(), static_cast<mode_t>(options_.file_mode & 07777)) != 0) {
        error_ = system_error(errno);
        ::unlinkat(folder.get(), bytes.c_str(), 0);
        return nullptr;
      }
      if (!relative.empty()) relative += u'/';
      return std::make_unique<PosixFile>(std::move(folder), std::move(file), bytes, relative + candidate);
    }
    error_ = named_error(u"no free name for " + std::u16string(name));
    return nullptr;
  }

  std::optional<uint64_t> free_bytes() override {
    struct statvfs info {};
    if (::fstatvfs(root_.get(), &info) != 0) return std::nullopt;
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  }

  bool supports_holes() override {
    struct statfs info {};
    if (::fstatfs(root_.get(), &info) != 0) return false;
    for (const long type : kNoHoleFileSystems) {
      if (static_cast<long>(info.f_type) == type) return false;
    }
    return true;
  }

  bool set_folder_times(std::span<const std::u16string> folders, const FileTimes& times) override {
    if (folders.empty() || times.modified == 0) return true;
    const auto known = folders_.find(key_of(folders));
    if (known == folders_.end() || !known->second.created) return true;
    Descriptor parent = open_folder(folders.first(folders.size() - 1));
    if (!parent) return false;
    const timespec both[2] = {to_timespec(times.modified), to_timespec(times.modified)};
    if (::utimensat(parent.get(), native(known->second.actual).c_str(), both, AT_SYMLINK_NOFOLLOW) != 0) {
      error_ = system_error(errno);
      return false;
    }
    return true;
  }

  bool sync() override {
    if (::syncfs(root_.get()) != 0) {
      error_ = system_error(errno);
      return false;
    }
    return true;
  }

  const DestinationError& error() const override { return error_; }

 private:
  struct Folder {
    std::u16string actual;  // the name on disk (numbered when the asked one was taken)
    bool created = false;   // made by this run
  };

  static std::u16string key_of(std::span<const std::u16string> folders) {
    std::u16string key;
    for (const auto& part : folders) {
      key += part;
      key += u'\0';
    }
    return key;
  }

  std::u16string relative_folder(std::span<const std::u16string> folders) const {
    std::u16string relative;
    for (size_t i = 1; i <= folders.size(); ++i) {
      if (i > 1) relative += u'/';
      relative += folders_.at(key_of(folders.first(i))).actual;
    }
    return relative;
  }

  bool shorten_names() {
    if (name_limit_ <= kShortestNameLimit) return false;
    name_limit_ = name_limit_ * 3 / 4;
    return true;
  }

  // The folder `folders` below the root, made where missing. Names already
  // resolved in this run are opened again by their name on disk, still
  // without following links: what is there now must be a real folder.
  Descriptor open_folder(std::span<const std::u16string> folders) {
    Descriptor current(::dup(root_.get()));
    if (!current) {
      error_ = system_error(errno);
      return {};
    }
    for (size_t i = 0; i < folders.size(); ++i) {
      const std::u16string key = key_of(folders.first(i + 1));
      auto known = folders_.find(key);
      if (known != folders_.end()) {
        const int fd = ::openat(current.get(), native(known->second.actual).c_str(),
                                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
          current.reset(fd);
          continue;
        }
        folders_.erase(known);  // swapped since: resolved anew
      }
      Folder resolved;
      Descriptor next = resolve_component(current, folders[i], resolved);
      if (!next) return {};
      folders_[key] = resolved;
      current = std::move(next);
    }
    return current;
  }

  // One folder component: an existing real folder of that name is entered;
  // a missing one is made; a name taken by a file, a link or anything else
  // moves on to the next numbered name.
  Descriptor resolve_component(const Descriptor& parent, const std::u16string& name, Folder& resolved) {
    for (unsigned number = 0, retries = 0; number <= kMaxNameNumber; ++number) {
      const std::u16string candidate = names::FittedName(name, number, name_limit_, names::NameUnits::kUtf8Bytes);
      const std::string bytes = native(candidate);
      int fd = ::openat(parent.get(), bytes.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd >= 0) {
        resolved = {candidate, false};
        return Descriptor(fd);
      }
      if (errno == ENOENT) {
        if (::mkdirat(parent.get(), bytes.c_str(), static_cast<mode_t>(options_.folder_mode & 07777)) != 0) {
          if (errno == EEXIST && ++retries < 16) {  // made by someone else meanwhile: look again
            --number;
            continue;
          }
          if (errno == ENAMETOOLONG && shorten_names()) {
            --number;
            continue;
          }
          error_ = system_error(errno);
          return {};
        }
        fd = ::openat(parent.get(), bytes.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;  // swapped between mkdirat and openat: not ours any more
        Descriptor made(fd);
        ::fchmod(made.get(), static_cast<mode_t>(options_.folder_mode & 07777));
        resolved = {candidate, true};
        return made;
      }
      if (errno == ENOTDIR || errno == ELOOP) continue;
      if (errno == ENAMETOOLONG && shorten_names()) {
        --number;
        continue;
      }
      error_ = system_error(errno);
      return {};
    }
    error_ = named_error(u"no free name for the folder " + name);
    return {};
  }

  Descriptor root_;
  DestinationOptions options_;
  size_t name_limit_ = kNameLimitBytes;
  std::map<std::u16string, Folder> folders_;
  DestinationError error_;
};

}  // namespace

bool can_set_creation_time() { return false; }

std::unique_ptr<Destination> OpenDestination(std::u16string_view root, const DestinationOptions& options,
                                             DestinationError& error) {
  const std::string path = native(root);
  // The destination itself is the user's choice: its missing parents are
  // made as named. Everything below it is the run's and is walked safely.
  std::error_code ignored;
  if (options.create_root) std::filesystem::create_directories(std::filesystem::path(path), ignored);
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error = system_error(errno);
    return nullptr;
  }
  return std::make_unique<PosixDestination>(Descriptor(fd), options);
}

}  // namespace salvor::platform
