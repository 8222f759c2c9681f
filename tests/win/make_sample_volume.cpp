// Writes the sample FAT32 volume for the tests that read it from outside
// the test programs: to the file named on the command line, or with
// --raw-volume to the file behind drive X (nothing when the run has none).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tests/win/sample_volume.h"
#include "tests/win/win_test_paths.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_sample_volume IMAGE | --raw-volume\n", stderr);
    return 1;
  }
  std::string path = argv[1];
  if (path == "--raw-volume") {
    const auto image = salvor::testing::RawVolumeImage();
    if (!image) return 0;
    path = *image;
  }
  try {
    salvor::testing::SampleVolume().save(path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_sample_volume: %s\n", error.what());
    return 1;
  }
  return 0;
}
