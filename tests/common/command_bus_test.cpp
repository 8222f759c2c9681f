// How a module finds the program's bus: through its registry, by the
// component "Command"; the bus is cached once found and looked up again
// after a failure.
#include "common/command_bus.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace salvor {
namespace {

// A registry that counts look-ups.
class FakeRegistry : public IVantorComponentManager {
 public:
  const WChar* GetComponentName(WChar* buffer, int count) override {
    return CopyComponentName(kComponentManagerName, buffer, count);
  }
  void* QueryInterface(const WChar*, IComponent*) override { return nullptr; }
  int RegisterComponent(const WChar* name, IComponent* component) override {
    return components.emplace(name, component).second ? 1 : 0;
  }
  int FindComponent(const WChar* name, IComponent** component) override {
    ++lookups;
    const auto it = components.find(name);
    if (it == components.end()) return 0;
    *component = it->second;
    return 1;
  }
  int UnregisterComponent(IComponent*) override { return 0; }
  int GetComponentCount() override { return static_cast<int>(components.size()); }
  int GetComponentAt(int, IComponent**) override { return 0; }

  std::map<std::u16string, IComponent*> components;
  int lookups = 0;
};

// A bus that records what it was asked to do.
class FakeBus : public ICommandMan, public IComponent {
 public:
  int RegisterCommand(const WChar* command, IResponseCommand*) override {
    last = command;
    return 7;
  }
  int RegisterCommandRange(int, int, IResponseCommand*) override { return 0; }
  int RegisterCommandId(int, IResponseCommand*) override { return 0; }
  int SendCommand(const WChar* command, void* data) override {
    last = command;
    last_data = data;
    return 5;
  }
  int SendCommandId(int, uint32_t) override { return 0; }
  int UnregisterCommand(const WChar*) override { return 0; }
  int UnregisterCommandId(int) override { return 0; }
  const WChar* GetComponentName(WChar* buffer, int count) override {
    return CopyComponentName(kCommandComponentName, buffer, count);
  }
  void* QueryInterface(const WChar* name, IComponent*) override {
    return answer && SameComponentName(name, kCommandComponentName) ? static_cast<ICommandMan*>(this) : nullptr;
  }

  std::u16string last;
  void* last_data = nullptr;
  bool answer = true;
};

class CommandBusTest : public ::testing::Test {
 protected:
  void TearDown() override { SetComponentRegistry(nullptr); }
  FakeRegistry registry;
  FakeBus bus;
};

TEST_F(CommandBusTest, NothingIsSentWithoutARegistryOrBus) {
  SetComponentRegistry(nullptr);
  EXPECT_EQ(SendNamedCommand(kCmdBackDriveInfo, nullptr), 0);
  EXPECT_EQ(RegisterCommandHandler(kCmdBackDriveInfo, nullptr), 0);

  SetComponentRegistry(&registry);
  EXPECT_EQ(SendNamedCommand(kCmdBackDriveInfo, nullptr), 0);  // no "Command" registered
  registry.RegisterComponent(kCommandComponentName, nullptr);
  EXPECT_EQ(SendNamedCommand(kCmdBackDriveInfo, nullptr), 0);  // registered as null
  EXPECT_TRUE(bus.last.empty());
}

TEST_F(CommandBusTest, AFailedResolutionIsRetriedAndASuccessfulOneCached) {
  SetComponentRegistry(&registry);
  registry.RegisterComponent(kCommandComponentName, static_cast<IComponent*>(&bus));
  bus.answer = false;  // the component does not give out its bus view yet
  EXPECT_EQ(SendNamedCommand(kCmdIsHaveDisk, nullptr), 0);
  EXPECT_EQ(registry.lookups, 1);

  bus.answer = true;
  int data = 0;
  EXPECT_EQ(SendNamedCommand(u"cmd_sv_ishavedisk", &data), 5);
  EXPECT_EQ(bus.last, u"cmd_sv_ishavedisk");  // passed on exactly as given
  EXPECT_EQ(bus.last_data, &data);
  EXPECT_EQ(RegisterCommandHandler(kCmdBackDriveInfo, nullptr), 7);
  EXPECT_EQ(registry.lookups, 2);  // found once, then cached
}

TEST_F(CommandBusTest, AnotherRegistryForgetsTheCachedBus) {
  SetComponentRegistry(&registry);
  registry.RegisterComponent(kCommandComponentName, static_cast<IComponent*>(&bus));
  EXPECT_EQ(SendNamedCommand(kCmdBackDriveInfo, nullptr), 5);

  FakeRegistry other;
  SetComponentRegistry(&other);
  EXPECT_EQ(SendNamedCommand(kCmdBackDriveInfo, nullptr), 0);
  EXPECT_EQ(other.lookups, 1);
}

TEST(CommandNameEqualsTest, IgnoresCaseButNotLength) {
  EXPECT_TRUE(CommandNameEquals(u"CMD_SV_DIRVEINFORMATION", kCmdDriveInformation));
  EXPECT_TRUE(CommandNameEquals(u"cmd_sv_dirveinformation", kCmdDriveInformation));
  EXPECT_FALSE(CommandNameEquals(u"Cmd_SV_Dirve", kCmdDriveInformation));
  EXPECT_FALSE(CommandNameEquals(u"", kCmdDriveInformation));
  EXPECT_FALSE(CommandNameEquals(nullptr, kCmdDriveInformation));
}

}  // namespace
}  // namespace salvor
