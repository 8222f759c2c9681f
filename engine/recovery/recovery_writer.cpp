#include "engine/recovery/recovery_writer.h"

#include <algorithm>
#include <cstring>

#include "common/text.h"

namespace salvor::engine::recovery {
namespace {

std::u16string decimal(uint64_t value) { return text::from_utf8(std::to_string(value)); }

// A component the destination could take for something else: "." and ".."
// and names holding a separator or NUL never reach it as they are.
std::u16string contained_component(std::u16string_view part) {
  std::u16string out(part);
  for (auto& c : out) {
    if (c == u'/' || c == u'\\' || c == 0) c = u'_';
  }
  if (out == u"." || out == u"..") out.assign(out.size(), u'_');
  return out;
}

}  // namespace

bool SplitRelativePath(std::u16string_view relative, std::vector<std::u16string>& folders, std::u16string& name) {
  folders.clear();
  name.clear();
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = relative.size();
    if (end > start) parts.push_back(contained_component(relative.substr(start, end - start)));
    start = end + 1;
  }
  if (parts.empty()) return false;
  name = std::move(parts.back());
  parts.pop_back();
  folders = std::move(parts);
  return true;
}

// The copy of one file: the batch being gathered, where it goes in the
// file, and what it may still cost.
class RecoveryWriter::FileCopy {
 public:
  FileCopy(RecoveryWriter& writer, platform::DestinationFile& file, const FileRequest& request, uint64_t budget)
      : writer_(writer), file_(file), request_(request), budget_(budget) {}

  // Gathers bytes into the batch; full batches are written.
  bool append(const std::byte* data, size_t length) {
    while (length > 0) {
      const size_t n = std::min(length, writer_.batch_.size() - fill_);
      std::memcpy(writer_.batch_.data() + fill_, data, n);
      fill_ += n;
      data += n;
      length -= n;
      if (fill_ == writer_.batch_.size() && !write_batch()) return false;
    }
    return true;
  }

  // Reads `length` bytes of the volume into the batch. Sets `ended` when the
  // volume ends first.
  bool append_volume(const platform::RawVolume& volume, uint64_t offset, uint64_t length, bool& ended) {
    while (length > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(length, writer_.batch_.size() - fill_));
      const auto got = volume.read_some_at(offset, MutableBytes(writer_.batch_).subspan(fill_, n));
      if (!got) {
        failure_ = FileStatus::kSourceFailed;
        message_ = u"the volume could not be read at byte " + decimal(offset);
        return false;
      }
      fill_ += *got;
      if (*got < n) {
        ended = true;
        return true;
      }
      offset += n;
      length -= n;
      if (fill_ == writer_.batch_.size() && !write_batch()) return false;
    }
    return true;
  }

  // A range of zeros: the batch so far is written and the range skipped,
  // so that it stays a hole.
  bool skip_zeros(uint64_t length) {
    if (!write_batch()) return false;
    if (!sparse_ && !file_.make_sparse()) return destination_failed();
    sparse_ = true;
    batch_start_ += length;
    return true;
  }

  bool write_batch() {
    if (writer_.stop_ && writer_.stop_()) {
      failure_ = FileStatus::kStopped;
      message_ = u"stopped";
      return false;
    }
    if (fill_ == 0) return true;
    if (fill_ > budget_ - charged_) {
      failure_ = FileStatus::kNoRoom;
      message_ = u"the destination has no room left for it";
      return false;
    }
    if (!file_.write_at(batch_start_, std::span(writer_.batch_).first(fill_))) return destination_failed();
    charged_ += fill_;
    batch_start_ += fill_;
    fill_ = 0;
    report_progress();
    return true;
  }

  // Bytes of the file so far, written or gathered.
  uint64_t position() const { return batch_start_ + fill_; }
  uint64_t charged() const { return charged_; }
  bool charge(uint64_t bytes) {
    if (bytes > budget_ - charged_) {
      failure_ = FileStatus::kNoRoom;
      message_ = u"the destination has no room left for it";
      return false;
    }
    charged_ += bytes;
    return true;
  }

  bool destination_failed() {
    failure_ = FileStatus::kDestinationFailed;
    message_ = file_.error().text.empty() ? u"the file could not be written" : file_.error().text;
    system_code_ = file_.error().code;
    return false;
  }
  void source_failed(std::u16string why) {
    failure_ = FileStatus::kSourceFailed;
    message_ = std::move(why);
  }

  FileStatus failure() const { return failure_; }
  const std::u16string& message() const { return message_; }
  uint32_t system_code() const { return system_code_; }

  void final_progress() {
    if (request_.progress) request_.progress(0, request_.user);
  }

 private:
  // One report per chunk, as if the file were copied chunk by chunk: the
  // bytes left after each chunk that does not finish the file.
  void report_progress() {
    if (!request_.progress) return;
    const uint64_t chunk = request_.chunk_bytes;
    while (true) {
      const uint64_t chunk_end = (chunks_reported_ + 1) * chunk;
      if (chunk_end > batch_start_ || chunk_end >= request_.size_bytes) break;
      ++chunks_reported_;
      request_.progress(request_.size_bytes - chunk_end, request_.user);
    }
  }

  RecoveryWriter& writer_;
  platform::DestinationFile& file_;
  const FileRequest& request_;
  uint64_t budget_;
  uint64_t charged_ = 0;
  uint64_t batch_start_ = 0;  // file offset of the batch's first byte
  size_t fill_ = 0;
  uint64_t chunks_reported_ = 0;
  bool sparse_ = false;
  FileStatus failure_ = FileStatus::kSourceFailed;
  std::u16string message_;
  uint32_t system_code_ = 0;
};

