#include "tests/app/scripted_recovery.h"

#include <algorithm>
#include <string>

namespace salvor::testing {
namespace {

ScriptedRecovery* g_script = nullptr;

void copy_text(std::u16string_view text, char16_t* buffer, uint32_t capacity) {
  if (!buffer || capacity == 0) return;
  const size_t n = std::min<size_t>(text.size(), capacity - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
}

bool split(std::u16string_view relative, std::vector<std::u16string>& folders, std::u16string& name) {
  size_t start = 0;
  while (true) {
    const size_t end = relative.find(u'/', start);
    if (end == std::u16string_view::npos) break;
    folders.emplace_back(relative.substr(start, end - start));
    start = end + 1;
  }
  name.assign(relative.substr(start));
  return !name.empty();
}

bool Begin(const char16_t* root, const ReRecoveryOptions*, ReRecoverItemResult*) {
  platform::DestinationError error;
  g_script->destination = platform::OpenDestination(root, {}, error);
  g_script->ended = false;
  return g_script->destination != nullptr;
}

// Writes `size` bytes (at most 64) of "x".
bool Item(const ReRecoverItemRequest* request, ReRecoverItemResult* result) {
  const size_t index = g_script->calls.size();
  g_script->calls.push_back(
      {request->Method, request->Position, request->FileSize, request->RelativePath, request->ModifiedTime});
  if (g_script->on_call) g_script->on_call(index);
  if (g_script->full.count(request->Position)) {
    result->Status = kReRecoverDestinationFailed;
    copy_text(u"No space left on device", result->Message, result->MessageCapacity);
    return false;
  }
  if (g_script->failing.count(request->Position)) {
    result->Status = kReRecoverSourceFailed;
    copy_text(u"the volume could not be read", result->Message, result->MessageCapacity);
    return false;
  }
  std::vector<std::u16string> folders;
  std::u16string name;
  if (!split(request->RelativePath, folders, name)) return false;
  auto file = g_script->destination->create_file(folders, name);
  if (!file) return false;
  const std::string data(std::min<uint64_t>(request->FileSize, 64), 'x');
  file->write_at(0, std::as_bytes(std::span(data)));
  file->finish();
  result->Status = kReRecoverWritten;
  result->BytesWritten = data.size();
  copy_text(file->relative_path(), result->WrittenPath, result->WrittenPathCapacity);
  if (request->Progress) request->Progress(0, request->User);
  return true;
}

bool FolderTimes(const char16_t* relative, uint64_t modified, uint64_t) {
  g_script->folder_times.emplace_back(relative, modified);
  return true;
}

bool End(ReRecoverItemResult*) {
  g_script->ended = true;
  g_script->destination.reset();
  return true;
}

}  // namespace

void ScriptedRecovery::Bind(app::EngineBinding& engine) {
  g_script = this;
  engine.ReBeginRecovery = Begin;
  engine.ReRecoverItem = Item;
  engine.ReSetFolderTimes = FolderTimes;
  engine.ReEndRecovery = End;
}

}  // namespace salvor::testing
