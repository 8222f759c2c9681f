// Writes the seed corpus of the FAT32 scan fuzzer into a folder: small FAT32
// images built in code that hold what a real volume holds (nested folders,
// long and deleted names, multi-cluster directories, a volume label) and the
// damage the scan must survive (loops, folders that name each other, odd FAT
// values). The images are kept small so that mutations stay fast.
//
//   make_seed_corpus OUT_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "tests/fixtures/fat_image_builder.h"

namespace {

using namespace salvor::testing;

constexpr uint8_t kFolder = 0x10;
constexpr uint8_t kArchive = 0x20;
constexpr uint8_t kLabel = 0x08;

Fat32Options SmallVolume(uint32_t sectors_per_cluster = 1) {
  Fat32Options options;
  options.sectors_per_cluster = sectors_per_cluster;
  options.reserved_sectors = 2;
  options.fat_count = 1;
  options.cluster_count = 40;
  return options;
}

// Root (2) with a label, files, a long name, deleted entries and folders;
// DOCS (3) holds a subfolder SUB (4) and a file; a deleted folder OLD (5).
Fat32ImageBuilder Populated(uint32_t sectors_per_cluster = 1) {
  Fat32ImageBuilder image(SmallVolume(sectors_per_cluster));
  const uint16_t time = FatTime(10, 20, 30);
  const uint16_t date = FatDate(2023, 5, 14);
  image.chain({2});
  image.chain({3});
  image.chain({4});
  image.chain({6, 7});
  DirectoryWriter root(image, 2);
  root.add(ShortEntry("SEEDVOL    ", kLabel, 0));
  root.add(LongNameEntries(u"A long file name.txt", "ALONGF~1TXT"));
  root.add(ShortEntry("ALONGF~1TXT", kArchive, 6, 700, time, date));
  root.add(ShortEntry("DOCS       ", kFolder, 3, 0, time, date));
  root.add(ShortEntry("EMPTY   DAT", kArchive, 0, 0, time, date));
  for (const auto& part : LongNameEntries(u"Gelöschte Datei.txt", "GELSCH~1TXT")) root.add(Deleted(part));
  root.add(Deleted(ShortEntry("GELSCH~1TXT", kArchive, 8, 300, time, date)));
  root.add(Deleted(ShortEntry("OLD        ", kFolder, 5, 0, time, date)));
  root.add(Deleted(ShortEntry("ABC     TXT", kArchive, 9, 10, time, date)));

  DirectoryWriter docs(image, 3);
  docs.add(DotEntry(false, 3)).add(DotEntry(true, 0));
  docs.add(LongNameEntries(u"Отчёт 日本.txt", "__~1    TXT"));
  docs.add(ShortEntry("__~1    TXT", kArchive, 10, 20, time, date));
  docs.add(ShortEntry("SUB        ", kFolder, 4, 0, time, date));

  DirectoryWriter sub(image, 4);
  sub.add(DotEntry(false, 4)).add(DotEntry(true, 3));
  sub.add(ShortEntry("DEEP    BIN", kArchive, 11, 1, time, date));

  DirectoryWriter old(image, 5);
  old.add(DotEntry(false, 5)).add(DotEntry(true, 0));
  old.add(Deleted(ShortEntry("INNER   TXT", kArchive, 12, 5, time, date)));
  return image;
}

// A root that spans two clusters: the second holds entries too.
Fat32ImageBuilder TwoClusterRoot() {
  Fat32ImageBuilder image(SmallVolume());
  image.chain({2, 5});
  DirectoryWriter first(image, 2);
  for (int i = 0; i < 16; ++i) {
    char name[12];
    std::snprintf(name, sizeof name, "FILE%02d  TXT", i);
    first.add(ShortEntry(name, kArchive, 0, static_cast<uint32_t>(i)));
  }
  DirectoryWriter second(image, 5);
  second.add(ShortEntry("LAST    TXT", kArchive, 0, 1));
  return image;
}

struct Seed {
  const char* name;
  std::vector<std::byte> bytes;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 1;
  }
  const std::string out = argv[1];
  std::vector<Seed> seeds;

  seeds.push_back({"populated", Populated().image()});
  seeds.push_back({"populated-2-sector-clusters", Populated(2).image()});
  seeds.push_back({"two-cluster-root", TwoClusterRoot().image()});
  {
    auto image = Populated();
    image.set_fat(2, 2);  // the root's chain names itself
    seeds.push_back({"root-loops", image.image()});
  }
  {
    auto image = Populated();
    DirectoryWriter sub(image, 4);  // SUB's entries replaced: ".." and a child naming DOCS
    sub.add(DotEntry(false, 4)).add(DotEntry(true, 3)).add(ShortEntry("UP         ", kFolder, 3));
    seeds.push_back({"folder-names-parent", image.image()});
  }
  {
    auto image = Populated();
    image.set_fat(6, 0x0FFFFFF6);  // followed as a cluster number
    image.set_fat(3, 0x0FFFFFF7);  // a bad-cluster mark ends the chain
    seeds.push_back({"odd-fat-values", image.image()});
  }
  {
    auto image = Populated();
    DirectoryWriter root(image, 2);
    root.add(RawEntry{});  // a first entry of 0: nothing is reported
    seeds.push_back({"empty-root", image.image()});
  }
  {
    auto image = Populated();
    image.image().resize(512 * 4);  // cut inside the data region
    seeds.push_back({"truncated", image.image()});
  }

  for (const Seed& seed : seeds) {
    const std::string path = out + "/" + seed.name + ".img";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(seed.bytes.data(), 1, seed.bytes.size(), file) != seed.bytes.size() ||
        std::fclose(file) != 0) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
