// The program's component registry (CComponentManager) and command bus
// (CCommand). Both live inside the hub (CLeader, hub.h); the libraries reach
// them only through the interfaces of common/component.h.
//
// Neither owns what is registered: the tables copy the names and keep the
// pointers. Dispatch is a direct call on the sender's thread and may
// re-enter the bus (a handler may send), so no operation holds an iterator
// across a handler call.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/command_bus.h"
#include "common/component.h"

namespace salvor::app {

class CComponentManager : public IVantorComponentManager {
 public:
  CComponentManager() = default;
  CComponentManager(const CComponentManager&) = delete;
  CComponentManager& operator=(const CComponentManager&) = delete;
  ~CComponentManager() override = default;

  // IComponent: "IVantorComponentManager".
  const WChar* GetComponentName(WChar* buffer, int count) override;
  void* QueryInterface(const WChar* name, IComponent* reserved) override;

  // A name registers once (case-sensitively); a null component is accepted.
  int RegisterComponent(const WChar* name, IComponent* component) override;
  // Exact look-up; the out value is left alone when the name is absent.
  int FindComponent(const WChar* name, IComponent** component) override;
  // Removes the first entry, in name order, that holds `component`.
  int UnregisterComponent(IComponent* component) override;
  int GetComponentCount() override;
  // The index-th entry in name order (UTF-16 code-unit order).
  int GetComponentAt(int index, IComponent** component) override;

 private:
  // std::u16string compares by code unit, which is the order enumeration
  // promises.
  std::map<std::u16string, IComponent*, std::less<>> components_;
};

class CCommand : public ICommandMan, public IComponent {
 public:
  CCommand() = default;
  CCommand(const CCommand&) = delete;
  CCommand& operator=(const CCommand&) = delete;
  virtual ~CCommand() = default;

  // ICommandMan
  // One handler per name, names compared case-insensitively.
  int RegisterCommand(const WChar* command, IResponseCommand* handler) override;
  // RegisterCommandId for every id from first to last inclusive; always 1.
  int RegisterCommandRange(int first, int last, IResponseCommand* handler) override;
  // An id may have several handlers, but each (id, handler) pair once.
  int RegisterCommandId(int id, IResponseCommand* handler) override;
  // Calls the handler of the name with the name as given; 0 when none.
  int SendCommand(const WChar* command, void* data) override;
  // Calls only the first handler registered for the id; 0 when none.
  int SendCommandId(int id, uint32_t parameter) override;
  int UnregisterCommand(const WChar* command) override;
  int UnregisterCommandId(int id) override;

  // IComponent: "Command"; QueryInterface gives the ICommandMan view.
  const WChar* GetComponentName(WChar* buffer, int count) override;
  void* QueryInterface(const WChar* name, IComponent* reserved) override;

 private:
  struct NamedHandler {
    std::u16string command;
    IResponseCommand* handler;
  };
  struct IdHandler {
    int id;
    IResponseCommand* handler;
  };
  // Insertion order matters: the first match wins.
  std::vector<NamedHandler> names_;
  std::vector<IdHandler> ids_;
};

}  // namespace salvor::app
