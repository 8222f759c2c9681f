#include "app/core/hub.h"

#include <memory>
#include <vector>

#include "common/command_bus.h"

namespace salvor::app {
namespace {

// Libraries bound by the program are never unloaded; their components and
// handlers are registered for the life of the process.
std::vector<std::unique_ptr<platform::SharedLibrary>>& BoundLibraries() {
  static auto* libraries = new std::vector<std::unique_ptr<platform::SharedLibrary>>();
  return *libraries;
}

}  // namespace

std::u16string ComponentLibraryPath(std::u16string_view directory, std::u16string_view base_name) {
  std::u16string path(directory);
  if (!path.empty() && path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  return path + platform::library_file_name(base_name);
}

int BindComponentLibrary(CLeader& hub, std::u16string_view path) {
  auto library = std::make_unique<platform::SharedLibrary>();
  if (!library->load(path)) return 0;
  auto* join = reinterpret_cast<GetVantorComponentPtrFn>(library->symbol("GetVantorComponentPtr"));
  if (!join) {
    library->unload();
    return 0;
  }
  void* reserved = nullptr;
  IVantorComponentManager& manager = hub.Manager();
  const int result = join(&reserved, &manager);
  BoundLibraries().push_back(std::move(library));
  return result != 0 ? 1 : 0;
}

CLeader::~CLeader() {
  if (ComponentRegistry() == &m_manager) SetComponentRegistry(nullptr);
}

bool CLeader::StartComponentModel(std::u16string program_directory) {
  SetComponentRegistry(&m_manager);
  m_manager.RegisterComponent(m_manager.GetComponentName(nullptr, 0), &m_manager);
  m_manager.RegisterComponent(kCommandComponentName, static_cast<IComponent*>(&m_command));
  if (program_directory.empty()) program_directory = platform::executable_directory();
  return BindComponentLibrary(*this, ComponentLibraryPath(program_directory, u"Surveyor")) == 1;
}

void CLeader::RegisterProgramCommands() {
  for (const WChar* command : {kCmdBackDriveInfo, kCmdUserClickScanButton, kCmdUserClickFormatScan, kCmdIsHaveDisk}) {
    RegisterCommandHandler(command, this);
  }
}

}  // namespace salvor::app
