// The folder tree printer for scan --tree; see tree_output.h.
#include "cli/tree_output.h"

#include <utility>
#include <vector>

#include "common/text.h"

namespace salvor::cli {
namespace {

std::string Files(size_t count) { return std::to_string(count) + (count == 1 ? " file" : " files"); }

// Indentation stops growing here: a volume's nesting (thousands of levels)
// would otherwise make the output grow with the square of its depth.
constexpr size_t kMaxIndentLevels = 64;

std::string Indent(size_t depth) {
  if (depth <= kMaxIndentLevels) return std::string(depth * 2, ' ');
  return std::string(kMaxIndentLevels * 2, ' ') + "[level " + std::to_string(depth) + "] ";
}

}  // namespace

std::string FolderTreeText(const app::ResultsModel& model, app::TreeKind kind) {
  const CheckTree& tree = model.tree(kind);
  // Every node is inserted after its parent, so its id is larger: adding the
  // totals from the last node back reaches each parent after its children.
  std::vector<size_t> total(tree.size() + 1, 0);
  for (auto node = static_cast<CheckTree::NodeId>(tree.size()); node >= 1; --node) {
    total[node] += model.NodeContent(kind, node).size();
    total[tree.Parent(node)] += total[node];
  }
  std::string out;
  std::vector<std::pair<CheckTree::NodeId, size_t>> pending;  // node, depth
  const auto& top = tree.Children(CheckTree::kNoNode);
  for (auto it = top.rbegin(); it != top.rend(); ++it) pending.emplace_back(*it, 0);
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    out += Indent(depth) + text::to_utf8(tree.Text(node)) + "/  " +
           Files(model.NodeContent(kind, node).size()) + ", " + std::to_string(total[node]) + " in all\n";
    const auto& children = tree.Children(node);
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return out;
}

void PrintFolderTree(std::FILE* stream, const app::ResultsModel& model, app::TreeKind kind) {
  const std::string text = FolderTreeText(model, kind);
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace salvor::cli
