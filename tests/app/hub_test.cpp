// The hub's start-up and the binding of component libraries, with the real
// Surveyor library: registry contents, the drive-information conversation,
// and libraries or managers that are not what they should be.
#include "app/core/hub.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/drive_survey.h"
#include "common/command_bus.h"
#include "common/drive_info.h"
#include "common/text.h"
#include "platform/platform.h"
#include "tests/fixtures/temp_files.h"

namespace salvor::app {
namespace {

// A hub that logs the commands it handles, like the main window does.
class RecordingHub : public CLeader {
 public:
  int OnDispatchCommand(const WChar* command, void* data) override {
    log.emplace_back(command);
    if (CommandNameEquals(command, kCmdBackDriveInfo)) {
      reply_data = data;
      if (data) drives = *static_cast<const DriveInfoList*>(data);
    }
    return 0;
  }
  using CLeader::OnDispatchCommand;

  std::vector<std::u16string> log;
  void* reply_data = nullptr;
  DriveInfoList drives;
};

std::u16string ProgramDirectory() { return platform::executable_directory(); }

std::vector<std::u16string> RegistryNames(CComponentManager& manager) {
  std::vector<std::u16string> names;
  for (int i = 0; i < manager.GetComponentCount(); ++i) {
    IComponent* component = nullptr;
    if (manager.GetComponentAt(i, &component) && component) names.emplace_back(component->GetComponentName(nullptr, 0));
  }
  return names;
}

TEST(HubTest, StartUpRegistersTheHubAndSurveyorInNameOrder) {
  RecordingHub hub;
  ASSERT_TRUE(hub.StartComponentModel(ProgramDirectory()));
  hub.RegisterProgramCommands();
  EXPECT_EQ(RegistryNames(hub.Manager()), (std::vector<std::u16string>{u"Command", u"ComponentName_Salvor_DllMain",
                                                                       u"IVantorComponentManager"}));

  for (const WChar* command : {kCmdIsHaveDisk, kCmdUserClickScanButton, kCmdUserClickFormatScan}) {
    EXPECT_EQ(SendNamedCommand(command, const_cast<char16_t*>(u"0")), 0);
  }
  EXPECT_EQ(hub.log, (std::vector<std::u16string>{kCmdIsHaveDisk, kCmdUserClickScanButton, kCmdUserClickFormatScan}));

  // Surveyor's component answers to its name only.
  IComponent* surveyor = nullptr;
  ASSERT_EQ(hub.Manager().FindComponent(kSurveyorComponentName, &surveyor), 1);
  EXPECT_EQ(surveyor->QueryInterface(kSurveyorComponentName, nullptr), surveyor);
  EXPECT_EQ(surveyor->QueryInterface(u"componentname_salvor_dllmain", nullptr), nullptr);
}

TEST(HubTest, TheReplyIsHandledBeforeTheRequestReturns) {
  RecordingHub hub;
  ASSERT_TRUE(hub.StartComponentModel(ProgramDirectory()));
  hub.RegisterProgramCommands();
  std::u16string request = u"111";
  // Written in lower case, the request still reaches Surveyor.
  const int result = SendNamedCommand(u"cmd_sv_dirveinformation", request.data());
  hub.log.push_back(u"request returned");
  EXPECT_EQ(result, 0);
  ASSERT_EQ(hub.log, (std::vector<std::u16string>{kCmdBackDriveInfo, u"request returned"}));
  EXPECT_NE(hub.reply_data, nullptr);  // also when no drive qualifies
  for (const DriveInfo& drive : hub.drives) {
    EXPECT_TRUE(drive.FileSystem == u"FAT" || drive.FileSystem == u"FAT32" || drive.FileSystem == u"EXFAT" ||
                drive.FileSystem == u"NTFS")
        << text::to_utf8(drive.RootPath);
    EXPECT_GT(drive.TotalGB, 0.00001);
  }
}

TEST(HubTest, WithoutSurveyorTheRequestFindsNoHandler) {
  RecordingHub hub;
  EXPECT_FALSE(hub.StartComponentModel(text::from_utf8(salvor::testing::MakeTempDir())));
  hub.RegisterProgramCommands();
  EXPECT_EQ(RegistryNames(hub.Manager()), (std::vector<std::u16string>{u"Command", u"IVantorComponentManager"}));
  EXPECT_EQ(SendNamedCommand(kCmdDriveInformation, nullptr), 0);
  EXPECT_TRUE(hub.log.empty());

  DriveSurvey survey;
  EXPECT_FALSE(survey.Start(text::from_utf8(salvor::testing::MakeTempDir())));
  EXPECT_FALSE(survey.Request().has_value());
}

TEST(HubTest, BindingRefusesWhatIsNotAComponentLibrary) {
  RecordingHub hub;
  hub.StartComponentModel(text::from_utf8(salvor::testing::MakeTempDir()));
  EXPECT_EQ(BindComponentLibrary(hub, ComponentLibraryPath(ProgramDirectory(), u"NoSuchLibrary")), 0);
  EXPECT_EQ(BindComponentLibrary(hub, ComponentLibraryPath(ProgramDirectory(), u"salvor_noexport")), 0);
  EXPECT_EQ(hub.Manager().GetComponentCount(), 2);

  // Binding Surveyor twice: the second registrations are refused, the
  // export still answers 1, and a request is answered once.
  const std::u16string surveyor = ComponentLibraryPath(ProgramDirectory(), u"Surveyor");
  EXPECT_EQ(BindComponentLibrary(hub, surveyor), 1);
  EXPECT_EQ(BindComponentLibrary(hub, surveyor), 1);
  EXPECT_EQ(hub.Manager().GetComponentCount(), 3);
  hub.RegisterProgramCommands();
  SendNamedCommand(kCmdDriveInformation, nullptr);
  EXPECT_EQ(hub.log, (std::vector<std::u16string>{kCmdBackDriveInfo}));
}

// Stands in for whatever a library might be given instead of the registry.
class SpyComponent : public IComponent {
 public:
  explicit SpyComponent(const WChar* name) : name_(name) {}
  const WChar* GetComponentName(WChar* buffer, int count) override { return CopyComponentName(name_, buffer, count); }
  void* QueryInterface(const WChar*, IComponent*) override {
    ++queries;
    return nullptr;
  }
  int queries = 0;

 private:
  const WChar* name_;
};

TEST(HubTest, SurveyorIgnoresANullOrForeignManager) {
  platform::SharedLibrary library;
  ASSERT_TRUE(library.load(ComponentLibraryPath(ProgramDirectory(), u"Surveyor")));
  auto* join = reinterpret_cast<GetVantorComponentPtrFn>(library.symbol("GetVantorComponentPtr"));
  ASSERT_NE(join, nullptr);
  void* reserved = nullptr;

  EXPECT_EQ(join(&reserved, nullptr), 1);

  SpyComponent foreign(u"Command");
  EXPECT_EQ(join(&reserved, &foreign), 1);
  EXPECT_EQ(foreign.queries, 0);  // not even asked for an interface

  // Named like the registry but without the interface behind the name.
  SpyComponent impostor(kComponentManagerName);
  EXPECT_EQ(join(&reserved, &impostor), 1);
  EXPECT_EQ(impostor.queries, 1);

  // A registry without a bus: the component registers, the command cannot.
  CComponentManager lone;
  EXPECT_EQ(join(&reserved, &lone), 1);
  EXPECT_EQ(RegistryNames(lone), (std::vector<std::u16string>{u"ComponentName_Salvor_DllMain"}));
  EXPECT_EQ(reserved, nullptr);
}

}  // namespace
}  // namespace salvor::app
