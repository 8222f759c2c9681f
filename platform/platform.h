// The thin operating-system layer: raw volumes and image files opened
// read-only, output files, large anonymous buffers, debugger output and the
// ANSI code page. One implementation file per OS (*_win32.cpp, *_posix.cpp);
// nothing above this layer includes an OS header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace salvor::platform {

// A volume device or an image file, opened for reading only. Every read
// names its absolute byte offset; nothing depends on a file position, so
// one open volume can serve several readers.
class RawVolume {
 public:
  RawVolume();
  RawVolume(const RawVolume&) = delete;
  RawVolume& operator=(const RawVolume&) = delete;
  ~RawVolume();

  // Opens `path` read-only, sharing read and write with others ("\\.\E:" on
  // Windows, or a device or image path). Replaces a volume already open.
  // Only a regular file or a block device (Windows: a disk, volume or file)
  // is a volume: anything else (a FIFO, a terminal, a socket, a folder) is
  // refused before any read, and opening it never waits (POSIX: opened
  // non-blocking, checked, then made blocking). error() tells why it failed.
  bool open(std::u16string_view path);
  void close();
  bool is_open() const;
  const std::u16string& error() const { return error_; }

  // Reads through the volume `other` has open, without opening anything
  // (its window too): both stay usable, and the system handle closes with
  // the last of them.
  void share(const RawVolume& other);
  // The system handle (a file descriptor; a HANDLE on Windows), for adopt()
  // in another module of this process; -1 when nothing is open or when reads
  // go through a disk-image library (E01, VHD, VMDK, a split image), whose
  // bytes the handle does not give. The window (set_window) is not part of
  // it.
  intptr_t native_handle() const;
  // Takes a duplicate of a handle that native_handle() gave in this process
  // (the same open volume, not a new open of its path), checked as open()
  // checks. Replaces a volume already open.
  bool adopt(intptr_t native_handle);

  // Reads exactly buffer.size() bytes at `offset`; false when any of them
  // cannot be read (I/O error, or past the end of the volume).
  bool read_at(uint64_t offset, std::span<std::byte> buffer) const;
  // Reads up to buffer.size() bytes at `offset` and returns how many were
  // read before the end of the volume; nothing on an I/O error.
  std::optional<size_t> read_some_at(uint64_t offset, std::span<std::byte> buffer) const;

  // Size in bytes, when the OS can tell it.
  std::optional<uint64_t> size_bytes() const;

  // Narrows the volume to the `length_bytes` bytes at `offset_bytes` of what
  // is open (a partition of a disk): every later read counts its offset from
  // there and reads nothing past the range's end, and size_bytes() is the
  // length. False (and nothing changed) when the range does not lie inside
  // what is open as far as its size is known. A later open() clears it.
  bool set_window(uint64_t offset_bytes, uint64_t length_bytes);

 private:
  // The range of the open volume that reads may touch (see set_window).
  struct Window {
    uint64_t offset_bytes = 0;
    std::optional<uint64_t> length_bytes;
  };
  // Moves a read of `buffer` at `offset` into the window and cuts it at
  // the window's end (to nothing when it starts past it).
  void clip_to_window(uint64_t& offset, std::span<std::byte>& buffer) const {
    if (!window_.length_bytes) return;
    const uint64_t left = offset < *window_.length_bytes ? *window_.length_bytes - offset : 0;
    if (buffer.size() > left) buffer = buffer.first(static_cast<size_t>(left));
    offset = left == 0 ? window_.offset_bytes + *window_.length_bytes : offset + window_.offset_bytes;
  }
  std::optional<uint64_t> os_size_bytes() const;
  // Keeps an open system handle when it is a volume (else closes it, with
  // the reason in error_) and makes its reads blocking. `path` is what was
  // opened (empty for an adopted handle): a disk image in a format the
  // platform reads goes through its library (Linux). `raw_device`: reads
  // keep to the device's sector alignment (Windows).
  bool take(intptr_t native_handle, std::u16string_view path, bool raw_device);

  struct Impl;
  std::shared_ptr<const Impl> impl_;
  Window window_;
  std::u16string error_;
};

inline std::optional<uint64_t> RawVolume::size_bytes() const {
  if (window_.length_bytes) return is_open() ? window_.length_bytes : std::nullopt;
  return os_size_bytes();
}

inline bool RawVolume::set_window(uint64_t offset_bytes, uint64_t length_bytes) {
  if (!is_open() || offset_bytes > UINT64_MAX - length_bytes) return false;
  const auto whole = size_bytes();
  if (whole && offset_bytes + length_bytes > *whole) return false;
  window_.offset_bytes += offset_bytes;
  window_.length_bytes = length_bytes;
  return true;
}

