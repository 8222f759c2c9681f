// Writes the volume-system fuzz seeds: 64 KiB disks with an MBR and a chain
// of logical partitions, and with a GPT (primary and backup).
#include <string>

#include "tests/fixtures/disk_image_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  using salvor::testing::DiskImageBuilder;

  DiskImageBuilder mbr(64 * 1024);
  mbr.mbr_entry(0, 0, 0x0C, 8, 16, 0x80);
  mbr.mbr_entry(0, 1, 0x0F, 32, 64);
  mbr.mbr_entry(32, 0, 0x07, 2, 8);
  mbr.mbr_entry(32, 1, 0x05, 16, 16);
  mbr.mbr_entry(48, 0, 0x0B, 2, 8);
  mbr.save(dir + "/mbr-logicals.img");

  DiskImageBuilder gpt(64 * 1024);
  gpt.gpt({{40, 60, 0xA2, u"data"}, {64, 90, 0x28, u"more"}});
  gpt.save(dir + "/gpt.img");
  return 0;
}
