// The registry and the bus on their own: name rules, duplicates, the id
// table, enumeration order and re-entrant dispatch.
#include "app/core/component_manager.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace salvor::app {
namespace {

// A handler that records every call and answers with `result`.
class RecordingHandler : public IResponseCommand {
 public:
  explicit RecordingHandler(int result = 0) : result(result) {}
  int OnDispatchCommand(const WChar* command, void* data) override {
    names.emplace_back(command);
    last_data = data;
    return result;
  }
  int OnDispatchCommand(int id, uint32_t parameter) override {
    ids.push_back(id);
    last_parameter = parameter;
    return result;
  }
  int result;
  std::vector<std::u16string> names;
  std::vector<int> ids;
  void* last_data = nullptr;
  uint32_t last_parameter = 0;
};

// A component with a fixed name.
class NamedComponent : public IComponent {
 public:
  explicit NamedComponent(const WChar* name) : name_(name) {}
  const WChar* GetComponentName(WChar* buffer, int count) override { return CopyComponentName(name_, buffer, count); }
  void* QueryInterface(const WChar* name, IComponent*) override {
    return SameComponentName(name, name_) ? this : nullptr;
  }

 private:
  const WChar* name_;
};

std::u16string NameAt(CComponentManager& manager, int index) {
  IComponent* component = nullptr;
  if (!manager.GetComponentAt(index, &component) || !component) return u"<none>";
  return component->GetComponentName(nullptr, 0);
}

TEST(ComponentManagerTest, EnumeratesInCodeUnitOrderWithinBounds) {
  CComponentManager manager;
  NamedComponent dll(kSurveyorComponentName), command(u"Command"), lower(u"command");
  ASSERT_EQ(manager.RegisterComponent(manager.GetComponentName(nullptr, 0), &manager), 1);
  ASSERT_EQ(manager.RegisterComponent(kSurveyorComponentName, &dll), 1);
  ASSERT_EQ(manager.RegisterComponent(u"Command", &command), 1);
  ASSERT_EQ(manager.RegisterComponent(u"command", &lower), 1);  // names are case-sensitive keys
  ASSERT_EQ(manager.GetComponentCount(), 4);

  EXPECT_EQ(NameAt(manager, 0), u"Command");
  EXPECT_EQ(NameAt(manager, 1), u"ComponentName_Salvor_DllMain");
  EXPECT_EQ(NameAt(manager, 2), u"IVantorComponentManager");
  EXPECT_EQ(NameAt(manager, 3), u"command");  // 'c' sorts after every capital

  IComponent* out = &command;
  EXPECT_EQ(manager.GetComponentAt(4, &out), 0);  // index equal to the count
  EXPECT_EQ(manager.GetComponentAt(5, &out), 0);
  EXPECT_EQ(manager.GetComponentAt(-1, &out), 0);
  EXPECT_EQ(out, &command);  // left alone on failure
}

TEST(ComponentManagerTest, RegistersANameOnceAndFindsItExactly) {
  CComponentManager manager;
  NamedComponent first(u"A"), second(u"A");
  EXPECT_EQ(manager.RegisterComponent(u"Name", &first), 1);
  EXPECT_EQ(manager.RegisterComponent(u"Name", &second), 0);
  EXPECT_EQ(manager.RegisterComponent(u"Null", nullptr), 1);

  IComponent* found = nullptr;
  EXPECT_EQ(manager.FindComponent(u"Name", &found), 1);
  EXPECT_EQ(found, &first);
  found = &second;
  EXPECT_EQ(manager.FindComponent(u"name", &found), 0);
  EXPECT_EQ(found, &second);  // left alone when absent
  EXPECT_EQ(manager.FindComponent(u"Null", &found), 1);
  EXPECT_EQ(found, nullptr);
}

TEST(ComponentManagerTest, UnregistersTheFirstEntryInNameOrderHoldingTheComponent) {
  CComponentManager manager;
  NamedComponent shared(u"X");
  manager.RegisterComponent(u"b", &shared);
  manager.RegisterComponent(u"a", &shared);
  EXPECT_EQ(manager.UnregisterComponent(&shared), 1);
  IComponent* found = nullptr;
  EXPECT_EQ(manager.FindComponent(u"a", &found), 0);
  EXPECT_EQ(manager.FindComponent(u"b", &found), 1);
  EXPECT_EQ(manager.UnregisterComponent(&shared), 1);
  EXPECT_EQ(manager.UnregisterComponent(&shared), 0);
}

TEST(ComponentManagerTest, AnswersToItsOwnNameOnly) {
  CComponentManager manager;
  EXPECT_EQ(manager.QueryInterface(kComponentManagerName, nullptr), static_cast<IVantorComponentManager*>(&manager));
  EXPECT_EQ(manager.QueryInterface(u"ivantorcomponentmanager", nullptr), nullptr);
  WChar buffer[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
  manager.GetComponentName(buffer, 5);
  EXPECT_EQ(std::u16string(buffer, 6), u"IVant#");  // five units, no terminator
}

TEST(CommandBusTest, NamesMatchCaseInsensitivelyAndReachTheHandlerAsGiven) {
  CCommand bus;
  RecordingHandler main_window(0), surveyor(9);
  ASSERT_EQ(bus.RegisterCommand(u"Cmd_SV_DirveInformation", &surveyor), 1);
  int data = 0;
  EXPECT_EQ(bus.SendCommand(u"cmd_sv_dirveinformation", &data), 9);
  ASSERT_EQ(surveyor.names.size(), 1u);
  EXPECT_EQ(surveyor.names[0], u"cmd_sv_dirveinformation");
  EXPECT_EQ(surveyor.last_data, &data);

  EXPECT_EQ(bus.SendCommand(u"Cmd_SV_Dirve", &data), 0);  // a prefix is another name
  EXPECT_EQ(bus.SendCommand(u"Cmd_SV_Unknown", &data), 0);
  EXPECT_EQ(bus.SendCommand(nullptr, &data), 0);
  EXPECT_EQ(surveyor.names.size(), 1u);
}

TEST(CommandBusTest, ASecondRegistrationOfANameIsRefusedInAnyCase) {
  CCommand bus;
  RecordingHandler first, second;
  EXPECT_EQ(bus.RegisterCommand(u"Cmd_SV_ISHAVEDISK", &first), 1);
  EXPECT_EQ(bus.RegisterCommand(u"Cmd_SV_ISHAVEDISK", &second), 0);
  EXPECT_EQ(bus.RegisterCommand(u"cmd_sv_ishavedisk", &second), 0);
  EXPECT_EQ(bus.RegisterCommand(u"Cmd_SV_ISHAVEDISK", &first), 0);
  EXPECT_EQ(bus.RegisterCommand(u"Other", nullptr), 0);
  bus.SendCommand(u"Cmd_SV_ISHAVEDISK", nullptr);
  EXPECT_EQ(first.names.size(), 1u);
  EXPECT_TRUE(second.names.empty());

  // Unregistering closes the gap and frees the name.
  EXPECT_EQ(bus.UnregisterCommand(u"CMD_SV_ISHAVEDISK"), 1);
  EXPECT_EQ(bus.UnregisterCommand(u"Cmd_SV_ISHAVEDISK"), 0);
  EXPECT_EQ(bus.RegisterCommand(u"Cmd_SV_ISHAVEDISK", &second), 1);
  bus.SendCommand(u"Cmd_SV_ISHAVEDISK", nullptr);
  EXPECT_EQ(second.names.size(), 1u);
}

TEST(CommandBusTest, IdTableCallsOnlyTheFirstHandlerOfAnId) {
  CCommand bus;
  RecordingHandler first(1), second(2);
  EXPECT_EQ(bus.RegisterCommandId(7, &first), 1);
  EXPECT_EQ(bus.RegisterCommandId(7, &first), 0);   // the very pair again
  EXPECT_EQ(bus.RegisterCommandId(7, &second), 1);  // another handler for the id
  EXPECT_EQ(bus.RegisterCommandId(8, nullptr), 0);
  EXPECT_EQ(bus.SendCommandId(7, 0xDEADBEEF), 1);
  EXPECT_EQ(first.last_parameter, 0xDEADBEEFu);
  EXPECT_TRUE(second.ids.empty());
  EXPECT_EQ(bus.SendCommandId(8, 0), 0);

  EXPECT_EQ(bus.UnregisterCommandId(7), 1);  // removes the first entry only
  EXPECT_EQ(bus.SendCommandId(7, 0), 2);
  EXPECT_EQ(bus.UnregisterCommandId(7), 1);
  EXPECT_EQ(bus.UnregisterCommandId(7), 0);
}

// Counts what RegisterCommandRange passes through the virtual slot.
class CountingBus : public CCommand {
 public:
  int RegisterCommandId(int id, IResponseCommand* handler) override {
    seen.push_back(id);
    return CCommand::RegisterCommandId(id, handler);
  }
  std::vector<int> seen;
};

TEST(CommandBusTest, RegisterCommandRangeCoversItsBoundsThroughTheVirtualSlot) {
  CountingBus bus;
  RecordingHandler handler;
  EXPECT_EQ(bus.RegisterCommandRange(5, 3, &handler), 1);
  EXPECT_TRUE(bus.seen.empty());
  EXPECT_EQ(bus.SendCommandId(4, 0), 0);

  EXPECT_EQ(bus.RegisterCommandRange(3, 5, &handler), 1);
  EXPECT_EQ(bus.seen, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(bus.RegisterCommandRange(3, 5, &handler), 1);  // 1 although every pair is refused
  for (int id : {3, 4, 5}) bus.SendCommandId(id, 0);
  EXPECT_EQ(handler.ids, (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(bus.SendCommandId(2, 0) + bus.SendCommandId(6, 0), 0);

  bus.seen.clear();
  EXPECT_EQ(bus.RegisterCommandRange(INT_MAX - 1, INT_MAX, &handler), 1);  // ends although ++INT_MAX cannot
  EXPECT_EQ(bus.seen, (std::vector<int>{INT_MAX - 1, INT_MAX}));
}

// A handler that registers many commands and sends another while it is
// being dispatched, as a library answering a request does.
class ReentrantHandler : public IResponseCommand {
 public:
  explicit ReentrantHandler(CCommand& bus) : bus_(bus) {}
  int OnDispatchCommand(const WChar* command, void*) override {
    if (CommandNameEquals(command, u"Request")) {
      for (int i = 0; i < 64; ++i) bus_.RegisterCommand((u"Extra" + std::u16string(1, u'A' + i % 26) +
                                                         std::u16string(1, u'A' + i / 26)).c_str(), this);
      bus_.SendCommand(u"Reply", nullptr);
      log.push_back(u"request done");
      return 4;
    }
    return 0;
  }
  int OnDispatchCommand(int, uint32_t) override { return 0; }
  std::vector<std::u16string> log;

 private:
  CCommand& bus_;
};

class ReplyHandler : public IResponseCommand {
 public:
  explicit ReplyHandler(std::vector<std::u16string>& log) : log_(log) {}
  int OnDispatchCommand(const WChar*, void*) override {
    log_.push_back(u"reply");
    return 0;
  }
  int OnDispatchCommand(int, uint32_t) override { return 0; }

 private:
  std::vector<std::u16string>& log_;
};

TEST(CommandBusTest, AHandlerMaySendAndRegisterWhileDispatched) {
  CCommand bus;
  ReentrantHandler library(bus);
  ReplyHandler program(library.log);
  bus.RegisterCommand(u"Request", &library);
  bus.RegisterCommand(u"Reply", &program);
  EXPECT_EQ(bus.SendCommand(u"Request", nullptr), 4);
  EXPECT_EQ(library.log, (std::vector<std::u16string>{u"reply", u"request done"}));
}

TEST(CommandBusTest, AnswersAsCommandWithItsBusView) {
  CCommand bus;
  IComponent& component = bus;
  EXPECT_EQ(component.QueryInterface(u"Command", nullptr), static_cast<ICommandMan*>(&bus));
  EXPECT_EQ(component.QueryInterface(u"command", nullptr), nullptr);
  EXPECT_EQ(std::u16string(component.GetComponentName(nullptr, 0)), u"Command");
}

}  // namespace
}  // namespace salvor::app
