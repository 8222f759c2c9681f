#include "app/core/engine_binding.h"

#include "common/text.h"

namespace salvor::app {
namespace {

template <typename Fn>
void resolve(const platform::SharedLibrary& library, const char* name, Fn& slot) {
  slot = reinterpret_cast<Fn>(library.symbol(name));
}

}  // namespace

bool EngineBinding::bind(std::u16string directory) {
  if (directory.empty()) directory = platform::executable_directory();
  const std::u16string path = directory + platform::kPathSeparator + platform::library_file_name(u"Gleaner");
  if (!library_.load(path)) {
    error = u"cannot load the engine library " + path;
    return false;
  }
  resolve(library_, "InitReEngine", InitReEngine);
  resolve(library_, "ReScanFatDisk", ReScanFatDisk);
  resolve(library_, "ReFatDirectory", ReFatDirectory);
  resolve(library_, "ReSearchCluster", ReSearchCluster);
  resolve(library_, "ReInitFatEx", ReInitFatEx);
  resolve(library_, "ReMountImage", ReMountImage);
  resolve(library_, "ReSetSweepProgress", ReSetSweepProgress);
  resolve(library_, "ReMountImageRange", ReMountImageRange);
  resolve(library_, "ReMountVolume", ReMountVolume);
  resolve(library_, "ReListPartitions", ReListPartitions);
  resolve(library_, "ReListPartitionsEx", ReListPartitionsEx);
  resolve(library_, "ReSetOemCodePage", ReSetOemCodePage);
  resolve(library_, "ReProbeBootSector", ReProbeBootSector);
  resolve(library_, "ReScanFatFormatDisk", ReScanFatFormatDisk);
  resolve(library_, "ReIsDirectory32", ReIsDirectory32);
  resolve(library_, "ReFatRecoverData", ReFatRecoverData);
  resolve(library_, "ReFatRecoverData64", ReFatRecoverData64);
  resolve(library_, "ReScanNtfsDisk", ReScanNtfsDisk);
  resolve(library_, "ReScanNtfsEx", ReScanNtfsEx);
  resolve(library_, "ReScanNtfsFormatDisk", ReScanNtfsFormatDisk);
  resolve(library_, "ReNtfsRecoverData", ReNtfsRecoverData);
  resolve(library_, "ReNtfsRecoverFormatData", ReNtfsRecoverFormatData);
  resolve(library_, "ReFindMftnumByFileName", ReFindMftnumByFileName);
  resolve(library_, "ReBeginRecovery", ReBeginRecovery);
  resolve(library_, "ReRecoverItem", ReRecoverItem);
  resolve(library_, "ReSetFolderTimes", ReSetFolderTimes);
  resolve(library_, "ReEndRecovery", ReEndRecovery);
  resolve(library_, "ReJudgeItem", ReJudgeItem);
  return true;
}

}  // namespace salvor::app
