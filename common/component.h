// The component model shared by the program and its libraries.
//
// The program and each library are built separately and call one another
// through these interfaces by vtable slot, so the order of the virtual
// operations below is part of the binary interface: never reorder, insert or
// remove one. Strings are zero-terminated UTF-16.
#pragma once

#include <cstdint>

namespace salvor {

using WChar = char16_t;

class IComponent {
 public:
  // Copies at most `count` units of the name into `buffer` when it is not
  // null (no terminator is added when the name fills `count`); always returns
  // the component's own zero-terminated name.
  virtual const WChar* GetComponentName(WChar* buffer, int count) = 0;
  // The object viewed as the interface `name` stands for, or null. The second
  // argument is ignored; callers pass null.
  virtual void* QueryInterface(const WChar* name, IComponent* reserved) = 0;

 protected:
  ~IComponent() = default;
};

class IResponseCommand {
 public:
  virtual int OnDispatchCommand(const WChar* command, void* data) = 0;
  virtual int OnDispatchCommand(int id, uint32_t parameter) = 0;

 protected:
  ~IResponseCommand() = default;
};

class IVantorComponentManager : public IComponent {
 public:
  virtual int RegisterComponent(const WChar* name, IComponent* component) = 0;
  virtual int FindComponent(const WChar* name, IComponent** component) = 0;
  virtual int UnregisterComponent(IComponent* component) = 0;
  virtual int GetComponentCount() = 0;
  virtual int GetComponentAt(int index, IComponent** component) = 0;
  virtual ~IVantorComponentManager() = default;
};

class ICommandMan {
 public:
  virtual int RegisterCommand(const WChar* command, IResponseCommand* handler) = 0;
  virtual int RegisterCommandRange(int first, int last, IResponseCommand* handler) = 0;
  virtual int RegisterCommandId(int id, IResponseCommand* handler) = 0;
  virtual int SendCommand(const WChar* command, void* data) = 0;
  virtual int SendCommandId(int id, uint32_t parameter) = 0;
  virtual int UnregisterCommand(const WChar* command) = 0;
  virtual int UnregisterCommandId(int id) = 0;

 protected:
  ~ICommandMan() = default;
};

inline constexpr const WChar* kComponentManagerName = u"IVantorComponentManager";
inline constexpr const WChar* kEngineComponentName = u"ComponentName_Salvor_Engine";
inline constexpr const WChar* kSurveyorComponentName = u"ComponentName_Salvor_DllMain";

// Signature of the export by which a library joins the program's registry.
// `reserved` points at a zeroed pointer-sized variable that no library reads.
using GetVantorComponentPtrFn = int (*)(void* reserved, IComponent* manager);

// Bounded copy used by GetComponentName implementations.
inline const WChar* CopyComponentName(const WChar* name, WChar* buffer, int count) {
  if (buffer) {
    int i = 0;
    for (; i < count && name[i] != 0; ++i) buffer[i] = name[i];
    if (i < count) buffer[i] = 0;
  }
  return name;
}

// Exact, case-sensitive comparison of two zero-terminated names.
inline bool SameComponentName(const WChar* a, const WChar* b) {
  if (!a || !b) return false;
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace salvor
