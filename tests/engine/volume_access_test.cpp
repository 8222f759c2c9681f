// Which device a drive path opens, image mounts, and what a failed open
// tells the debugger.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/volume_access.h"

namespace salvor::engine {
namespace {

TEST(VolumeAccess, DrivePathsNameTheVolumeDevice) {
  MountImage(u'E', u"");
  EXPECT_EQ(VolumeDevicePath(u"E:"), u"\\\\.\\E:");
  EXPECT_EQ(VolumeDevicePath(u"E:\\"), u"\\\\.\\E:");
  EXPECT_EQ(VolumeDevicePath(u"E:\\Photos\\2024"), u"\\\\.\\E:") << "only the letter and colon count";
}

TEST(VolumeAccess, FolderComponentsSkipTheDriveAndEmptyNames) {
  using Parts = std::vector<std::u16string_view>;
  EXPECT_EQ(*FolderComponents(u"E:\\"), Parts{});
  EXPECT_EQ(*FolderComponents(u"E:"), Parts{});
  EXPECT_EQ(*FolderComponents(u"E:\\Photos\\\\2024\\"), (Parts{u"Photos", u"2024"}));
  EXPECT_FALSE(FolderComponents(u"E:\\" + std::u16string(258, u'a'))) << "longer than a drive path can be";
}

TEST(VolumeAccess, MountedImagesReplaceTheirLetter) {
  ASSERT_TRUE(MountImage(u'k', u"/images/stick.img"));
  EXPECT_EQ(VolumeDevicePath(u"K:\\Docs"), u"/images/stick.img") << "letters match in either case";
  EXPECT_EQ(VolumeDevicePath(u"k:"), u"/images/stick.img");
  ASSERT_TRUE(MountImage(u'K', u""));
  EXPECT_EQ(VolumeDevicePath(u"K:"), u"\\\\.\\K:");
  EXPECT_FALSE(MountImage(u'1', u"/images/stick.img"));
  EXPECT_FALSE(MountImage(u'\0', u"/images/stick.img"));
}

TEST(VolumeAccess, FailedOpenKeepsAZeroedBootCopy) {
  ScannerVolume volume;
  volume.boot.fill(std::byte{0x55});
  MountImage(u'J', u"/nonexistent/salvor/volume.img");
#if !defined(_WIN32)
  ::testing::internal::CaptureStderr();
#endif
  EXPECT_FALSE(OpenVolume(u"J:\\", volume));
#if !defined(_WIN32)
  const std::string debug = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(debug.find("Open Path Fail\xEF\xBC\x81\n"), std::string::npos) << debug;
  EXPECT_NE(debug.find("Read Disk Fail\xEF\xBC\x81\n"), std::string::npos) << debug;
#endif
  for (std::byte b : volume.boot) ASSERT_EQ(b, std::byte{0});
  EXPECT_FALSE(OpenVolume(nullptr, volume));
  MountImage(u'J', u"");
}

}  // namespace
}  // namespace salvor::engine

#if !defined(_WIN32)
// Debugger output goes to stderr only when SALVOR_DEBUG is set, and the
// setting is read once, so set it before any test runs.
static const bool kDebugOutputOn = [] { return ::setenv("SALVOR_DEBUG", "1", 1) == 0; }();
#endif
