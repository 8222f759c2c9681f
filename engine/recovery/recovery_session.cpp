#include "engine/recovery/recovery_session.h"

#include <algorithm>

namespace salvor::engine::recovery {
namespace {

bool is_separator(char16_t c) { return c == u'/' || c == u'\\'; }

}  // namespace

std::unique_ptr<RecoverySession> RecoverySession::Open(std::u16string_view root,
                                                       const platform::DestinationOptions& options,
                                                       std::function<bool()> stop,
                                                       platform::DestinationError& error) {
  auto destination = platform::OpenDestination(root, options, error);
  if (!destination) return nullptr;
  return std::make_unique<RecoverySession>(std::move(destination), std::u16string(root), std::move(stop));
}

RecoverySession::RecoverySession(std::unique_ptr<platform::Destination> destination, std::u16string root,
                                 std::function<bool()> stop)
    : destination_(std::move(destination)), root_(std::move(root)), writer_(*destination_, std::move(stop)) {
  while (root_.size() > 1 && is_separator(root_.back())) root_.pop_back();
}

bool RecoverySession::MakeJob(std::u16string_view relative, const platform::FileTimes& times,
                              ProgressCallback progress, void* user, std::unique_ptr<FileJob>& job) {
  job = std::make_unique<FileJob>(FileJob{writer_, {}, {}});
  job->request.times = times;
  job->request.progress = progress;
  job->request.user = user;
  return SplitRelativePath(relative, job->request.folders, job->request.name);
}

bool RecoverySession::RelativeToRoot(std::u16string_view path, std::u16string& relative) const {
  if (root_.empty() || path.size() <= root_.size() + 1 || path.substr(0, root_.size()) != root_ ||
      !is_separator(path[root_.size()])) {
    return false;
  }
  relative.assign(path.substr(root_.size() + 1));
  return true;
}

void RecoverySession::RememberFolderTimes(std::u16string_view relative, const platform::FileTimes& times) {
  std::vector<std::u16string> folders;
  std::u16string last;
  if (!SplitRelativePath(relative, folders, last)) return;
  folders.push_back(std::move(last));
  folder_times_.emplace_back(std::move(folders), times);
}

bool RecoverySession::Finish() {
  // Deepest first: setting a folder's times after its sub-folders' keeps
  // them, as nothing inside it changes any more.
  std::stable_sort(folder_times_.begin(), folder_times_.end(),
                   [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  bool ok = true;
  for (const auto& [folders, times] : folder_times_) {
    if (!destination_->set_folder_times(folders, times) && ok) {
      error_ = destination_->error();
      ok = false;
    }
  }
  folder_times_.clear();
  if (!destination_->sync()) {
    error_ = destination_->error();
    return false;
  }
  return ok;
}

bool RecoverToPath(std::u16string_view output_path, ProgressCallback progress, void* user,
                   const std::function<bool(FileJob&)>& recover) {
  const size_t cut = output_path.find_last_of(u"/\\");
  const std::u16string folder =
      cut == std::u16string_view::npos ? std::u16string(u".") : std::u16string(output_path.substr(0, cut == 0 ? 1 : cut));
  const std::u16string name(cut == std::u16string_view::npos ? output_path : output_path.substr(cut + 1));
  if (name.empty()) return false;
  platform::DestinationError error;
  platform::DestinationOptions options;
  options.create_root = false;  // as a plain create would, this fails in a folder that is not there
  auto session = RecoverySession::Open(folder, options, nullptr, error);
  if (!session) return false;
  std::unique_ptr<FileJob> job;
  if (!session->MakeJob(name, {}, progress, user, job)) return false;
  const bool ok = recover(*job);
  return session->Finish() && ok;
}

}  // namespace salvor::engine::recovery
