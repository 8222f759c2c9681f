// The component interfaces across a real module boundary: the engine library
// is loaded by path, joins a registry implemented here, and each side calls
// the other by vtable slot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/component.h"
#include "platform/platform.h"

namespace salvor {
namespace {

// A registry that records what a library does with it.
class RecordingManager : public IVantorComponentManager {
 public:
  explicit RecordingManager(const WChar* name = kComponentManagerName) : name_(name) {}

  const WChar* GetComponentName(WChar* buffer, int count) override {
    ++name_queries;
    return CopyComponentName(name_, buffer, count);
  }
  void* QueryInterface(const WChar* name, IComponent*) override {
    return SameComponentName(name, name_) ? static_cast<IVantorComponentManager*>(this) : nullptr;
  }
  int RegisterComponent(const WChar* name, IComponent* component) override {
    registered.push_back({std::u16string(name), component});
    return 1;
  }
  int FindComponent(const WChar*, IComponent**) override { return 0; }
  int UnregisterComponent(IComponent*) override { return 0; }
  int GetComponentCount() override { return static_cast<int>(registered.size()); }
  int GetComponentAt(int, IComponent**) override { return 0; }

  struct Registration {
    std::u16string name;
    IComponent* component;
  };
  std::vector<Registration> registered;
  int name_queries = 0;

 private:
  const WChar* name_;
};

class EngineComponent : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::u16string path =
        platform::executable_directory() + platform::kPathSeparator + platform::library_file_name(u"Gleaner");
    ASSERT_TRUE(library_.load(path));
    join_ = reinterpret_cast<GetVantorComponentPtrFn>(library_.symbol("GetVantorComponentPtr"));
    ASSERT_NE(join_, nullptr);
  }

  platform::SharedLibrary library_;
  GetVantorComponentPtrFn join_ = nullptr;
  void* reserved_ = nullptr;
};

TEST_F(EngineComponent, JoinsTheRegistryAndAnswersToItsName) {
  RecordingManager manager;
  EXPECT_EQ(join_(&reserved_, &manager), 1);
  EXPECT_EQ(reserved_, nullptr);
  ASSERT_EQ(manager.registered.size(), 1u);
  EXPECT_EQ(manager.registered[0].name, u"ComponentName_Salvor_Engine");

  IComponent* engine = manager.registered[0].component;
  EXPECT_EQ(std::u16string(engine->GetComponentName(nullptr, 0)), u"ComponentName_Salvor_Engine");
  WChar buffer[8] = {u'x', u'x', u'x', u'x', u'x', u'x', u'x', u'x'};
  engine->GetComponentName(buffer, 5);
  EXPECT_EQ(std::u16string(buffer, 6), u"Compox") << "five units copied, no terminator added";
  EXPECT_EQ(engine->QueryInterface(u"ComponentName_Salvor_Engine", nullptr), engine);
  EXPECT_EQ(engine->QueryInterface(u"componentname_salvor_engine", nullptr), nullptr);
  EXPECT_EQ(engine->QueryInterface(u"IVantorComponentManager", nullptr), nullptr);

  auto* commands = dynamic_cast<IResponseCommand*>(engine);
  if (commands) {  // RTTI may not cross the boundary; the slot calls are what matter
    EXPECT_EQ(commands->OnDispatchCommand(u"Cmd_SV_DirveInformation", nullptr), 0);
    EXPECT_EQ(commands->OnDispatchCommand(1, 2), 0);
  }
}

TEST_F(EngineComponent, IgnoresForeignOrMissingRegistries) {
  EXPECT_EQ(join_(&reserved_, nullptr), 1);
  RecordingManager foreign(u"SomethingElse");
  EXPECT_EQ(join_(&reserved_, &foreign), 1);
  EXPECT_EQ(foreign.name_queries, 1);
  EXPECT_TRUE(foreign.registered.empty());
}

}  // namespace
}  // namespace salvor
