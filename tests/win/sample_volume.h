// The FAT32 volume that the Windows-only tests scan, built in code: a few
// present and deleted entries and a folder holding a non-ASCII long name.
#pragma once

#include "tests/fixtures/fat_image_builder.h"

namespace salvor::testing {

// Root (cluster 2):
//   README.TXT                present, cluster 10, 5 bytes
//   "Deleted report.txt"      deleted (long name kept), cluster 11, 1234 bytes
//   DOCS                      present folder, cluster 3
// DOCS (cluster 3):
//   OLD.TXT                   deleted, shown as "_LD.TXT", cluster 12, 77 bytes
//   "Notes été.txt"           present, cluster 13, 10 bytes
inline constexpr uint32_t kSampleDocsCluster = 3;

Fat32ImageBuilder SampleVolume();

}  // namespace salvor::testing