// The disk-image format whose signature starts `head` (a file's first 512
// bytes) or `tail` (its last 512): "E01", "VHDX", "VHD", "VMDK"; nothing
// for a raw image. The Linux build reads these as the disk they hold
// (RawVolume::open); the Windows build reads raw images only.
std::optional<std::u16string> DiskImageFormatName(std::span<const std::byte> head, std::span<const std::byte> tail);
inline constexpr bool kReadsDiskImageFormats =
#if defined(_WIN32)
    false;
#else
    true;
#endif

// A new file written from the start (recovered data). Never used on the
// scanned volume.
class OutputFile {
 public:
  OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates `path`, replacing a file that exists; shares read and write.
  bool create(std::u16string_view path);
  // Appends all of `data`; false on any failure.
  bool write(std::span<const std::byte> data);
  // Sets the file's length to exactly `size` bytes.
  bool set_size(uint64_t size);
  bool flush();
  void close();
  bool is_open() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Removes a file; false when it could not be removed.
bool remove_file(std::u16string_view path);

// Creates the folder `path` with every missing parent; true when it exists
// as a folder afterwards.
bool create_directories(std::u16string_view path);
// Size of a regular file, when it exists.
std::optional<uint64_t> file_size(std::u16string_view path);
// True when `destination` (a folder, existing or to be made) lies on the
// volume `source` names. Linux: for a block device, the destination's file
// system is on that device, a partition of it, a device-mapper volume over
// it, or a FUSE mount of it; for an image file, on a loop device of the
// image (a partition of one, or a device-mapper volume over one) or a FUSE
// mount of it (mount source or serving process). Windows: a drive ("E:",
// "\\.\E:"). The folder that holds an image is not on the image.
bool destination_on_source(std::u16string_view source, std::u16string_view destination);

// Ctrl-C: after watch_interrupts(), an interrupt from the terminal no longer
// ends the process; interrupted() tells whether one came.
void watch_interrupts();
bool interrupted();

// A buffer of `size` bytes from anonymous memory mapping (page aligned, zero
// filled), for the large sweep windows.
class AnonymousBuffer {
 public:
  AnonymousBuffer() = default;
  AnonymousBuffer(const AnonymousBuffer&) = delete;
  AnonymousBuffer& operator=(const AnonymousBuffer&) = delete;
  ~AnonymousBuffer();

  // Zero-filled memory of `size` bytes. `populate`: its pages are made now,
  // in one call, instead of one fault at a time as they are first touched
  // (where the system offers it).
  bool allocate(size_t size, bool populate = false);
  std::span<std::byte> bytes() const { return {data_, size_}; }

 private:
  void release();
  std::byte* data_ = nullptr;
  size_t size_ = 0;
  [[maybe_unused]] void* section_ = nullptr;  // Windows section handle
};

// A shared library loaded by path, with exports looked up by name.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary();  // libraries stay loaded: callers may still hold records they made

  bool load(std::u16string_view path);
  void* symbol(const char* name) const;
  bool is_loaded() const { return handle_ != nullptr; }
  // Releases the library now; for one that turned out not to be a component.
  void unload();

 private:
  void* handle_ = nullptr;
};

// Directory of the running executable, without a trailing separator.
std::u16string executable_directory();
// File name of a component library in the executable's directory:
// "Gleaner" becomes "Gleaner.dll" on Windows and "libgleaner.so" elsewhere.
std::u16string library_file_name(std::u16string_view base_name);
inline constexpr char16_t kPathSeparator =
#if defined(_WIN32)
    u'\\';
#else
    u'/';
#endif

// The program's arguments as UTF-16 (Windows: from the wide command line;
// elsewhere: argv decoded as UTF-8).
std::vector<std::u16string> utf16_arguments(int argc, char** argv);
// Makes the console show UTF-8 output (Windows); nothing elsewhere.
void use_utf8_console();
bool stderr_is_terminal();
bool stdout_is_terminal();
// Sets an environment variable of this process (seen by libraries it loads).
void set_environment_variable(const char* name, const char* value);

// Debugger output (OutputDebugStringW on Windows; stderr on other systems
// when the SALVOR_DEBUG environment variable is set).
void debug_output(std::u16string_view text);

// Decodes bytes of the system ANSI code page (Windows: the system's; other
// systems: Windows-1252 unless SALVOR_CODEPAGE names another iconv encoding).
std::u16string ansi_to_utf16(std::span<const std::byte> bytes);
// Decodes bytes of the numbered code page (437, 850, 932...) with the
// system's converter (Windows: MultiByteToWideChar; elsewhere iconv's
// "CP<N>"); nothing when the system does not know the code page.
// Unmappable bytes become U+FFFD.
std::optional<std::u16string> codepage_to_utf16(unsigned code_page, std::span<const std::byte> bytes);

}  // namespace salvor::platform
