// Decoding of NTFS boot sectors, records, attributes, names and run lists.
#include "engine/ntfs/ntfs_record.h"

#include <bit>
#include <limits>

namespace salvor::engine::ntfs {

uint32_t RecordSizeFromCode(uint32_t code, uint32_t cluster_size_bytes) {
  const uint32_t v = code & 0xFF;
  uint64_t bytes = 0;
  if (v == 0) return 0;
  if (v < boot::kNegativeSizeCode) {
    bytes = static_cast<uint64_t>(v) * cluster_size_bytes;
  } else {
    const uint32_t shift = 256 - v;
    if (shift > 16) return 0;
    bytes = uint64_t{1} << shift;
  }
  if (bytes < boot::kMinRecordBytes || bytes > boot::kMaxRecordBytes || !std::has_single_bit(bytes)) return 0;
  return static_cast<uint32_t>(bytes);
}

bool IsSoundRecordSize(uint32_t bytes) {
  return bytes >= 1024 && bytes <= boot::kMaxRecordBytes && std::has_single_bit(bytes);
}

std::optional<NtfsGeometry> ParseBootSector(Bytes boot) {
  ByteReader reader(boot);
  NtfsGeometry g;
  g.bytes_per_sector = reader.u16(boot::kBytesPerSector);
  const uint32_t spc_code = reader.u8(boot::kSectorsPerCluster);
  const uint64_t total_sectors = reader.u64(boot::kTotalSectors);
  g.mft_cluster = reader.u64(boot::kMftCluster);
  const uint32_t file_code = reader.u32(boot::kClustersPerFileRecord);
  const uint32_t index_code = reader.u32(boot::kClustersPerIndexRecord);
  if (!reader.ok()) return std::nullopt;
  if (g.bytes_per_sector < 256 || g.bytes_per_sector > 4096 || !std::has_single_bit(g.bytes_per_sector)) {
    return std::nullopt;
  }
  uint64_t sectors_per_cluster = 0;
  if (spc_code == 0) return std::nullopt;
  if (spc_code < 128) {
    sectors_per_cluster = spc_code;
  } else {
    const uint32_t shift = 256 - spc_code;
    if (shift > 16) return std::nullopt;
    sectors_per_cluster = uint64_t{1} << shift;
  }
  if (!std::has_single_bit(sectors_per_cluster)) return std::nullopt;
  const uint64_t cluster_bytes = sectors_per_cluster * g.bytes_per_sector;
  if (cluster_bytes > boot::kMaxClusterBytes) return std::nullopt;
  g.cluster_size_bytes = static_cast<uint32_t>(cluster_bytes);
  g.file_record_bytes = RecordSizeFromCode(file_code, g.cluster_size_bytes);
  g.index_record_bytes = RecordSizeFromCode(index_code, g.cluster_size_bytes);
  if (g.file_record_bytes == 0 || g.index_record_bytes == 0) return std::nullopt;
  if (total_sectors > std::numeric_limits<uint64_t>::max() / g.bytes_per_sector) return std::nullopt;
  g.volume_size_bytes = total_sectors * g.bytes_per_sector;
  // The boot sector counts one sector less than the volume (the backup boot
  // sector); a cluster count rounded up keeps the last cluster addressable.
  g.total_clusters = (g.volume_size_bytes + g.bytes_per_sector + cluster_bytes - 1) / cluster_bytes;
  if (g.mft_cluster >= g.total_clusters) return std::nullopt;
  return g;
}

FixupResult ApplyFixup(MutableBytes record) {
  ByteReader reader(record);
  const uint16_t usa_offset = reader.u16(record::kUsaOffset);
  const uint16_t usa_count = reader.u16(record::kUsaCount);
  if (!reader.ok() || usa_count == 0) return FixupResult::kBadHeader;
  const uint64_t stretches = record.size() / kFixupStrideBytes;
  // The array must fit the record and name no stretch the record lacks.
  if (usa_count - 1u > stretches || !slice(record, usa_offset, uint64_t{2} * usa_count)) {
    return FixupResult::kBadHeader;
  }
  const uint16_t check = reader.u16(usa_offset);
  bool mismatch = false;
  for (uint32_t i = 1; i < usa_count; ++i) {
    const size_t tail = static_cast<size_t>(i) * kFixupStrideBytes - 2;
    if (reader.u16(tail) != check) {
      mismatch = true;
      continue;
    }
    record[tail] = record[usa_offset + 2 * i];
    record[tail + 1] = record[usa_offset + 2 * i + 1];
  }
  return mismatch ? FixupResult::kMismatch : FixupResult::kApplied;
}

std::optional<Attribute> FindAttribute(Bytes record, uint32_t type, bool unnamed_only) {
  std::optional<Attribute> found;
  ForEachAttribute(record, [&](const Attribute& a) {
    if (a.type == type && (!unnamed_only || a.name_length == 0)) {
      found = a;
      return false;
    }
    return true;
  });
  return found;
}

std::optional<Bytes> ResidentValue(const Attribute& attribute) {
  if (attribute.non_resident) return std::nullopt;
  ByteReader reader(attribute.bytes);
  const uint32_t length = reader.u32(attr::kValueLength);
  const uint16_t offset = reader.u16(attr::kValueOffset);
  if (!reader.ok()) return std::nullopt;
  return slice(attribute.bytes, offset, length);
}

std::optional<NonResidentInfo> NonResident(const Attribute& attribute) {
  if (!attribute.non_resident) return std::nullopt;
  ByteReader reader(attribute.bytes);
  NonResidentInfo info;
  info.first_vcn = reader.u64(attr::kFirstVcn);
  info.last_vcn = reader.u64(attr::kLastVcn);
  const uint16_t runs_offset = reader.u16(attr::kRunListOffset);
  info.allocated_size = reader.u64(attr::kAllocatedSize);
  info.data_size = reader.u64(attr::kDataSize);
  if (!reader.ok() || runs_offset > attribute.bytes.size()) return std::nullopt;
  info.run_list = attribute.bytes.subspan(runs_offset);
  return info;
}

uint64_t DataSizeOf(const Attribute& attribute) {
  if (attribute.non_resident) {
    auto info = NonResident(attribute);
    return info ? info->data_size : 0;
  }
  ByteReader reader(attribute.bytes);
  return reader.u32(attr::kValueLength);
}

std::optional<FileName> ParseFileName(Bytes value) {
  ByteReader reader(value);
  FileName name;
  name.parent = reader.u64(file_name::kParent) & kRecordNumberMask;
  name.modified_time = reader.u64(file_name::kModified);
  name.changed_time = reader.u64(file_name::kRecordChanged);
  name.data_size = reader.u64(file_name::kDataSize);
  name.file_attributes = reader.u32(file_name::kFileAttributes);
  const uint8_t length = reader.u8(file_name::kNameLength);
  name.name_space = reader.u8(file_name::kNamespace);
  if (!reader.ok()) return std::nullopt;
  auto text = slice(value, file_name::kName, uint64_t{2} * length);
  if (!text) return std::nullopt;
  ByteReader chars(*text);
  name.name.resize(length);
  for (size_t i = 0; i < length; ++i) name.name[i] = static_cast<char16_t>(chars.u16(2 * i));
  return name;
}

std::optional<FileName> FindLongName(Bytes record) {
  std::optional<FileName> found;
  ForEachAttribute(record, [&](const Attribute& a) {
    if (a.type != attr::kFileName || a.non_resident) return true;
    auto value = ResidentValue(a);
    if (!value) return true;
    auto name = ParseFileName(*value);
    if (name && name->is_long_name()) {
      found = std::move(name);
      return false;
    }
    return true;
  });
  return found;
}

std::optional<uint64_t> StandardInfoModifiedTime(Bytes record) {
  auto info = FindAttribute(record, attr::kStandardInformation);
  if (!info) return std::nullopt;
  auto value = ResidentValue(*info);
  if (!value) return std::nullopt;
  ByteReader reader(*value);
  const uint64_t modified = reader.u64(std_info::kModified);
  if (!reader.ok()) return std::nullopt;
  return modified;
}

uint64_t ModifiedTime(Bytes record, const FileName& name) {
  return StandardInfoModifiedTime(record).value_or(name.modified_time);
}

std::optional<RunFields> DecodeRun(Bytes run) {
  if (run.empty()) return std::nullopt;
  const uint8_t header = std::to_integer<uint8_t>(run[0]);
  const size_t length_bytes = header & 0x0F;
  const size_t offset_bytes = header >> 4;
  if (length_bytes == 0 || length_bytes > 8 || offset_bytes > 8) return std::nullopt;
  if (run.size() < 1 + length_bytes + offset_bytes) return std::nullopt;
  RunFields fields;
  for (size_t i = 0; i < length_bytes; ++i) {
    fields.length |= static_cast<uint64_t>(std::to_integer<uint8_t>(run[1 + i])) << (8 * i);
  }
  uint64_t offset = 0;
  for (size_t i = 0; i < offset_bytes; ++i) {
    offset |= static_cast<uint64_t>(std::to_integer<uint8_t>(run[1 + length_bytes + i])) << (8 * i);
  }
  if (offset_bytes > 0 && offset_bytes < 8 && (std::to_integer<uint8_t>(run[length_bytes + offset_bytes]) & 0x80)) {
    offset |= ~uint64_t{0} << (8 * offset_bytes);  // sign extension
  }
  fields.offset = static_cast<int64_t>(offset);
  fields.has_offset = offset_bytes > 0;
  fields.encoded_bytes = 1 + length_bytes + offset_bytes;
  return fields;
}

std::optional<std::vector<DataRun>> DecodeRuns(Bytes run_list, uint64_t first_vcn, uint64_t total_clusters,
                                               uint32_t cluster_size_bytes) {
  if (total_clusters == 0 || cluster_size_bytes == 0) return std::nullopt;
  // The VCN just past the last run may not exceed this: every byte offset
  // into the stream then fits 63 bits.
  const uint64_t max_vcn_end = kMaxStreamBytes / cluster_size_bytes;
  if (first_vcn > max_vcn_end) return std::nullopt;
  std::vector<DataRun> runs;
  uint64_t vcn = first_vcn;
  uint64_t clusters_on_disk = 0;
  int64_t lcn = 0;
  size_t at = 0;
  // Every run takes at least two bytes, so the list's size bounds the loop.
  while (true) {
    if (at >= run_list.size()) return std::nullopt;  // no end mark
    if (std::to_integer<uint8_t>(run_list[at]) == 0) break;
    auto fields = DecodeRun(run_list.subspan(at));
    if (!fields || fields->length == 0) return std::nullopt;
    if (fields->length > max_vcn_end - vcn) return std::nullopt;
    DataRun run;
    run.first_vcn = vcn;
    run.length = fields->length;
    if (fields->has_offset && fields->offset != 0) {
      // Overflow-safe: lcn stays within the volume, so it is far from the
      // int64 limits, but the offset may be anything.
      if ((fields->offset > 0 && lcn > std::numeric_limits<int64_t>::max() - fields->offset) ||
          (fields->offset < 0 && lcn < std::numeric_limits<int64_t>::min() - fields->offset)) {
        return std::nullopt;
      }
      lcn += fields->offset;
      if (lcn < 0) return std::nullopt;
      run.lcn = static_cast<uint64_t>(lcn);
      if (run.lcn >= total_clusters || run.length > total_clusters - run.lcn) return std::nullopt;
      // One stream cannot own more clusters than the volume has, however its
      // runs repeat one another.
      if (run.length > total_clusters - clusters_on_disk) return std::nullopt;
      clusters_on_disk += run.length;
    } else {
      run.sparse = true;
    }
    runs.push_back(run);
    vcn += fields->length;
    at += fields->encoded_bytes;
  }
  return runs;
}

std::optional<MappedVcn> MapVcn(const std::vector<DataRun>& runs, uint64_t vcn) {
  for (const DataRun& run : runs) {
    if (vcn >= run.first_vcn && vcn - run.first_vcn < run.length) {
      const uint64_t into = vcn - run.first_vcn;
      MappedVcn mapped;
      mapped.sparse = run.sparse;
      mapped.lcn = run.sparse ? 0 : run.lcn + into;
      mapped.clusters_left = run.length - into;
      return mapped;
    }
  }
  return std::nullopt;
}

bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool IsReportableName(std::u16string_view name) {
  if (name.empty()) return false;
  if (name == u".") return false;
  if (name[0] != u'$') return true;
  static constexpr std::u16string_view kSystemNames[] = {
      u"$MFTMirr", u"$MFT",    u"$LogFile", u"$Volume", u"$Attrdef", u"$Bitmap", u"$Boot",
      u"$BadClus", u"$Secure", u"$UpCase",  u"$Extend", u"$Quota",   u"$ObjId",  u"$Reparse"};
  for (std::u16string_view system : kSystemNames) {
    if (name.size() >= system.size() && EqualIgnoringAsciiCase(name.substr(0, system.size()), system)) return false;
  }
  return true;
}

}  // namespace salvor::engine::ntfs
