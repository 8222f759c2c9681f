// Windows implementation of the platform layer.
//
// Raw volume handles demand sector-aligned offsets, lengths and buffers, so
// their reads go through ReadAligned (platform/aligned_read.h). Image files
// opened the same way have no such demand.
#include <windows.h>
#include <shellapi.h>
#include <io.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/aligned_read.h"
#include "platform/platform.h"

namespace salvor::platform {
namespace {

const wchar_t* wide(std::u16string_view text, std::wstring& storage) {
  storage.assign(text.begin(), text.end());
  return storage.c_str();
}

bool is_device_path(std::u16string_view path) {
  return path.size() >= 4 && path.substr(0, 4) == u"\\\\.\\";
}

std::u16string ascii_number(uint64_t value) {
  std::u16string out;
  do {
    out.insert(out.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  return out;
}

std::optional<uint64_t> query_length(HANDLE handle) {
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                      nullptr)) {
    return static_cast<uint64_t>(length.Length.QuadPart);
  }
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handle, &size)) return static_cast<uint64_t>(size.QuadPart);
  return std::nullopt;
}

// The unit that reads on a volume handle must keep to.
uint32_t query_sector_size(HANDLE handle, std::optional<uint64_t> volume_size) {
  DISK_GEOMETRY geometry{};
  DWORD returned = 0;
  if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                      &returned, nullptr) &&
      geometry.BytesPerSector >= 512 && geometry.BytesPerSector <= 65536 &&
      (geometry.BytesPerSector & (geometry.BytesPerSector - 1)) == 0) {
    return geometry.BytesPerSector;
  }
  // Unknown (Wine answers no disk queries): 4096 is a multiple of every
  // sector size in use, but the volume must hold whole units of it, or its
  // last sectors could not be read; step down to what its size allows.
  uint32_t unit = 4096;
  while (volume_size && unit > 512 && *volume_size % unit != 0) unit /= 2;
  return unit;
}

// One ReadFile at an absolute offset; returns the bytes read or -1.
int64_t read_once(HANDLE handle, uint64_t offset, std::byte* buffer, DWORD length) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(handle, buffer, length, &got, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return got;
}

}  // namespace

struct RawVolume::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
  AlignedReadLimits limits;  // alignment 1 and no size for image files

  explicit Impl(HANDLE h) : handle(h) {}
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() { CloseHandle(handle); }

  // Reads [offset, offset + length); returns the bytes read before the end,
  // or -1.
  int64_t read_direct(uint64_t offset, std::byte* buffer, size_t length) const {
    size_t done = 0;
    while (done < length) {
      // 1 GiB pieces keep every piece a whole number of sectors.
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
      const int64_t got = read_once(handle, offset + done, buffer + done, chunk);
      if (got < 0) return -1;
      if (got == 0) break;
      done += static_cast<size_t>(got);
      if (static_cast<DWORD>(got) < chunk) break;
    }
    return static_cast<int64_t>(done);
  }

  // A disk, volume or file is a volume; a pipe, a console or a serial port
  // is not.
  bool is_volume() const { return GetFileType(handle) == FILE_TYPE_DISK; }

  // Raw devices demand sector-aligned reads; files do not.
  void set_device_limits() {
    // A volume of no bytes is a size query that did not work: read on
    // without a limit rather than refuse everything.
    limits.volume_size = query_length(handle);
    if (limits.volume_size == uint64_t{0}) limits.volume_size.reset();
    limits.alignment = query_sector_size(handle, limits.volume_size);
  }
};

RawVolume::RawVolume() = default;
RawVolume::~RawVolume() { close(); }

bool RawVolume::take(intptr_t native_handle, std::u16string_view, bool raw_device) {
  auto impl = std::make_shared<Impl>(reinterpret_cast<HANDLE>(native_handle));
  if (!impl->is_volume()) {
    error_ = u"not a disk image, volume or drive";
    return false;
  }
  if (raw_device) impl->set_device_limits();
  impl_ = std::move(impl);
  return true;
}