RecoveryWriter::RecoveryWriter(platform::Destination& destination, std::function<bool()> stop)
    : destination_(destination), stop_(std::move(stop)) {}

FileOutcome RecoveryWriter::write(const platform::RawVolume& volume, ExtentSource& source,
                                  const FileRequest& request) {
  FileOutcome outcome;
  if (request.size_bytes > kMaxFileBytes) {
    outcome.message = u"its size (" + decimal(request.size_bytes) + u" bytes) is no file size";
    return outcome;
  }
  if (request.chunk_bytes == 0 || request.name.empty()) {
    outcome.message = u"no name or no chunk size";
    return outcome;
  }
  if (stop_ && stop_()) {
    outcome.status = FileStatus::kStopped;
    outcome.message = u"stopped";
    return outcome;
  }

  // What this file may cost: no more than the destination has free, and
  // no more than the run may write from this volume.
  largest_volume_ = std::max(largest_volume_, request.volume_bytes);
  uint64_t budget = UINT64_MAX;
  if (largest_volume_ != 0) {
    const uint64_t cap = largest_volume_ > UINT64_MAX / kMaxRunOutputVolumes ? UINT64_MAX
                                                                            : largest_volume_ * kMaxRunOutputVolumes;
    budget = cap > data_written_ ? cap - data_written_ : 0;
  }
  const bool holes = destination_.supports_holes();
  const uint64_t longest = std::min(request.size_bytes, request.output_bytes_at_most);
  const uint64_t needed = holes ? std::min(request.data_bytes_at_most, longest) : longest;
  if (needed > budget) {
    outcome.status = FileStatus::kNoRoom;
    outcome.message = u"the run has written " + decimal(data_written_) + u" bytes, " +
                      decimal(kMaxRunOutputVolumes) +
                      u" times the size of the volume: the files left claim clusters already recovered "
                      u"(damaged entries)";
    return outcome;
  }
  if (const auto free = destination_.free_bytes()) {
    budget = std::min(budget, *free);
    if (needed > *free) {
      outcome.status = FileStatus::kNoRoom;
      outcome.message = u"the next file needs " + decimal(needed) + u" bytes and the destination has " +
                        decimal(*free) + u" bytes free";
      return outcome;
    }
  }

  auto file = destination_.create_file(request.folders, request.name);
  if (!file) {
    outcome.status = FileStatus::kDestinationFailed;
    outcome.system_code = destination_.error().code;
    outcome.message = destination_.error().text.empty() ? u"the file could not be created" : destination_.error().text;
    return outcome;
  }
  outcome.relative_path = file->relative_path();

  const uint64_t batch_size = std::min(kBatchBytes, std::max<uint64_t>(
                                                        (request.size_bytes + kProgressChunkBytes - 1) /
                                                            kProgressChunkBytes * kProgressChunkBytes,
                                                        kProgressChunkBytes));
  if (batch_.size() < batch_size) {
    try {
      batch_.assign(static_cast<size_t>(batch_size), std::byte{0});
    } catch (const std::bad_alloc&) {
      file->discard();
      outcome.relative_path.clear();
      outcome.message = u"not enough memory for the copy";
      return outcome;
    }
  }

  FileCopy copy(*this, *file, request, budget);
  auto fail = [&](FileStatus status, std::u16string message, uint32_t code) {
    file->discard();
    outcome.status = status;
    outcome.message = std::move(message);
    outcome.system_code = code;
    outcome.relative_path.clear();
    return outcome;
  };

  bool ended = false;  // the volume or the extents ended before the size
  Extent extent;
  while (copy.position() < request.size_bytes && !ended) {
    const ExtentStatus status = source.next(extent);
    if (status == ExtentStatus::kFailed || (status == ExtentStatus::kExtent && extent.length_bytes == 0)) {
      copy.source_failed(source.failure());
      return fail(copy.failure(), copy.message(), 0);
    }
    if (status == ExtentStatus::kEnd) {
      ended = true;
      break;
    }
    const uint64_t take = std::min(extent.length_bytes, request.size_bytes - copy.position());
    bool ok = true;
    switch (extent.kind) {
      case Extent::Kind::kVolume:
        ok = copy.append_volume(volume, extent.volume_offset_bytes, take, ended);
        break;
      case Extent::Kind::kBytes:
        ok = copy.append(extent.bytes.data(), static_cast<size_t>(std::min<uint64_t>(take, extent.bytes.size())));
        if (ok && extent.bytes.size() < take) ok = copy.skip_zeros(take - extent.bytes.size());
        break;
      case Extent::Kind::kZeros:
        ok = copy.skip_zeros(take);
        break;
    }
    if (!ok) return fail(copy.failure(), copy.message(), copy.system_code());
  }
  if (!copy.write_batch()) return fail(copy.failure(), copy.message(), copy.system_code());

  const uint64_t size = copy.position();
  if (size < request.size_bytes) {
    if (request.whole_or_nothing) {
      return fail(FileStatus::kSourceFailed, u"its data runs end before its size: the copy would not be whole", 0);
    }
    if (size == 0) {
      return fail(FileStatus::kSourceFailed, u"nothing of the file lies on the volume", 0);
    }
  }
  // A destination without holes stores the zeros of the end as data.
  if (!holes && size > copy.charged() && !copy.charge(size - copy.charged())) {
    return fail(copy.failure(), copy.message(), 0);
  }
  if (!file->set_size(size)) return fail(FileStatus::kDestinationFailed, file->error().text, file->error().code);
  if (request.times.modified != 0 || request.times.created != 0) {
    if (!file->set_times(request.times)) {
      return fail(FileStatus::kDestinationFailed, file->error().text, file->error().code);
    }
    outcome.modified_time_set = request.times.modified != 0;
    outcome.created_time_set = request.times.created != 0 && platform::can_set_creation_time();
  }
  outcome.allocated_bytes = file->allocated_bytes().value_or(copy.charged());
  if (!file->finish()) return fail(FileStatus::kDestinationFailed, file->error().text, file->error().code);
  data_written_ += copy.charged();
  outcome.bytes_written = size;
  if (size < request.size_bytes) {
    outcome.status = FileStatus::kTruncated;
    outcome.message = request.damage.empty() ? u"the volume ends before the file does" : request.damage;
  } else {
    outcome.status = FileStatus::kWritten;
  }
  copy.final_progress();
  return outcome;
}

}  // namespace salvor::engine::recovery
