// Surveyor on Linux against real block devices: FAT32 and exFAT images
// attached to loop devices (losetup; needs root), asked for through the
// program's hub and through salvor-cli. Skipped where loop devices cannot be
// attached. Every device and mount is released, also when a check fails.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "app/core/drive_survey.h"
#include "common/text.h"
#include "platform/platform.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

constexpr const char* kLoopVariable = "SALVOR_SURVEYOR_LOOP";

bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Standard output of `command`, and whether it exited with 0.
std::pair<std::string, bool> Capture(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return {out, false};
  std::array<char, 4096> chunk{};
  while (size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) out.append(chunk.data(), n);
  return {out, ::pclose(pipe) == 0};
}

// An image file with a fresh file system, attached to a loop device.
class LoopVolume {
 public:
  LoopVolume(const std::string& mkfs, const std::string& name) {
    image_ = testing::TempPath(name);
    if (!RunQuietly("truncate -s 40M '" + image_ + "' && " + mkfs + " '" + image_ + "'")) return;
    auto [out, ok] = Capture("losetup -f --show '" + image_ + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    if (ok && out.rfind("/dev/loop", 0) == 0) device_ = out;
  }
  ~LoopVolume() {
    if (!mount_point_.empty()) RunQuietly("fusermount -u '" + mount_point_ + "' || umount '" + mount_point_ + "'");
    if (!device_.empty()) RunQuietly("losetup -d " + device_);
    std::remove(image_.c_str());
  }
  const std::string& device() const { return device_; }
  bool MountExFatReadOnly() {
    const std::string dir = testing::MakeTempDir();
    if (!RunQuietly("mount.exfat-fuse -o ro " + device_ + " '" + dir + "'")) return false;
    mount_point_ = dir;
    return true;
  }

 private:
  std::string image_;
  std::string device_;
  std::string mount_point_;
};

bool LoopDevicesAvailable() { return RunQuietly("command -v losetup") && RunQuietly("command -v mkfs.fat"); }

std::optional<DriveInfo> Survey(const std::string& device, bool include_loop) {
  if (include_loop) {
    ::setenv(kLoopVariable, "1", 1);
  } else {
    ::unsetenv(kLoopVariable);
  }
  app::DriveSurvey survey;
  EXPECT_TRUE(survey.Start(platform::executable_directory()));
  const auto drives = survey.Request();
  ::unsetenv(kLoopVariable);
  EXPECT_TRUE(drives.has_value());
  if (!drives) return std::nullopt;
  for (const DriveInfo& drive : *drives) {
    if (drive.RootPath == text::from_utf8(device)) return drive;
  }
  return std::nullopt;
}

TEST(SurveyorLinuxTest, AnUnmountedFat32LoopDeviceIsListedWhenAsked) {
  if (!LoopDevicesAvailable()) GTEST_SKIP() << "losetup or mkfs.fat missing";
  LoopVolume volume("mkfs.fat -F 32", "surveyor-fat32.img");
  if (volume.device().empty()) GTEST_SKIP() << "cannot attach a loop device here (not root?)";

  EXPECT_FALSE(Survey(volume.device(), false)) << "loop devices are listed only on request";
  const auto drive = Survey(volume.device(), true);
  ASSERT_TRUE(drive) << volume.device() << " not listed";
  EXPECT_EQ(drive->FileSystem, u"FAT32");
  EXPECT_EQ(drive->TypeText, u"Fixed Storage Device");
  EXPECT_DOUBLE_EQ(drive->TotalGB, 40.0 / 1024.0);  // the device size
  EXPECT_FALSE(drive->SpaceKnown);                    // not mounted
  EXPECT_DOUBLE_EQ(drive->FreeGB, 0.0);

  // What a user sees, and the root taken as the source of a scan.
  const std::string cli = text::to_utf8(platform::executable_directory()) + "/salvor-cli";
  const auto [json, json_ok] = Capture(cli + " drives --loop --json");
  EXPECT_TRUE(json_ok);
  EXPECT_NE(json.find("{\"root\":\"" + volume.device() +
                      "\",\"type\":\"Fixed Storage Device\",\"file_system\":\"FAT32\","
                      "\"total_bytes\":41943040,\"total_gb\":0.04,\"free_bytes\":null,\"free_gb\":null,"
                      "\"space_known\":false}"),
            std::string::npos)
      << json;
  const auto [table, table_ok] = Capture(cli + " drives --loop");
  EXPECT_TRUE(table_ok);
  EXPECT_NE(table.find(volume.device()), std::string::npos) << table;
  EXPECT_NE(table.find("0.04 GB"), std::string::npos) << table;
  EXPECT_NE(table.find("unknown"), std::string::npos) << table;
  const auto [plain, plain_ok] = Capture(cli + " drives --json");
  EXPECT_TRUE(plain_ok);
  EXPECT_EQ(plain.find(volume.device()), std::string::npos) << plain;
  EXPECT_TRUE(Capture(cli + " scan " + volume.device() + " --all").second);
}

TEST(SurveyorLinuxTest, AMountedExFatVolumeHasItsFreeSpace) {
  if (!LoopDevicesAvailable() || !RunQuietly("command -v mkfs.exfat") || !RunQuietly("command -v mount.exfat-fuse")) {
    GTEST_SKIP() << "exfatprogs or exfat-fuse missing";
  }
  LoopVolume volume("mkfs.exfat", "surveyor-exfat.img");
  if (volume.device().empty()) GTEST_SKIP() << "cannot attach a loop device here (not root?)";
  if (!volume.MountExFatReadOnly()) GTEST_SKIP() << "cannot mount with FUSE here";

  const auto drive = Survey(volume.device(), true);
  ASSERT_TRUE(drive) << volume.device() << " not listed";
  EXPECT_EQ(drive->FileSystem, u"EXFAT");
  EXPECT_TRUE(drive->SpaceKnown);
  EXPECT_GT(drive->FreeGB, 0.0);
  EXPECT_LE(drive->FreeGB, drive->TotalGB);
  EXPECT_NEAR(drive->UsedGB, drive->TotalGB - drive->FreeGB, 1e-9);
}

}  // namespace
}  // namespace salvor
