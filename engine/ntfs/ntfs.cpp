// CNtfs: loading the record layout and the reading primitives (records by
// number, streams through run lists, attribute values, parent paths).
#include "engine/ntfs/ntfs.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace salvor::engine {

using namespace ntfs;

bool CNtfs::LoadRecordLayout() {
  geometry_.reset();
  mft_record_.clear();
  mft_runs_.clear();
  cluster_bitmap_ = {};
  judge_window_ = {};
  auto geometry = ParseBootSector(volume_.boot);
  if (!geometry) return false;
  std::vector<std::byte> record(geometry->file_record_bytes);
  if (!volume_.device.read_at(geometry->cluster_offset_bytes(geometry->mft_cluster), record)) return false;
  ApplyFixup(record);
  auto data = FindAttribute(record, attr::kData, true);
  if (!data || !data->non_resident) return false;
  auto info = NonResident(*data);
  if (!info || info->first_vcn != 0) return false;
  auto runs = DecodeRuns(info->run_list, 0, geometry->total_clusters, geometry->cluster_size_bytes);
  if (!runs || runs->empty()) return false;
  geometry_ = geometry;
  mft_record_ = std::move(record);
  mft_runs_ = std::move(*runs);
  // A large, fragmented $MFT keeps the rest of its run list in extension
  // records, which the first runs are enough to read.
  if (FindAttribute(mft_record_, attr::kAttributeList)) {
    if (auto whole = NonResidentData(mft_record_, kMftRecord); whole && whole->runs.size() > mft_runs_.size()) {
      mft_runs_ = std::move(whole->runs);
    }
  }
  return true;
}

bool CNtfs::ReadStream(const std::vector<DataRun>& runs, uint64_t offset, MutableBytes out, ReadWindow* window) const {
  if (!geometry_) return false;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  size_t done = 0;
  // Each step finishes at least the rest of one run, so the runs bound it.
  while (done < out.size()) {
    const uint64_t at = offset + done;
    if (at < offset) return false;  // wrapped
    auto mapped = MapVcn(runs, at / cluster);
    if (!mapped) return false;
    const uint64_t within = at % cluster;
    // Runs built elsewhere may be longer than 2^64 bytes: a run's bytes from
    // here are counted without wrapping, and every step makes progress.
    const uint64_t available = mapped->clusters_left > UINT64_MAX / cluster
                                   ? UINT64_MAX
                                   : mapped->clusters_left * cluster - within;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(available, out.size() - done));
    if (n == 0) return false;
    auto part = out.subspan(done, n);
    if (mapped->sparse) {
      std::fill(part.begin(), part.end(), std::byte{0});
    } else if (!ReadVolumeAt(mapped->lcn * cluster + within, part, window)) {
      return false;
    }
    done += n;
  }
  return true;
}

bool CNtfs::ReadClusters(const std::vector<DataRun>& runs, uint64_t first_vcn, uint64_t count,
                         MutableBytes out) const {
  if (!geometry_) return false;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  if (count > out.size() / cluster || first_vcn > UINT64_MAX / cluster) return false;
  return ReadStream(runs, first_vcn * cluster, out.first(static_cast<size_t>(count * cluster)));
}

bool CNtfs::ReadMftRecord(uint64_t number, MutableBytes out, ReadWindow* window) const {
  if (!geometry_ || out.size() != geometry_->file_record_bytes) return false;
  if (number > kRecordNumberMask) return false;
  if (!ReadStream(mft_runs_, number * geometry_->file_record_bytes, out, window)) return false;
  ApplyFixup(out);
  return true;
}

std::optional<std::vector<DataRun>> CNtfs::RunsOf(const Attribute& attribute) const {
  if (!geometry_) return std::nullopt;
  auto info = NonResident(attribute);
  if (!info) return std::nullopt;
  return DecodeRuns(info->run_list, info->first_vcn, geometry_->total_clusters, geometry_->cluster_size_bytes);
}

std::optional<std::vector<std::byte>> CNtfs::ReadAttributeValue(const Attribute& attribute,
                                                                uint64_t max_bytes) const {
  if (!attribute.non_resident) {
    auto value = ResidentValue(attribute);
    if (!value || value->size() > max_bytes) return std::nullopt;
    return std::vector<std::byte>(value->begin(), value->end());
  }
  auto info = NonResident(attribute);
  auto runs = RunsOf(attribute);
  if (!info || !runs || info->first_vcn != 0 || info->data_size > max_bytes) return std::nullopt;
  std::vector<std::byte> value(static_cast<size_t>(info->data_size));
  if (!ReadStream(*runs, 0, value)) return std::nullopt;
  return value;
}

std::optional<bool> CNtfs::MftBitmapBit(uint64_t record_number) const {
  auto bitmap = FindAttribute(mft_record_, attr::kBitmap);
  if (!bitmap) return std::nullopt;
  const uint64_t byte_index = record_number / 8;
  std::byte byte{0};
  if (!bitmap->non_resident) {
    auto value = ResidentValue(*bitmap);
    if (!value) return std::nullopt;
    auto one = slice(*value, byte_index, 1);
    if (!one) return std::nullopt;
    byte = (*one)[0];
  } else {
    auto info = NonResident(*bitmap);
    auto runs = RunsOf(*bitmap);
    if (!info || !runs || byte_index >= info->data_size) return std::nullopt;
    if (!ReadStream(*runs, byte_index, MutableBytes(&byte, 1))) return std::nullopt;
  }
  return (std::to_integer<uint8_t>(byte) >> (record_number % 8)) & 1;
}