bool RawVolume::open(std::u16string_view path) {
  close();
  std::wstring storage;
  HANDLE handle = CreateFileW(wide(path, storage), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = u"cannot be opened (error " + ascii_number(GetLastError()) + u")";
    return false;
  }
  return take(reinterpret_cast<intptr_t>(handle), path, is_device_path(path));
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

intptr_t RawVolume::native_handle() const {
  return impl_ ? reinterpret_cast<intptr_t>(impl_->handle) : -1;
}

bool RawVolume::adopt(intptr_t native_handle) {
  close();
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (native_handle == -1 || !DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(native_handle),
                                              GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    error_ = u"no open volume";
    return false;
  }
  // Only a device answers the disk length query (files have none): it gets
  // the device's read limits.
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  const bool raw_device =
      DeviceIoControl(copy, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned, nullptr);
  return take(reinterpret_cast<intptr_t>(copy), {}, raw_device);
}

std::optional<size_t> RawVolume::read_some_at(uint64_t offset, std::span<std::byte> buffer) const {
  clip_to_window(offset, buffer);
  if (!is_open()) return std::nullopt;
  const Impl& impl = *impl_;
  return ReadAligned(impl.limits, offset, buffer, [&impl](uint64_t at, std::byte* into, size_t length) {
    return impl.read_direct(at, into, length);
  });
}

bool RawVolume::read_at(uint64_t offset, std::span<std::byte> buffer) const {
  const auto got = read_some_at(offset, buffer);
  return got && *got == buffer.size();
}

std::optional<uint64_t> RawVolume::os_size_bytes() const {
  if (!is_open()) return std::nullopt;
  return query_length(impl_->handle);
}

struct OutputFile::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { close(); }

bool OutputFile::create(std::u16string_view path) {
  close();
  std::wstring storage;
  HANDLE handle = CreateFileW(wide(path, storage), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  impl_ = std::make_unique<Impl>();
  impl_->handle = handle;
  return true;
}

bool OutputFile::write(std::span<const std::byte> data) {
  if (!is_open()) return false;
  size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(impl_->handle, data.data() + done, chunk, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

bool OutputFile::set_size(uint64_t size) {
  if (!is_open()) return false;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(impl_->handle, at, nullptr, FILE_BEGIN) && SetEndOfFile(impl_->handle);
}

bool OutputFile::flush() { return is_open() && FlushFileBuffers(impl_->handle); }

void OutputFile::close() {
  if (impl_ && impl_->handle != INVALID_HANDLE_VALUE) CloseHandle(impl_->handle);
  impl_.reset();
}

bool OutputFile::is_open() const { return impl_ && impl_->handle != INVALID_HANDLE_VALUE; }

bool remove_file(std::u16string_view path) {
  std::wstring storage;
  return DeleteFileW(wide(path, storage)) != 0;
}

AnonymousBuffer::~AnonymousBuffer() { release(); }

bool AnonymousBuffer::allocate(size_t size, bool /*populate*/) {
  release();
  if (size == 0) return false;
  const uint64_t wide_size = size;
  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                      static_cast<DWORD>(wide_size >> 32), static_cast<DWORD>(wide_size), nullptr);
  if (!section) return false;
  void* view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, size);
  if (!view) {
    CloseHandle(section);
    return false;
  }
  section_ = section;
  data_ = static_cast<std::byte*>(view);
  size_ = size;
  return true;
}

void AnonymousBuffer::release() {
  if (data_) UnmapViewOfFile(data_);
  if (section_) CloseHandle(static_cast<HANDLE>(section_));
  data_ = nullptr;
  section_ = nullptr;
  size_ = 0;
}

SharedLibrary::~SharedLibrary() = default;

bool SharedLibrary::load(std::u16string_view path) {
  std::wstring storage;
  handle_ = LoadLibraryW(wide(path, storage));
  return handle_ != nullptr;
}

void* SharedLibrary::symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void SharedLibrary::unload() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

std::u16string executable_directory() {
  std::wstring buffer(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return u".";
  buffer.resize(length);
  const size_t slash = buffer.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return u".";
  return std::u16string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(slash));
}

std::u16string library_file_name(std::u16string_view base_name) { return std::u16string(base_name) + u".dll"; }

std::vector<std::u16string> utf16_arguments(int, char**) {
  std::vector<std::u16string> arguments;
  int count = 0;
  wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!list) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(list[i], list[i] + wcslen(list[i]));
  LocalFree(list);
  return arguments;
}

void use_utf8_console() { SetConsoleOutputCP(CP_UTF8); }

bool stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }
bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

