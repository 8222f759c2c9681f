// The recovery destination on Windows. Every folder below the destination
// is opened with FILE_FLAG_OPEN_REPARSE_POINT and checked (a real folder,
// no reparse point: no junction or symbolic link is ever entered) and kept
// open without delete sharing for the whole run, so that it cannot be
// renamed or swapped for a junction once checked. Files are created with
// CREATE_NEW; every path goes through the \\?\ prefix, so long paths work.
// Files are flushed on a worker thread while the next one is written.
#include <windows.h>
#include <winioctl.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "common/file_names.h"
#include "platform/destination.h"

namespace salvor::platform {
namespace {

constexpr size_t kNameLimitUnits = 255;

std::wstring wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

DestinationError system_error(DWORD code) {
  DestinationError error;
  error.code = code;
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (buffer) {
    text.assign(buffer, buffer + length);
    LocalFree(buffer);
  }
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
  error.full = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
  if (error.full) text = u"ERROR_DISK_FULL: " + (text.empty() ? std::u16string(u"the disk is full") : text);
  if (text.empty()) {
    const std::wstring number = std::to_wstring(code);
    text = u"Windows error " + std::u16string(number.begin(), number.end());
  }
  error.text = std::move(text);
  return error;
}

DestinationError named_error(std::u16string text) {
  DestinationError error;
  error.text = std::move(text);
  return error;
}

// "\\?\C:\dir" for any path Windows can resolve, so that nothing is cut at
// 260 characters; "\\?\UNC\server\share" for network paths.
std::u16string long_path(std::u16string_view path) {
  const std::wstring input = wide(path);
  if (input.rfind(L"\\\\?\\", 0) == 0) return std::u16string(path);
  DWORD needed = GetFullPathNameW(input.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::u16string(path);
  std::wstring full(needed, L'\0');
  needed = GetFullPathNameW(input.c_str(), needed, full.data(), nullptr);
  full.resize(needed);
  std::u16string out(full.begin(), full.end());
  while (out.size() > 3 && out.back() == u'\\') out.pop_back();
  if (out.rfind(u"\\\\", 0) == 0) return u"\\\\?\\UNC\\" + out.substr(2);
  return u"\\\\?\\" + out;
}

FILETIME to_filetime(uint64_t value) {
  FILETIME out;
  out.dwLowDateTime = static_cast<DWORD>(value);
  out.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return out;
}

class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(other.release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Handle() { reset(); }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Opens `path` as a folder without following a reparse point; nothing
// when it is anything but a real folder (`not_folder` then says so).
Handle open_real_folder(const std::u16string& path, DWORD access, bool& not_folder, DWORD& error) {
  not_folder = false;
  Handle folder(CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder) {
    error = GetLastError();
    return {};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(folder.get(), &info)) {
    error = GetLastError();
    return {};
  }
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    not_folder = true;
    return {};
  }
  return folder;
}

// Flushes finished files and closes them, one after the other, while the
// run writes the next ones.
class Flusher {
 public:
  Flusher() : thread_([this] { work(); }) {}
  ~Flusher() {
    wait();
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void add(HANDLE handle) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(handle);
    }
    wake_.notify_all();
  }
  // Waits for every file handed over; the first failure, if any.
  DestinationError wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
    DestinationError error = error_;
    error_ = {};
    return error;
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
      if (queue_.empty()) return;
      HANDLE handle = queue_.front();
      queue_.pop_front();
      busy_ = true;
      lock.unlock();
      const bool ok = FlushFileBuffers(handle) != 0;
      const DWORD code = ok ? 0 : GetLastError();
      CloseHandle(handle);
      lock.lock();
      busy_ = false;
      if (!ok && !error_) error_ = system_error(code);
      if (queue_.empty()) idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<HANDLE> queue_;
  bool busy_ = false;
  bool quit_ = false;
  DestinationError error_;
  std::thread thread_;
};

class WindowsFile final : public DestinationFile {
 public:
  WindowsFile(Handle file, std::u16string relative, Flusher& flusher)
      : file_(std::move(file)), relative_(std::move(relative)), flusher_(flusher) {}
  ~WindowsFile() override { file_.reset(); }

