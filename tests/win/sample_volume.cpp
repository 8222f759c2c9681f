#include "tests/win/sample_volume.h"

#include <string>
#include <utility>

namespace salvor::testing {

Fat32ImageBuilder SampleVolume() {
  constexpr uint8_t kFile = 0x20;
  constexpr uint8_t kDir = 0x10;
  Fat32ImageBuilder image;
  image.chain({kSampleDocsCluster});
  DirectoryWriter root(image, 2);
  root.add(ShortEntry("SAMPLE     ", 0x08, 0));
  root.add(ShortEntry("README  TXT", kFile, 10, 5, FatTime(9, 30, 0), FatDate(2012, 5, 17)));
  for (const auto& part : LongNameEntries(u"Deleted report.txt", "DELETE~1TXT")) root.add(Deleted(part));
  root.add(Deleted(ShortEntry("DELETE~1TXT", kFile, 11, 1234, FatTime(14, 2, 4), FatDate(2013, 1, 2))));
  root.add(ShortEntry("DOCS       ", kDir, kSampleDocsCluster));

  DirectoryWriter docs(image, kSampleDocsCluster);
  docs.add(DotEntry(false, kSampleDocsCluster)).add(DotEntry(true, 0));
  docs.add(Deleted(ShortEntry("OLD     TXT", kFile, 12, 77)));
  docs.add(LongNameEntries(u"Notes \u00e9t\u00e9.txt", "NOTES~1 TXT"));
  docs.add(ShortEntry("NOTES~1 TXT", kFile, 13, 10));
  // Data in the deleted files' first clusters, "0123456789" repeated (the
  // report runs on into the clusters after its first, as a deleted file
  // whose chain is gone is read).
  for (const auto& [cluster, size] : {std::pair<uint32_t, size_t>{11, 512}, {12, 77}}) {
    std::string data;
    for (size_t i = 0; i < size; ++i) data.push_back(static_cast<char>('0' + i % 10));
    image.put_bytes(image.cluster_offset(cluster), data.data(), data.size());
  }
  return image;
}

}  // namespace salvor::testing
