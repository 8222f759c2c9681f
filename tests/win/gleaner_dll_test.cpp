// Gleaner.dll as the program binds it: loaded by full path from the test's
// own directory, exports looked up by their undecorated names, and a FAT32
// Quick Scan of an image whose records come back by value across the
// library boundary.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "engine/gleaner_api.h"
#include "tests/fixtures/temp_files.h"
#include "tests/win/sample_volume.h"
#include "tests/win/win_test_paths.h"

namespace salvor {
namespace {

struct Exports {
  InitReEngineFn InitReEngine = nullptr;
  ReScanFatDiskFn ReScanFatDisk = nullptr;
  ReFatDirectoryFn ReFatDirectory = nullptr;
  ReSearchClusterFn ReSearchCluster = nullptr;
  ReInitFatExFn ReInitFatEx = nullptr;
  ReMountImageFn ReMountImage = nullptr;
  int (*GetVantorComponentPtr)(void*, IComponent*) = nullptr;
};

template <typename Fn>
void Resolve(HMODULE module, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

uint32_t Collect(_FileInfoFat record, void* user) {
  static_cast<std::vector<_FileInfoFat>*>(user)->push_back(record);
  return 0;
}

std::string Utf8(const RcWString& text) { return text::to_utf8(text.view()); }

// The part after the last backslash.
std::string NameOf(const _FileInfoFat& record) {
  const std::string path = Utf8(record.FullPath);
  return path.substr(path.rfind('\\') + 1);
}

class GleanerDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::wstring path = testing::ExecutableDirectory() + L"\\Gleaner.dll";
    module_ = LoadLibraryW(path.c_str());
    load_error_ = module_ ? 0 : GetLastError();
    if (!module_) return;
    Resolve(module_, "InitReEngine", exports_.InitReEngine);
    Resolve(module_, "ReScanFatDisk", exports_.ReScanFatDisk);
    Resolve(module_, "ReFatDirectory", exports_.ReFatDirectory);
    Resolve(module_, "ReSearchCluster", exports_.ReSearchCluster);
    Resolve(module_, "ReInitFatEx", exports_.ReInitFatEx);
    Resolve(module_, "ReMountImage", exports_.ReMountImage);
    Resolve(module_, "GetVantorComponentPtr", exports_.GetVantorComponentPtr);
  }

  void SetUp() override {
    ASSERT_NE(module_, nullptr) << "LoadLibraryW(Gleaner.dll) failed with error " << load_error_;
    ASSERT_NE(exports_.InitReEngine, nullptr);
    ASSERT_NE(exports_.ReScanFatDisk, nullptr);
    ASSERT_NE(exports_.ReFatDirectory, nullptr);
    ASSERT_NE(exports_.ReSearchCluster, nullptr);
    ASSERT_NE(exports_.ReInitFatEx, nullptr);
    ASSERT_NE(exports_.ReMountImage, nullptr);
    ASSERT_NE(exports_.GetVantorComponentPtr, nullptr);
  }

