#include "app/core/component_manager.h"

#include <cstdint>
#include <iterator>

namespace salvor::app {

// ---- CComponentManager ----------------------------------------------------

const WChar* CComponentManager::GetComponentName(WChar* buffer, int count) {
  return CopyComponentName(kComponentManagerName, buffer, count);
}

void* CComponentManager::QueryInterface(const WChar* name, IComponent* /*reserved*/) {
  return SameComponentName(name, kComponentManagerName) ? static_cast<IVantorComponentManager*>(this) : nullptr;
}

int CComponentManager::RegisterComponent(const WChar* name, IComponent* component) {
  if (!name) return 0;
  return components_.emplace(std::u16string(name), component).second ? 1 : 0;
}

int CComponentManager::FindComponent(const WChar* name, IComponent** component) {
  if (!name) return 0;
  const auto found = components_.find(std::u16string_view(name));
  if (found == components_.end()) return 0;
  if (component) *component = found->second;
  return 1;
}

int CComponentManager::UnregisterComponent(IComponent* component) {
  for (auto it = components_.begin(); it != components_.end(); ++it) {
    if (it->second == component) {
      components_.erase(it);
      return 1;
    }
  }
  return 0;
}

int CComponentManager::GetComponentCount() { return static_cast<int>(components_.size()); }

int CComponentManager::GetComponentAt(int index, IComponent** component) {
  if (index < 0 || static_cast<size_t>(index) >= components_.size()) return 0;
  const auto it = std::next(components_.begin(), index);
  if (component) *component = it->second;
  return 1;
}

// ---- CCommand -------------------------------------------------------------

int CCommand::RegisterCommand(const WChar* command, IResponseCommand* handler) {
  if (!handler || !command) return 0;
  for (const NamedHandler& entry : names_) {
    if (CommandNameEquals(entry.command.c_str(), command)) return 0;
  }
  names_.push_back({std::u16string(command), handler});
  return 1;
}

int CCommand::RegisterCommandRange(int first, int last, IResponseCommand* handler) {
  // Counted in 64 bits so that a range ending at INT_MAX terminates.
  for (int64_t id = first; id <= last; ++id) RegisterCommandId(static_cast<int>(id), handler);
  return 1;
}

int CCommand::RegisterCommandId(int id, IResponseCommand* handler) {
  if (!handler) return 0;
  for (const IdHandler& entry : ids_) {
    if (entry.id == id && entry.handler == handler) return 0;
  }
  ids_.push_back({id, handler});
  return 1;
}

int CCommand::SendCommand(const WChar* command, void* data) {
  // The handler is taken out before the call: it may register or send,
  // which can reallocate the table.
  IResponseCommand* handler = nullptr;
  for (const NamedHandler& entry : names_) {
    if (CommandNameEquals(entry.command.c_str(), command)) {
      handler = entry.handler;
      break;
    }
  }
  return handler ? handler->OnDispatchCommand(command, data) : 0;
}

int CCommand::SendCommandId(int id, uint32_t parameter) {
  IResponseCommand* handler = nullptr;
  for (const IdHandler& entry : ids_) {
    if (entry.id == id) {
      handler = entry.handler;
      break;
    }
  }
  return handler ? handler->OnDispatchCommand(id, parameter) : 0;
}

int CCommand::UnregisterCommand(const WChar* command) {
  for (auto it = names_.begin(); it != names_.end(); ++it) {
    if (CommandNameEquals(it->command.c_str(), command)) {
      names_.erase(it);
      return 1;
    }
  }
  return 0;
}

int CCommand::UnregisterCommandId(int id) {
  for (auto it = ids_.begin(); it != ids_.end(); ++it) {
    if (it->id == id) {
      ids_.erase(it);
      return 1;
    }
  }
  return 0;
}

const WChar* CCommand::GetComponentName(WChar* buffer, int count) {
  return CopyComponentName(kCommandComponentName, buffer, count);
}

void* CCommand::QueryInterface(const WChar* name, IComponent* /*reserved*/) {
  return SameComponentName(name, kCommandComponentName) ? static_cast<ICommandMan*>(this) : nullptr;
}

}  // namespace salvor::app
