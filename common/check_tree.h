// CheckTree: a tree of text nodes with three-state check boxes, kept apart
// from any window. The results page's folder trees are built on it, and the
// skin's tree control mirrors it; both share the propagation rules here:
// checking a node checks its whole subtree, and every ancestor with a check
// box then becomes checked, partially checked or unchecked from its children.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace salvor {

// The values are the tree control's state image indexes.
enum class CheckState : uint8_t {
  kNone = 0,  // no check box
  kUnchecked = 1,
  kChecked = 2,
  kPartial = 3,
};

class CheckTree {
 public:
  // Node ids start at 1; 0 stands for "no node" and, as a parent, for the
  // invisible top of the tree.
  using NodeId = uint32_t;
  static constexpr NodeId kNoNode = 0;

  // Appends a node after the existing children of `parent` (insertion order,
  // no sorting). Returns kNoNode when `parent` is not a node of this tree.
  NodeId Insert(NodeId parent, std::u16string text, int image, int selected_image,
                CheckState state = CheckState::kUnchecked);
  void Clear();

  size_t size() const { return nodes_.size(); }
  bool empty() const { return nodes_.empty(); }
  bool Contains(NodeId node) const { return node != kNoNode && node <= nodes_.size(); }

  // The first top-level node, or kNoNode for an empty tree.
  NodeId Root() const { return top_.empty() ? kNoNode : top_.front(); }
  // Children of `node` in insertion order; kNoNode gives the top level.
  const std::vector<NodeId>& Children(NodeId node) const;
  NodeId Parent(NodeId node) const;
  const std::u16string& Text(NodeId node) const;
  int Image(NodeId node) const;
  int SelectedImage(NodeId node) const;
  CheckState State(NodeId node) const;
  bool IsChecked(NodeId node) const { return State(node) == CheckState::kChecked; }

  // Sets one node's state, nothing else.
  void SetState(NodeId node, CheckState state);
  // Sets `node` and its whole subtree to checked or unchecked, then settles
  // the ancestors from their children.
  void SetCheckedWithPropagation(NodeId node, bool checked);
  // What a click on a node's check box (or the space key) does: a node
  // without a check box is left alone; otherwise a node that is not checked
  // becomes checked (partial included) and a checked one unchecked, with
  // propagation. Returns true when something changed hands (the caller then
  // notifies); false when locked or the node has no check box.
  bool Toggle(NodeId node);

  // While locked, Toggle does nothing.
  void set_locked(bool locked) { locked_ = locked; }
  bool locked() const { return locked_; }

  // Every node, depth first (a node before its children, children in order).
  std::vector<NodeId> DepthFirst() const;

 private:
  struct Node {
    NodeId parent = kNoNode;
    std::u16string text;
    int image = 0;
    int selected_image = 0;
    CheckState state = CheckState::kUnchecked;
    std::vector<NodeId> children;
  };
  Node& at(NodeId node) { return nodes_[node - 1]; }
  const Node& at(NodeId node) const { return nodes_[node - 1]; }
  void SettleAncestors(NodeId node);

  std::vector<Node> nodes_;
  std::vector<NodeId> top_;
  bool locked_ = false;
};

}  // namespace salvor