namespace {
// Bounds the $ATTRIBUTE_LIST read for one file (real lists are a few KiB).
constexpr uint64_t kMaxAttributeListBytes = 1u << 20;
}  // namespace

std::optional<CNtfs::DataStream> CNtfs::NonResidentData(Bytes record, std::optional<uint64_t> record_number) const {
  if (!geometry_) return std::nullopt;
  const uint64_t cluster = geometry_->cluster_size_bytes;
  DataStream stream;
  bool have_header = false;
  auto take_header = [&](const Attribute& a, const NonResidentInfo& info) {
    ByteReader reader(a.bytes);
    stream.data_size = info.data_size;
    stream.initialized_size = reader.u64(attr::kInitializedSize);
    if (!reader.ok() || stream.initialized_size > stream.data_size) stream.initialized_size = stream.data_size;
    stream.flags = a.flags;
    stream.compression_shift = reader.u16(attr::kCompressionUnit);
    have_header = true;
  };
  // Appends a piece that starts where the runs so far end.
  auto append = [&](const Attribute& a) {
    auto info = NonResident(a);
    const uint64_t next_vcn = stream.runs.empty() ? 0 : stream.runs.back().first_vcn + stream.runs.back().length;
    if (!info || info->first_vcn != next_vcn) return false;
    if (info->first_vcn == 0 && info->data_size > kMaxStreamBytes) return false;
    auto runs = DecodeRuns(info->run_list, info->first_vcn, geometry_->total_clusters, geometry_->cluster_size_bytes);
    if (!runs) return false;
    if (info->first_vcn == 0) take_header(a, *info);
    stream.runs.insert(stream.runs.end(), runs->begin(), runs->end());
    return true;
  };

  auto own = FindAttribute(record, attr::kData, true);
  if (own && own->non_resident && append(*own)) {
    // The whole stream is in this record.
    const uint64_t mapped_bytes =
        stream.runs.empty() ? 0 : (stream.runs.back().first_vcn + stream.runs.back().length) * cluster;
    if (have_header && mapped_bytes >= stream.data_size) return stream;
  }
  if (!record_number) return std::nullopt;
  // The list names each piece by its first VCN and the record holding it.
  stream = DataStream();
  have_header = false;
  bool joined = true;
  const bool listed = ForEachListedAttribute(record, *record_number, [&](const AttributeListEntry& entry, Bytes holder) {
    if (entry.type != attr::kData || entry.name_length != 0) return true;
    std::optional<Attribute> piece;
    ForEachAttribute(holder, [&](const Attribute& a) {
      if (a.type != attr::kData || a.name_length != 0 || !a.non_resident) return true;
      auto info = NonResident(a);
      if (info && info->first_vcn == entry.first_vcn) {
        piece = a;
        return false;
      }
      return true;
    });
    joined = piece && append(*piece);
    return joined;
  });
  if (!listed || !joined || !have_header) return std::nullopt;
  return stream;
}

std::optional<FileName> CNtfs::RecordName(Bytes record, uint64_t record_number) const {
  if (auto name = FindLongName(record)) return name;
  std::optional<FileName> found;
  ForEachListedAttribute(record, record_number, [&](const AttributeListEntry& entry, Bytes holder) {
    if (entry.type != attr::kFileName || entry.record == record_number || holder.empty()) return true;
    found = FindLongName(holder);
    return !found;
  });
  return found;
}

bool CNtfs::ForEachListedAttribute(Bytes record, uint64_t record_number,
                                   const std::function<bool(const AttributeListEntry&, Bytes)>& visit) const {
  if (!geometry_) return false;
  auto list = FindAttribute(record, attr::kAttributeList);
  if (!list) return false;
  auto value = ReadAttributeValue(*list, kMaxAttributeListBytes);
  if (!value) return false;
  std::vector<std::byte> extension(geometry_->file_record_bytes);
  uint64_t extension_number = UINT64_MAX;  // the record now in `extension`
  bool extension_ours = false;
  ForEachListEntry(*value, [&](const AttributeListEntry& entry) {
    if (entry.record == record_number) return visit(entry, record);
    if (entry.record != extension_number) {
      extension_number = entry.record;
      ByteReader header(extension);
      extension_ours = ReadMftRecord(entry.record, extension) &&
                       header.u32(record::kSignature) == record::kFileMagic &&
                       (header.u64(record::kBaseRecord) & kRecordNumberMask) == record_number;
    }
    return visit(entry, extension_ours ? Bytes(extension) : Bytes());
  });
  return true;
}

std::u16string CNtfs::BuildParentPath(uint64_t parent, std::u16string name) const {
  if (!geometry_) return name;
  std::vector<std::byte> record(geometry_->file_record_bytes);
  std::unordered_set<uint64_t> visited;
  for (size_t depth = 0; depth < kMaxPathDepth && parent != kRootRecord; ++depth) {
    if (!visited.insert(parent).second) break;  // a loop
    if (!ReadMftRecord(parent, record)) break;
    auto parent_name = FindLongName(record);
    if (!parent_name) break;
    if (parent_name->name.size() + 1 + name.size() > kMaxPathChars) break;
    name = parent_name->name + u"\\" + name;
    parent = parent_name->parent;
  }
  return name;
}

}  // namespace salvor::engine
