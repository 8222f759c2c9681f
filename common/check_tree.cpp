// Three-state check tree model; see check_tree.h.
#include "common/check_tree.h"

namespace salvor {
namespace {
const std::vector<CheckTree::NodeId> kNoChildren;
const std::u16string kNoText;
}  // namespace

CheckTree::NodeId CheckTree::Insert(NodeId parent, std::u16string text, int image, int selected_image,
                                    CheckState state) {
  if (parent != kNoNode && !Contains(parent)) return kNoNode;
  Node node;
  node.parent = parent;
  node.text = std::move(text);
  node.image = image;
  node.selected_image = selected_image;
  node.state = state;
  nodes_.push_back(std::move(node));
  const NodeId id = static_cast<NodeId>(nodes_.size());
  (parent == kNoNode ? top_ : at(parent).children).push_back(id);
  return id;
}

void CheckTree::Clear() {
  nodes_.clear();
  top_.clear();
}

const std::vector<CheckTree::NodeId>& CheckTree::Children(NodeId node) const {
  if (node == kNoNode) return top_;
  return Contains(node) ? at(node).children : kNoChildren;
}

CheckTree::NodeId CheckTree::Parent(NodeId node) const { return Contains(node) ? at(node).parent : kNoNode; }
const std::u16string& CheckTree::Text(NodeId node) const { return Contains(node) ? at(node).text : kNoText; }
int CheckTree::Image(NodeId node) const { return Contains(node) ? at(node).image : 0; }
int CheckTree::SelectedImage(NodeId node) const { return Contains(node) ? at(node).selected_image : 0; }
CheckState CheckTree::State(NodeId node) const { return Contains(node) ? at(node).state : CheckState::kNone; }

void CheckTree::SetState(NodeId node, CheckState state) {
  if (Contains(node)) at(node).state = state;
}

void CheckTree::SetCheckedWithPropagation(NodeId node, bool checked) {
  if (!Contains(node)) return;
  const CheckState state = checked ? CheckState::kChecked : CheckState::kUnchecked;
  // An explicit stack: the depth of a tree built from a volume is not ours
  // to choose.
  std::vector<NodeId> pending{node};
  while (!pending.empty()) {
    const NodeId current = pending.back();
    pending.pop_back();
    Node& n = at(current);
    n.state = state;
    pending.insert(pending.end(), n.children.rbegin(), n.children.rend());
  }
  SettleAncestors(node);
}

bool CheckTree::Toggle(NodeId node) {
  if (locked_ || !Contains(node) || State(node) == CheckState::kNone) return false;
  SetCheckedWithPropagation(node, State(node) != CheckState::kChecked);
  return true;
}

void CheckTree::SettleAncestors(NodeId node) {
  for (NodeId parent = at(node).parent; parent != kNoNode; parent = at(parent).parent) {
    Node& p = at(parent);
    if (p.state == CheckState::kNone) break;
    bool any_box = false, any_set = false, any_unset = false;
    for (NodeId child : p.children) {
      const CheckState s = at(child).state;
      if (s != CheckState::kNone) any_box = true;
      if (s == CheckState::kChecked || s == CheckState::kPartial) any_set = true;
      if (s == CheckState::kUnchecked || s == CheckState::kPartial) any_unset = true;
    }
    if (!any_set) {
      p.state = any_box ? CheckState::kUnchecked : CheckState::kNone;
    } else if (!any_unset) {
      p.state = CheckState::kChecked;
    } else {
      p.state = CheckState::kPartial;
    }
  }
}

std::vector<CheckTree::NodeId> CheckTree::DepthFirst() const {
  std::vector<NodeId> order;
  order.reserve(nodes_.size());
  std::vector<NodeId> pending(top_.rbegin(), top_.rend());
  while (!pending.empty()) {
    const NodeId current = pending.back();
    pending.pop_back();
    order.push_back(current);
    const auto& children = at(current).children;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return order;
}

}  // namespace salvor
