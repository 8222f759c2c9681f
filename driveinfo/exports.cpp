// The export by which Surveyor joins the program's registry. It registers
// the component and its handler of "Cmd_SV_DirveInformation", and answers 1
// whatever happened, as the program expects of every component library.
#include "common/command_bus.h"
#include "common/component.h"
#include "driveinfo/sv_function.h"

#if defined(_WIN32)
#define SURVEYOR_EXPORT extern "C" __declspec(dllexport)
#else
#define SURVEYOR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using salvor::driveinfo::TheSurveyor;

SURVEYOR_EXPORT int GetVantorComponentPtr(void* /*reserved*/, salvor::IComponent* manager) {
  if (!manager) return 1;
  // Only the program's registry is joined; any other component is ignored.
  if (!salvor::SameComponentName(manager->GetComponentName(nullptr, 0), salvor::kComponentManagerName)) return 1;
  auto* registry = static_cast<salvor::IVantorComponentManager*>(
      manager->QueryInterface(salvor::kComponentManagerName, nullptr));
  salvor::SetComponentRegistry(registry);
  if (!registry) return 1;
  registry->RegisterComponent(salvor::kSurveyorComponentName, &TheSurveyor());
  salvor::RegisterCommandHandler(salvor::kCmdDriveInformation, &TheSurveyor());
  salvor::RegisterCommandHandler(salvor::kCmdDiskInformation, &TheSurveyor());
  return 1;
}
