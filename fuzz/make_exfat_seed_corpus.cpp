// Writes the seed corpus of the exFAT scan fuzzer into a folder: small exFAT
// images built in code that hold what a real volume holds (nested folders,
// long, non-ASCII and deleted names, contiguous and chained data, sets that
// cross clusters) and the damage the scanner must survive (looping chains,
// odd FAT values, cut sets, a folder that names its parent). Kept under
// 64 KiB so that mutations stay fast.
//
//   make_exfat_seed_corpus OUT_DIR
#include <cstdio>
#include <string>
#include <vector>

#include "tests/fixtures/exfat_image_builder.h"

namespace {

using namespace salvor::testing;

ExFatSetOptions Data(uint32_t first_cluster, uint64_t size, bool chained = false) {
  ExFatSetOptions o;
  o.first_cluster = first_cluster;
  o.data_length = size;
  o.flags = chained ? kExFatAllocationPossible : kExFatAllocationPossible | kExFatNoFatChain;
  o.create_timestamp = ExFatTimestamp(2023, 5, 14, 10, 20, 30);
  return o;
}

ExFatSetOptions Dir(uint32_t first_cluster, uint64_t size, bool chained = false) {
  ExFatSetOptions o = Data(first_cluster, size, chained);
  o.attributes = kExFatAttrDirectory;
  return o;
}

ExFatOptions Small() {
  ExFatOptions options;
  options.cluster_count = 64;  // 512-byte clusters
  options.fat_offset_sectors = 2;
  return options;
}

// Root: files, a folder "Docs" (two contiguous clusters) with a subfolder
// "Sub" (chained), a deleted folder "Old" and deleted files.
ExFatImageBuilder Populated() {
  ExFatImageBuilder image(Small());
  const uint32_t r = image.root_cluster();
  const uint32_t c = image.first_free_cluster();
  uint32_t slot = 3;
  auto put = [&](uint32_t cluster, uint32_t& at, const std::vector<ExFatEntry>& set) {
    image.put_entries(cluster, at, set);
    at += static_cast<uint32_t>(set.size());
  };
  put(r, slot, ExFatFileSet(u"A long file name.txt", Data(c, 700)));
  put(r, slot, ExFatFileSet(u"Docs", Dir(c + 2, 1024)));
  put(r, slot, ExFatFileSet(u"empty.dat", Data(0, 0)));
  put(r, slot, ExFatDeleted(ExFatFileSet(u"Gelöschte Datei.txt", Data(c + 5, 300))));
  put(r, slot, ExFatDeleted(ExFatFileSet(u"Old", Dir(c + 6, 512))));
  image.fill_clusters(c, 700, 1);
  uint32_t docs = 0;
  put(c + 2, docs, ExFatFileSet(u"Отчёт 日本.txt", Data(c + 8, 1100, true)));
  put(c + 2, docs, ExFatFileSet(u"Sub", Dir(c + 4, 512, true)));
  image.chain({c + 8, c + 10, c + 9});
  uint32_t sub = 0;
  put(c + 4, sub, ExFatFileSet(u"leaf.bin", Data(c + 11, 10)));
  uint32_t old = 0;
  put(c + 6, old, ExFatDeleted(ExFatFileSet(u"inside old.txt", Data(c + 12, 20))));
  image.chain({c + 4});
  for (uint32_t cluster = c; cluster <= c + 11; ++cluster) image.set_allocated(cluster);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 1;
  }
  const std::string out = argv[1];
  struct Seed {
    std::string name;
    std::vector<std::byte> bytes;
  };
  std::vector<Seed> seeds;
  seeds.push_back({"exfat-populated", Populated().image()});
  {
    auto image = Populated();
    image.set_fat(image.root_cluster(), image.root_cluster());  // the root's chain names itself
    seeds.push_back({"exfat-root-loops", image.image()});
  }
  {
    auto image = Populated();
    const uint32_t c = image.first_free_cluster();
    image.set_fat(c + 8, c + 8);  // a file chain that loops
    image.set_fat(c + 10, 0xFFFFFFF7);
    image.put_entries(c + 4, 3, ExFatFileSet(u"up", Dir(c + 2, 1024)));  // Sub names Docs
    seeds.push_back({"exfat-damaged", image.image()});
  }
  {
    auto image = Populated();
    const uint32_t c = image.first_free_cluster();
    const auto across = ExFatFileSet(u"Across the cluster end.txt", Data(c, 700));
    image.put_entries(c + 2, 14, across);  // runs on into the folder's second cluster
    seeds.push_back({"exfat-cross", image.image()});
  }
  {
    // After a quick format: the old folders' clusters are free.
    auto image = Populated();
    for (uint32_t cluster = image.first_free_cluster(); cluster < 64 + 2; ++cluster)
      image.set_allocated(cluster, false);
    image.put_entries(image.root_cluster(), 3, std::vector<ExFatEntry>(13, ExFatEntry{}));  // the new, empty root
    seeds.push_back({"exfat-formatted", image.image()});
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
