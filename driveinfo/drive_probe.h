// The OS side of Surveyor: asks about every drive (Windows: drive letters;
// Linux: block devices and partitions) and answers in VolumeProbes. Drives
// that are not candidates under `rules` are still returned, but without the
// queries that would only matter for a candidate.
#pragma once

#include <vector>

#include "driveinfo/drive_rules.h"

namespace salvor::driveinfo {

std::vector<VolumeProbe> ProbeVolumes(const SurveyRules& rules);
// The whole disks this process can open for reading, with their size
// (Windows: the physical drives; none on Linux, whose disks ProbeVolumes
// lists with their partitions).
std::vector<VolumeProbe> ProbeDisks();

}  // namespace salvor::driveinfo
