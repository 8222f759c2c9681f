#include "common/command_bus.h"

#include "common/text.h"

namespace salvor {
namespace {

// Set once per module in a running program; never guarded, since all
// registration and every send happen on the user-interface thread.
IVantorComponentManager* g_registry = nullptr;
ICommandMan* g_bus = nullptr;

// The bus is "Command" in the registry, viewed as ICommandMan. A failed
// resolution is not remembered, so a later call tries again.
ICommandMan* ResolveBus() {
  if (g_bus) return g_bus;
  if (!g_registry) return nullptr;
  IComponent* component = nullptr;
  if (!g_registry->FindComponent(kCommandComponentName, &component) || !component) return nullptr;
  auto* bus = static_cast<ICommandMan*>(component->QueryInterface(kCommandComponentName, nullptr));
  if (bus) g_bus = bus;
  return bus;
}

std::u16string_view View(const WChar* name) { return std::u16string_view(name); }

}  // namespace

bool CommandNameEquals(const WChar* a, const WChar* b) {
  if (!a || !b) return false;
  return text::equals_ignore_case(View(a), View(b));
}

void SetComponentRegistry(IVantorComponentManager* registry) {
  if (registry == g_registry) return;
  g_registry = registry;
  g_bus = nullptr;
}

IVantorComponentManager* ComponentRegistry() { return g_registry; }

int RegisterCommandHandler(const WChar* command, IResponseCommand* handler) {
  ICommandMan* bus = ResolveBus();
  return bus ? bus->RegisterCommand(command, handler) : 0;
}

int SendNamedCommand(const WChar* command, void* data) {
  ICommandMan* bus = ResolveBus();
  return bus ? bus->SendCommand(command, data) : 0;
}

}  // namespace salvor