  const std::u16string& relative_path() const override { return relative_; }

  bool write_at(uint64_t offset, std::span<const std::byte> data) override {
    size_t done = 0;
    while (done < data.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      DWORD put = 0;
      if (!WriteFile(file_.get(), data.data() + done, chunk, &put, &at)) return fail(GetLastError());
      if (put == 0) return fail(ERROR_DISK_FULL);
      done += put;
    }
    return true;
  }

  bool make_sparse() override {
    DWORD returned = 0;
    // A file system without sparse files stores the zeros; that is no failure.
    DeviceIoControl(file_.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    return true;
  }

  bool set_size(uint64_t size_bytes) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size_bytes);
    return SetFileInformationByHandle(file_.get(), FileEndOfFileInfo, &end, sizeof end) || fail(GetLastError());
  }

  bool set_times(const FileTimes& times) override {
    const FILETIME created = to_filetime(times.created);
    const FILETIME modified = to_filetime(times.modified);
    return SetFileTime(file_.get(), times.created ? &created : nullptr, nullptr,
                       times.modified ? &modified : nullptr) ||
           fail(GetLastError());
  }

  std::optional<uint64_t> allocated_bytes() override {
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(file_.get(), FileStandardInfo, &info, sizeof info)) return std::nullopt;
    return static_cast<uint64_t>(info.AllocationSize.QuadPart);
  }

  bool finish() override {
    flusher_.add(file_.release());
    return true;
  }

  void discard() override {
    if (!file_) return;
    // Through the handle: exactly the file that was created goes.
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    SetFileInformationByHandle(file_.get(), FileDispositionInfo, &dispose, sizeof dispose);
    file_.reset();
  }

  const DestinationError& error() const override { return error_; }

 private:
  bool fail(DWORD code) {
    error_ = system_error(code);
    return false;
  }

  Handle file_;
  std::u16string relative_;
  Flusher& flusher_;
  DestinationError error_;
};

class WindowsDestination final : public Destination {
 public:
  WindowsDestination(Handle root, std::u16string root_path) : root_path_(std::move(root_path)) {
    root_.handle = std::move(root);
    root_.path = root_path_;
  }

  std::unique_ptr<DestinationFile> create_file(std::span<const std::u16string> folders,
                                               std::u16string_view name) override {
    error_ = {};
    const Folder* folder = open_folder(folders);
    if (!folder) return nullptr;
    for (unsigned number = 0; number <= kMaxNameNumber; ++number) {
      const std::u16string candidate = names::FittedName(name, number, kNameLimitUnits, names::NameUnits::kUtf16Units);
      const std::u16string path = folder->path + u"\\" + candidate;
      Handle file(CreateFileW(wide(path).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES | DELETE,
                              FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      if (!file) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) continue;
        // A folder of that name answers "access denied".
        if (code == ERROR_ACCESS_DENIED && GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        error_ = system_error(code);
        return nullptr;
      }
      std::u16string relative = folder->relative;
      if (!relative.empty()) relative += u'/';
      return std::make_unique<WindowsFile>(std::move(file), relative + candidate, flusher_);
    }
    error_ = named_error(u"no free name for " + std::u16string(name));
    return nullptr;
  }

  std::optional<uint64_t> free_bytes() override {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(wide(root_path_ + u"\\").c_str(), &available, nullptr, nullptr)) return std::nullopt;
    return static_cast<uint64_t>(available.QuadPart);
  }

