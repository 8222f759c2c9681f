#include "app/core/recovery_report.h"

#include <cinttypes>
#include <cstdio>
#include <set>

#include "app/core/results_model.h"
#include "common/text.h"

namespace salvor::app {

uint64_t SpaceNeeded(const std::vector<const FoundItem*>& selection, uint64_t cluster_bytes) {
  std::set<const FoundItem*> seen;
  uint64_t total = 0;
  for (const FoundItem* item : selection) {
    if (item == nullptr || item->is_folder() || !seen.insert(item).second) continue;
    uint64_t size = item->size;
    if (cluster_bytes > 1 && size % cluster_bytes != 0) {
      const uint64_t rounded = size - size % cluster_bytes + cluster_bytes;
      size = rounded < size ? UINT64_MAX : rounded;
    }
    total = total + size < total ? UINT64_MAX : total + size;
  }
  return total;
}

SpaceCheck CheckSpace(uint64_t needed_bytes, uint64_t free_bytes) {
  SpaceCheck check;
  if (needed_bytes <= free_bytes) return check;
  check.enough = false;
  check.text = u"The destination has " + SizeText(free_bytes) + u" free, but the selected files need " +
               SizeText(needed_bytes) + u". Choose a folder on a drive with more room, or select fewer files.";
  return check;
}

std::u16string TimeLeftText(double seconds) {
  if (!(seconds >= 0)) return {};
  const auto whole = static_cast<uint64_t>(seconds + 0.5);
  char buffer[48];
  if (whole >= 3600) {
    std::snprintf(buffer, sizeof buffer, "%" PRIu64 ":%02" PRIu64 ":%02" PRIu64 " left", whole / 3600,
                  whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(buffer, sizeof buffer, "%" PRIu64 ":%02" PRIu64 " left", whole / 60, whole % 60);
  }
  return text::from_utf8(buffer);
}

std::u16string BytesOfText(uint64_t done_bytes, uint64_t total_bytes) {
  // SizeText says "N/A" for nothing; a count of bytes written says 0.
  const auto size = [](uint64_t bytes) { return bytes == 0 ? std::u16string(u"0 B") : SizeText(bytes); };
  return size(done_bytes) + u" of " + size(total_bytes);
}

std::vector<FailedFile> FailedFiles(const std::vector<RecoveryResult>& results) {
  std::vector<FailedFile> failed;
  for (const RecoveryResult& result : results) {
    if (result.ok && result.written >= result.size) continue;
    FailedFile file;
    for (const char16_t c : result.relative) file.relative += c == u'/' ? u'\\' : c;
    if (result.ok) {
      file.reason = u"cut short: " + text::from_utf8(std::to_string(result.written)) + u" of " +
                    text::from_utf8(std::to_string(result.size)) + u" bytes";
      if (!result.error.empty()) file.reason += u" (" + result.error + u")";
    } else {
      file.reason = result.error.empty() ? u"not recovered" : result.error;
    }
    failed.push_back(std::move(file));
  }
  return failed;
}

std::u16string RecoveryStatusText(const RunOutcome& outcome) {
  const auto decimal = [](size_t n) { return text::from_utf8(std::to_string(n)); };
  if (outcome.completed) {
    if (outcome.failed == 0) return kAllRecoveredText;
    return decimal(outcome.failed) + u" of " + decimal(outcome.planned) +
           u" files selected could not be recovered whole.";
  }
  std::u16string text = u"Recovery stopped: " + decimal(outcome.whole) + u" of " + decimal(outcome.planned) +
                        u" files recovered";
  if (outcome.failed != 0) text += u", " + decimal(outcome.failed) + u" failed";
  text += u".";
  if (!outcome.abort_reason.empty()) text += u" " + outcome.abort_reason + u".";
  return text;
}

}  // namespace salvor::app
