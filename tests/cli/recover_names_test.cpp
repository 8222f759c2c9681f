// salvor-cli recover with names no file system tool would write: whatever
// the volume calls its entries, every file lands inside the destination
// folder, under a name whose changes can be seen.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "common/text.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/temp_files.h"

namespace salvor {
namespace {

namespace fs = std::filesystem;
using testing::DirectoryWriter;
using testing::DotEntry;
using testing::Fat32ImageBuilder;
using testing::LongNameEntries;
using testing::ShortEntry;

constexpr uint8_t kFile = 0x20;
constexpr uint8_t kDir = 0x10;

// A file entry under a long name, its data in its own cluster.
void AddFile(Fat32ImageBuilder& image, DirectoryWriter& dir, std::u16string_view name, uint32_t cluster,
             const std::string& content, int alias) {
  std::string short_name = "HOSTL~" + std::to_string(alias % 10);
  short_name.resize(8, ' ');
  short_name += "TXT";
  dir.add(LongNameEntries(name, short_name));
  dir.add(ShortEntry(short_name, kFile, cluster, static_cast<uint32_t>(content.size())));
  image.put_bytes(image.cluster_offset(cluster), content.data(), content.size());
}

int RunCli(const std::string& arguments, const std::string& output) {
  const std::string command = std::string("'") + SALVOR_CLI_PATH + "' " + arguments + " >'" + output + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> FilesUnder(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), root).generic_string());
  }
  return files;
}

TEST(RecoverNames, HostileNamesStayInsideTheDestination) {
  testing::Fat32Options options;
  options.sectors_per_cluster = 8;  // room for every entry in the root's one cluster
  Fat32ImageBuilder image(options);
  DirectoryWriter root(image, 2);
  // A folder called ".." with a file in it.
  root.add(LongNameEntries(u"..", "DOTDOT     "));
  root.add(ShortEntry("DOTDOT     ", kDir, 3));
  image.chain({3});
  DirectoryWriter up(image, 3);
  up.add(DotEntry(false, 3)).add(DotEntry(true, 0));
  AddFile(image, up, u"inside.txt", 100, "inside", 0);

  // The engine joins paths with "\\", so these become folders, made safe.
  AddFile(image, root, u"..\\..\\escape.txt", 101, "escape", 1);
  AddFile(image, root, u"/etc/evil", 102, "absolute", 2);
  AddFile(image, root, u"C:drive.txt", 103, "drive", 3);
  AddFile(image, root, u"tab\tand\nnewline", 104, "control", 4);
  AddFile(image, root, u"NUL.txt", 105, "device", 5);
  AddFile(image, root, u"trailing. ", 106, "trailing", 6);
  AddFile(image, root, u"ask?.txt", 107, "ask", 7);
  AddFile(image, root, std::u16string(u"lone") + char16_t(0xD800) + u".txt", 108, "surrogate", 8);
  // An 8.3 entry of spaces only: an empty name.
  root.add(ShortEntry("           ", kFile, 109, 5));
  image.put_bytes(image.cluster_offset(109), "empty", 5);
  // Two files of one name: the second gets a number.
  AddFile(image, root, u"same.txt", 110, "first", 1);
  AddFile(image, root, u"same.txt", 111, "second", 2);
  // Device names Windows would open instead of a file, as a folder too.
  AddFile(image, root, u"COM1", 112, "serial", 3);
  AddFile(image, root, u"lpt9.log", 113, "printer", 4);
  root.add(LongNameEntries(u"CON", "CONDIR     "));
  root.add(ShortEntry("CONDIR     ", kDir, 4));
  image.chain({4});
  DirectoryWriter console(image, 4);
  console.add(DotEntry(false, 4)).add(DotEntry(true, 0));
  AddFile(image, console, u"aux.", 114, "aux", 5);

  const fs::path work = testing::MakeTempDir();
  const fs::path image_path = work / "hostile.img";
  image.save(image_path.string());
  const fs::path destination = work / "out" / "dest";

  const fs::path log = work / "log.txt";
  ASSERT_EQ(RunCli("recover '" + image_path.string() + "' --all --to '" + destination.string() + "'", log.string()),
            0)
      << testing::ReadFileBytes(log.string());

  const std::set<std::string> expected = {
      "__/inside.txt",      "__/__/escape.txt", "_etc_evil",   "C_drive.txt", "tab_and_newline",
      "_NUL.txt",           "trailing__",       "ask_.txt",    "lone_.txt",   "_",
      "same.txt",           "same (1).txt",     "_COM1",       "_lpt9.log",   "_CON/aux_",
  };
  EXPECT_EQ(FilesUnder(destination), expected) << testing::ReadFileBytes(log.string());
  // Nothing beside the destination or above it.
  EXPECT_EQ(FilesUnder(work / "out").size(), expected.size());
  EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 3);  // image, log, out
  EXPECT_EQ(testing::ReadFileBytes((destination / "__" / "inside.txt").string()), "inside");
  EXPECT_EQ(testing::ReadFileBytes((destination / "same (1).txt").string()), "second");
  fs::remove_all(work);
}

// A file the engine cannot read (its cluster lies past the end of the
// volume) is reported by name and makes the exit code 3; the others are
// still written.
TEST(RecoverNames, FailuresAreReportedByFile) {
  Fat32ImageBuilder image;
  DirectoryWriter root(image, 2);
  AddFile(image, root, u"good.txt", 10, "good", 0);
  std::string short_name = "BEYOND  TXT";
  root.add(LongNameEntries(u"beyond.txt", short_name));
  root.add(ShortEntry(short_name, kFile, 0x0FFFFF00, 100));

  const fs::path work = testing::MakeTempDir();
  const fs::path image_path = work / "failing.img";
  image.save(image_path.string());
  const fs::path destination = work / "dest";
  const fs::path log = work / "log.txt";
  EXPECT_EQ(RunCli("recover '" + image_path.string() + "' --all --json --to '" + destination.string() + "'",
                   log.string()),
            3);
  const std::string output = testing::ReadFileBytes(log.string());
  EXPECT_EQ(testing::ReadFileBytes((destination / "good.txt").string()), "good") << output;
  EXPECT_NE(output.find("{\"status\":\"failed\",\"path\":\"beyond.txt\""), std::string::npos) << output;
  EXPECT_NE(output.find("\"failed\":1,\"failures\":[\"beyond.txt\"]"), std::string::npos) << output;
  EXPECT_NE(output.find("salvor-cli: failed: beyond.txt"), std::string::npos) << output;
  EXPECT_EQ(output.find("All the files selected have  been recovered."), std::string::npos) << output;
  fs::remove_all(work);
}

TEST(RecoverNames, UsageErrors) {
  const fs::path work = testing::MakeTempDir();
  const std::string log = (work / "log.txt").string();
  EXPECT_EQ(RunCli("recover", log), 1);
  EXPECT_EQ(RunCli("recover somewhere.img", log), 1) << "--to is required";
  EXPECT_EQ(RunCli("recover '" + (work / "missing.img").string() + "' --to '" + work.string() + "'", log), 2);
  fs::remove_all(work);
}

}  // namespace
}  // namespace salvor
