// Writes the seed corpus of the NTFS scan fuzzer into a folder: small NTFS
// images built in code (1 KiB clusters, 64 KiB in all) that hold deleted
// files and folders, a folder with an index root and an INDX block,
// resident, non-resident and sparse data, old records outside the $MFT for
// the sweep, and the damage the scanner must survive (looping parents, an
// attribute list that names its own record, holes of 2^52 clusters and
// more).
//
//   make_ntfs_seed_corpus OUT_DIR
#include <cstdio>
#include <string>

#include "tests/fixtures/ntfs_record_builder.h"

namespace {

using namespace salvor::testing::ntfs;

constexpr uint32_t kCluster = 1024;

VolumeBuilder Base() {
  VolumeBuilder v(kCluster, 1024, 64, 4, 32);
  v.SetRecord(5, RecordBuilder(1024, 3)
                     .FileName(5, u".", 3, true)
                     .IndexRoot({IndexEntry(24, FileNameValue(5, u"Docs", 1, true)),
                                 IndexEntry(26, FileNameValue(5, u"a.txt", 1))})
                     .Build(),
              true);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT_DIR\n", argv[0]);
    return 1;
  }
  const std::string dir = argv[1];

  VolumeBuilder full = Base();
  full.WriteAt(40 * kCluster, IndexBlock(1024, {IndexEntry(27, FileNameValue(24, u"inner.bin")),
                                                IndexEntry(28, FileNameValue(24, u"SHORT~1", 2))}));
  full.SetRecord(24, RecordBuilder(1024, 3)
                         .FileName(5, u"Docs", 1, true)
                         .IndexRoot({IndexEntry(25, FileNameValue(24, u"note.txt"))})
                         .NonResident(0xA0, EncodeRuns({{40, 1}}), 0, 0, 1024, 0, u"$I30")
                         .Build(),
                 true);
  full.SetRecord(25, RecordBuilder(1024, 0).FileName(24, u"note.txt").Data("a deleted note").Build(), false);
  full.SetRecord(26, RecordBuilder(1024, 1).FileName(5, u"a.txt").Data("live").Build(), true);
  full.SetRecord(27, RecordBuilder(1024, 0)
                         .FileName(24, u"inner.bin")
                         .NonResident(0x80, EncodeRuns({{44, 2}, {0, 1}, {2, 1}}), 0, 3, 3500)
                         .Build(),
                 false);
  full.SetRecord(29, RecordBuilder(1024, 2).FileName(30, u"Loop A", 1, true).Build(), false);
  full.SetRecord(30, RecordBuilder(1024, 2).FileName(29, u"Loop B", 1, true).Build(), false);
  full.SetRecord(31, RecordBuilder(1024, 0).FileName(29, u"lost.txt").Data("in a loop").Build(), false);
  full.WriteAt(44 * kCluster, ByteVector(2 * kCluster, std::byte{0x5A}));
  full.WriteAt(50 * kCluster, RecordBuilder(1024, 1).FileName(5, u"old file.txt").Data("old").Build());
  full.WriteAt(52 * kCluster, RecordBuilder(1024, 1)
                                  .FileName(5, u"old big.bin")
                                  .NonResident(0x80, EncodeRuns({{44, 2}}), 0, 1, 2000)
                                  .Build());
  bool ok = full.Save(dir + "/ntfs-populated.img");

  VolumeBuilder listed = Base();
  listed.SetRecord(24, RecordBuilder(1024, 3)
                           .FileName(5, u"Docs", 1, true)
                           .AttributeList({{0xA0, 24}, {0xA0, 25}})
                           .IndexRoot({IndexEntry(26, FileNameValue(24, u"x"))})
                           .Build(),
                   true);
  listed.SetRecord(25, RecordBuilder(1024, 1)
                           .NonResident(0xA0, EncodeRuns({{40, 1}}), 0, 0, 1024, 0, u"$I30")
                           .Build(),
                   true);
  listed.WriteAt(40 * kCluster, IndexBlock(1024, {IndexEntry(27, FileNameValue(24, u"from extension"))}));
  ok = listed.Save(dir + "/ntfs-attribute-list.img") && ok;

  VolumeBuilder big_records(kCluster, 4096, 64, 4, 8);
  big_records.SetRecord(5, RecordBuilder(4096, 3).FileName(5, u".", 3, true).IndexRoot({}).Build(), true);
  big_records.SetRecord(6, RecordBuilder(4096, 0).FileName(5, u"four k.txt").Data("big record").Build(), false);
  ok = big_records.Save(dir + "/ntfs-4k-records.img") && ok;

  // Holes of 2^52 clusters (2^62 bytes at 1 KiB) and a hole that passes
  // 2^63 bytes: run arithmetic at its limits.
  VolumeBuilder holes = Base();
  holes.SetRecord(26, RecordBuilder(1024, 0)
                          .FileName(5, u"a.txt")
                          .NonResident(0x80, EncodeRuns({{0, uint64_t{1} << 52}, {44, 1}}), 0, uint64_t{1} << 52,
                                       (uint64_t{1} << 62) + 100)
                          .Build(),
                  false);
  holes.SetRecord(27, RecordBuilder(1024, 0)
                          .FileName(5, u"past 2^63.bin")
                          .NonResident(0x80, EncodeRuns({{0, uint64_t{1} << 53}}), 0, (uint64_t{1} << 53) - 1,
                                       uint64_t{1} << 40)
                          .Build(),
                  false);
  ok = holes.Save(dir + "/ntfs-huge-holes.img") && ok;
  return ok ? 0 : 1;
}