void set_environment_variable(const char* name, const char* value) { _putenv_s(name, value); }

void debug_output(std::u16string_view message) {
  std::wstring storage;
  OutputDebugStringW(wide(message, storage));
}

namespace {

std::u16string multibyte_to_utf16(UINT code_page, std::span<const std::byte> bytes) {
  if (bytes.empty()) return {};
  const auto* input = reinterpret_cast<const char*>(bytes.data());
  const int count = MultiByteToWideChar(code_page, 0, input, static_cast<int>(bytes.size()), nullptr, 0);
  if (count <= 0) return {};
  std::wstring out(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(code_page, 0, input, static_cast<int>(bytes.size()), out.data(), count);
  return std::u16string(out.begin(), out.end());
}

}  // namespace

std::u16string ansi_to_utf16(std::span<const std::byte> bytes) { return multibyte_to_utf16(CP_ACP, bytes); }

std::optional<std::u16string> codepage_to_utf16(unsigned code_page, std::span<const std::byte> bytes) {
  if (!IsValidCodePage(code_page)) return std::nullopt;
  return multibyte_to_utf16(code_page, bytes);
}


bool create_directories(std::u16string_view path) {
  std::wstring storage;
  const std::wstring folder(wide(path, storage));
  // Each missing level in turn, from the top; CreateDirectoryW makes one.
  for (size_t at = 0; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != L'\\' && folder[at] != L'/') continue;
    const std::wstring prefix = folder.substr(0, at);
    if (prefix.empty() || (prefix.size() == 2 && prefix[1] == L':')) continue;
    const DWORD attributes = GetFileAttributesW(prefix.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(prefix.c_str(), nullptr);
  }
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<uint64_t> file_size(std::u16string_view path) {
  std::wstring storage;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide(path, storage), GetFileExInfoStandard, &data)) return std::nullopt;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {

// The drive letter a source names ("E:", "E:\", "\\.\E:"), upper-cased; 0
// for anything else (an image file).
wchar_t source_drive_letter(std::u16string_view source) {
  if (is_device_path(source)) source.remove_prefix(4);
  if (source.size() < 2 || source[1] != u':' || (source.size() > 2 && !(source.size() == 3 && source[2] == u'\\'))) {
    return 0;
  }
  const wchar_t letter = static_cast<wchar_t>(source[0]);
  if (letter >= L'a' && letter <= L'z') return static_cast<wchar_t>(letter - L'a' + L'A');
  return (letter >= L'A' && letter <= L'Z') ? letter : 0;
}

}  // namespace

bool destination_on_source(std::u16string_view source, std::u16string_view destination) {
  const wchar_t letter = source_drive_letter(source);
  if (letter == 0) return false;
  std::wstring storage;
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(wide(destination, storage), MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4 || length < 2 || full[1] != L':') return false;
  wchar_t target = full[0];
  if (target >= L'a' && target <= L'z') target = static_cast<wchar_t>(target - L'a' + L'A');
  return target == letter;
}

namespace {
volatile LONG g_interrupted = 0;
BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&g_interrupted, 1);
  return TRUE;
}
}  // namespace

void watch_interrupts() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool interrupted() { return InterlockedCompareExchange(&g_interrupted, 0, 0) != 0; }

}  // namespace salvor::platform
