// salvor-cli's picture of the results: the folder tree of a results model,
// one folder per line, indented by depth, with how many files lie directly in
// each folder and how many in it and below.
#pragma once

#include <cstdio>
#include <string>

#include "app/core/results_model.h"

namespace salvor::cli {

// "E:/  0 files, 3 in all" with two spaces of indent per level (down to 64
// levels; deeper lines carry "[level N] " after the deepest indent); UTF-8.
std::string FolderTreeText(const app::ResultsModel& model, app::TreeKind kind);
void PrintFolderTree(std::FILE* stream, const app::ResultsModel& model, app::TreeKind kind);

}  // namespace salvor::cli