  bool supports_holes() override {
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(root_.handle.get(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
      return false;
    }
    return (flags & FILE_SUPPORTS_SPARSE_FILES) != 0;
  }

  bool set_folder_times(std::span<const std::u16string> folders, const FileTimes& times) override {
    if (folders.empty() || (times.modified == 0 && times.created == 0)) return true;
    const auto known = folders_.find(key_of(folders));
    if (known == folders_.end() || !known->second.created) return true;
    bool not_folder = false;
    DWORD code = 0;
    Handle folder = open_real_folder(known->second.path, FILE_WRITE_ATTRIBUTES, not_folder, code);
    if (!folder) {
      error_ = not_folder ? named_error(u"a folder of the run was replaced") : system_error(code);
      return false;
    }
    const FILETIME created = to_filetime(times.created);
    const FILETIME modified = to_filetime(times.modified);
    if (!SetFileTime(folder.get(), times.created ? &created : nullptr, nullptr, times.modified ? &modified : nullptr)) {
      error_ = system_error(GetLastError());
      return false;
    }
    return true;
  }

  bool sync() override {
    const DestinationError error = flusher_.wait();
    if (error) {
      error_ = error;
      return false;
    }
    return true;
  }

  const DestinationError& error() const override { return error_; }

 private:
  struct Folder {
    Handle handle;          // held for the run: the folder cannot be renamed or replaced
    std::u16string path;    // \\?\ path
    std::u16string relative;
    bool created = false;
  };

  static std::u16string key_of(std::span<const std::u16string> folders) {
    std::u16string key;
    for (const auto& part : folders) {
      key += part;
      key += u'\0';
    }
    return key;
  }

  const Folder* open_folder(std::span<const std::u16string> folders) {
    const Folder* current = &root_;
    for (size_t i = 0; i < folders.size(); ++i) {
      const std::u16string key = key_of(folders.first(i + 1));
      auto known = folders_.find(key);
      if (known == folders_.end()) {
        Folder resolved;
        if (!resolve_component(*current, folders[i], resolved)) return nullptr;
        known = folders_.emplace(key, std::move(resolved)).first;
      }
      current = &known->second;
    }
    return current;
  }

  bool resolve_component(const Folder& parent, const std::u16string& name, Folder& resolved) {
    for (unsigned number = 0, retries = 0; number <= kMaxNameNumber; ++number) {
      const std::u16string candidate = names::FittedName(name, number, kNameLimitUnits, names::NameUnits::kUtf16Units);
      const std::u16string path = parent.path + u"\\" + candidate;
      bool not_folder = false;
      DWORD code = 0;
      Handle folder = open_real_folder(path, FILE_READ_ATTRIBUTES, not_folder, code);
      bool created = false;
      if (!folder && !not_folder && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)) {
        if (!CreateDirectoryW(wide(path).c_str(), nullptr)) {
          code = GetLastError();
          if (code == ERROR_ALREADY_EXISTS && ++retries < 16) {
            --number;
            continue;
          }
          error_ = system_error(code);
          return false;
        }
        created = true;
        folder = open_real_folder(path, FILE_READ_ATTRIBUTES, not_folder, code);
      }
      if (folder) {
        resolved.handle = std::move(folder);
        resolved.path = path;
        resolved.relative = parent.relative.empty() ? candidate : parent.relative + u"/" + candidate;
        resolved.created = created;
        return true;
      }
      if (not_folder) continue;  // a file, a junction or a link: the next number
      error_ = system_error(code);
      return false;
    }
    error_ = named_error(u"no free name for the folder " + name);
    return false;
  }

  std::u16string root_path_;
  Folder root_;
  std::map<std::u16string, Folder> folders_;
  Flusher flusher_;
  DestinationError error_;
};

}  // namespace

bool can_set_creation_time() { return true; }

std::unique_ptr<Destination> OpenDestination(std::u16string_view root, const DestinationOptions& options,
                                             DestinationError& error) {
  const std::u16string path = long_path(root);
  // The destination itself is the user's choice: it and its missing
  // parents are made as named.
  for (size_t at = path.find(u'\\', 7); options.create_root; at = path.find(u'\\', at + 1)) {
    const std::u16string prefix = at == std::u16string::npos ? path : path.substr(0, at);
    CreateDirectoryW(wide(prefix).c_str(), nullptr);
    if (at == std::u16string::npos) break;
  }
  Handle handle(CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) {
    error = system_error(GetLastError());
    return nullptr;
  }
  auto destination = std::make_unique<WindowsDestination>(std::move(handle), path);
  return destination;
}

}  // namespace salvor::platform
