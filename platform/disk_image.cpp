// Signatures of the disk-image formats, shared by every OS.
#include <cstring>

#include "platform/disk_image.h"

namespace salvor::platform {
namespace {

bool starts_with(std::span<const std::byte> data, const void* text, size_t length) {
  return data.size() >= length && std::memcmp(data.data(), text, length) == 0;
}

}  // namespace

std::optional<std::u16string> DiskImageFormatName(std::span<const std::byte> head, std::span<const std::byte> tail) {
  // EWF segment files start "EVF" 09 0D 0A FF 00.
  if (starts_with(head, "EVF\x09\x0D\x0A\xFF\x00", 8)) return u"E01";
  if (starts_with(head, "vhdxfile", 8)) return u"VHDX";
  // A VHD ends in its footer (a dynamic one starts with a copy of it too).
  if (starts_with(head, "conectix", 8) || starts_with(tail, "conectix", 8)) return u"VHD";
  // A sparse VMDK extent starts "KDMV"; a descriptor file with this line.
  if (starts_with(head, "KDMV", 4) || starts_with(head, "# Disk DescriptorFile", 21)) return u"VMDK";
  return std::nullopt;
}

}  // namespace salvor::platform