  static HMODULE module_;
  static DWORD load_error_;
  static Exports exports_;
};

HMODULE GleanerDll::module_ = nullptr;
DWORD GleanerDll::load_error_ = 0;
Exports GleanerDll::exports_;

TEST_F(GleanerDll, QuickScanOfAMountedImage) {
  const std::string image = testing::TempPath("gleaner-dll-sample.img");
  testing::SampleVolume().save(image);
  ASSERT_TRUE(exports_.ReMountImage(u'T', text::from_utf8(image).c_str()));
  ASSERT_TRUE(exports_.InitReEngine(kVolumeFat32, u"T:\\"));

  std::vector<_FileInfoFat> root;
  ASSERT_TRUE(exports_.ReScanFatDisk(Collect, &root, 0, nullptr));
  ASSERT_EQ(root.size(), 3u) << "the volume label is not reported";

  EXPECT_EQ(Utf8(root[0].FullPath).substr(0, 3), "T:\\");
  EXPECT_EQ(NameOf(root[0]), "README.TXT");
  EXPECT_EQ(root[0].DeleteState, kPresent);
  EXPECT_EQ(root[0].EntryType, kEntryFile);
  EXPECT_EQ(root[0].FirstCluster, 10u);
  EXPECT_EQ(root[0].FileSize, 5u);
  EXPECT_EQ(root[0].Year, 2012);
  EXPECT_EQ(root[0].Month, 5);
  EXPECT_EQ(root[0].Day, 17);
  EXPECT_EQ(root[0].Hour, 9);
  EXPECT_EQ(root[0].Minute, 30);

  EXPECT_EQ(NameOf(root[1]), "Deleted report.txt");
  EXPECT_EQ(root[1].DeleteState, kDeleted);
  EXPECT_EQ(root[1].FirstCluster, 11u);
  EXPECT_EQ(root[1].FileSize, 1234u);

  EXPECT_EQ(NameOf(root[2]), "DOCS");
  EXPECT_EQ(root[2].EntryType, kEntryFolder);
  EXPECT_EQ(root[2].DeleteState, kPresent);
  EXPECT_EQ(root[2].FirstCluster, testing::kSampleDocsCluster);
  for (const auto& record : root) {
    EXPECT_EQ(record.Folder, 0u);
    EXPECT_EQ(record.ParentFolder, 0u);
  }

  // The folder's contents, as the program asks for them: its own path goes
  // into the library by value, the records come back by value.
  EXPECT_TRUE(exports_.ReFatDirectory(testing::kSampleDocsCluster, &root[2]));
  EXPECT_FALSE(exports_.ReFatDirectory(10, nullptr)) << "cluster 10 holds no folder";
  std::vector<_FileInfoFat> docs;
  ASSERT_TRUE(exports_.ReSearchCluster(RcWString(u"T:\\DOCS"), nullptr, testing::kSampleDocsCluster, nullptr,
                                       Collect, &docs));
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(Utf8(docs[0].FullPath), "T:\\DOCS\\_LD.TXT");
  EXPECT_EQ(docs[0].DeleteState, kDeleted);
  EXPECT_EQ(docs[0].FileSize, 77u);
  EXPECT_EQ(docs[1].FullPath.view(), u"T:\\DOCS\\Notes \u00e9t\u00e9.txt");
  EXPECT_EQ(docs[1].DeleteState, kPresent);
  for (const auto& record : docs) {
    EXPECT_EQ(record.Folder, testing::kSampleDocsCluster);
    EXPECT_EQ(record.ParentFolder, 0u);
  }

  // Copies made here of records made there share the library's string;
  // releasing them here must leave the others intact.
  {
    std::vector<_FileInfoFat> copies(docs.begin(), docs.end());
    copies.clear();
  }
  EXPECT_EQ(Utf8(docs[0].FullPath), "T:\\DOCS\\_LD.TXT");

  uint32_t found = 0;
  EXPECT_TRUE(exports_.ReSearchCluster(RcWString(), u"readme.txt", 2, &found, nullptr, nullptr));
  EXPECT_EQ(found, 10u);

  EXPECT_TRUE(exports_.ReMountImage(u'T', nullptr));
}

TEST_F(GleanerDll, ComponentExportRefusesAMissingManager) {
  EXPECT_EQ(exports_.GetVantorComponentPtr(nullptr, nullptr), 1);
}

// The volume path the program really uses: \\.\X: opened raw, with reads
// kept to whole sectors. scripts/lib/wine.sh links drive X of the Wine
// prefix to the file named by SALVOR_RAW_VOLUME_IMAGE, and the test
// win_raw_volume_image writes the sample volume there.
TEST_F(GleanerDll, QuickScanOfARawVolume) {
  if (!testing::RawVolumeImage()) GTEST_SKIP() << "no raw volume: SALVOR_RAW_VOLUME_IMAGE is not set";
  ASSERT_TRUE(exports_.ReMountImage(u'X', nullptr));
  ASSERT_TRUE(exports_.InitReEngine(kVolumeFat32, u"X:\\"));
  std::vector<_FileInfoFat> root;
  ASSERT_TRUE(exports_.ReScanFatDisk(Collect, &root, 0, nullptr));
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(NameOf(root[1]), "Deleted report.txt");
  EXPECT_EQ(root[1].DeleteState, kDeleted);
  std::vector<_FileInfoFat> docs;
  ASSERT_TRUE(exports_.ReSearchCluster(RcWString(u"X:\\DOCS"), nullptr, testing::kSampleDocsCluster, nullptr,
                                       Collect, &docs));
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[1].FullPath.view(), u"X:\\DOCS\\Notes \u00e9t\u00e9.txt");
}

}  // namespace
}  // namespace salvor
