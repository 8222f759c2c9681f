// Surveyor.dll under Wine, bound by a program the way Salvor binds it: the
// drive-information request is answered from the real drive APIs, inside
// the request's send. Drive Y: is mapped to a FAT32 volume by
// surveyor_drive.sh before this test runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/hub.h"
#include "common/command_bus.h"
#include "common/drive_info.h"
#include "common/text.h"
#include "platform/platform.h"

namespace salvor::app {
namespace {

class DriveListHub : public CLeader {
 public:
  int OnDispatchCommand(const WChar* command, void* data) override {
    if (CommandNameEquals(command, kCmdBackDriveInfo) && data) {
      drives = *static_cast<const DriveInfoList*>(data);
      ++replies;
    }
    return 0;
  }
  using CLeader::OnDispatchCommand;
  DriveInfoList drives;
  int replies = 0;
};

const DriveInfo* FindRoot(const DriveInfoList& drives, std::u16string_view root) {
  for (const DriveInfo& drive : drives) {
    if (drive.RootPath == root) return &drive;
  }
  return nullptr;
}

// What surveyor_drive.sh did: "loop", "image", or "none: why".
std::string MappedDriveStatus() {
  const char* tmp = std::getenv("SALVOR_TEST_TMP");
  if (!tmp) return "none: SALVOR_TEST_TMP is not set";
  std::ifstream in(std::string(tmp) + "/surveyor-drive.status");
  std::string status;
  if (!std::getline(in, status)) return "none: no status file";
  return status;
}

TEST(SurveyorDll, AnswersTheRequestInsideItsSendWithTheDrivesOfThisMachine) {
  DriveListHub hub;
  ASSERT_TRUE(hub.StartComponentModel(platform::executable_directory())) << "Surveyor.dll not bound";
  hub.RegisterProgramCommands();
  std::u16string request = u"111";
  EXPECT_EQ(SendNamedCommand(kCmdDriveInformation, request.data()), 0);
  ASSERT_EQ(hub.replies, 1);  // already there when the send returned

  // Wine's drive C is a fixed drive reporting NTFS.
  const DriveInfo* c = FindRoot(hub.drives, u"C:\\");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->TypeText, u"Fixed Storage Device");
  EXPECT_EQ(c->FileSystem, u"NTFS");
  EXPECT_TRUE(c->SpaceKnown);
  EXPECT_GT(c->TotalGB, 0.0);
  for (size_t i = 1; i < hub.drives.size(); ++i) EXPECT_LT(hub.drives[i - 1].RootPath, hub.drives[i].RootPath);
}

TEST(SurveyorDll, ListsADriveMappedToAFat32Volume) {
  const std::string status = MappedDriveStatus();
  if (status.rfind("none", 0) == 0) GTEST_SKIP() << "drive Y: not mapped: " << status;
  DriveListHub hub;
  ASSERT_TRUE(hub.StartComponentModel(platform::executable_directory()));
  hub.RegisterProgramCommands();
  SendNamedCommand(kCmdDriveInformation, nullptr);
  const DriveInfo* y = FindRoot(hub.drives, u"Y:\\");
  ASSERT_NE(y, nullptr) << "Y: missing from the reply (" << status << ")";
  EXPECT_EQ(y->TypeText, u"Fixed Storage Device");
  EXPECT_TRUE(y->SpaceKnown);
  EXPECT_GT(y->TotalGB, 0.0);
  // Wine names the file system from the volume only when a block device
  // backs the drive; for an image file it says NTFS whatever the image holds.
  if (status == "loop") {
    EXPECT_EQ(y->FileSystem, u"FAT32");
  } else {
    EXPECT_EQ(y->FileSystem, u"NTFS");
  }
}

}  // namespace
}  // namespace salvor::app
