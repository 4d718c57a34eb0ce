#include "terminal/InvalidRects.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace terminal {

struct InvalidRectNode {
  InvalidRectNode* next;
  InvalidRect rect;
};

namespace {

constexpr std::size_t kPoolBlockNodes = 200;
// A list that nobody takes from (a view that never paints) is folded into one
// node at this length, so it cannot grow without bound; Take's answer is the
// same bounding box either way.
constexpr std::size_t kMaxPendingNodes = 4096;

class NodePool {
 public:
  InvalidRectNode* Get() {
    if (!free_) grow();
    InvalidRectNode* node = free_;
    free_ = node->next;
    return node;
  }
  void Put(InvalidRectNode* first, InvalidRectNode* last) {
    last->next = free_;
    free_ = first;
  }

 private:
  void grow() {
    blocks_.push_back(std::make_unique<InvalidRectNode[]>(kPoolBlockNodes));
    InvalidRectNode* block = blocks_.back().get();
    for (std::size_t i = 0; i < kPoolBlockNodes; ++i)
      block[i].next = i + 1 < kPoolBlockNodes ? &block[i + 1] : free_;
    free_ = block;
  }

  std::vector<std::unique_ptr<InvalidRectNode[]>> blocks_;
  InvalidRectNode* free_ = nullptr;
};

// Never destroyed: lists in static objects may still return nodes at exit.
NodePool& pool() {
  static auto* instance = new NodePool;
  return *instance;
}

}  // namespace

InvalidRectList::~InvalidRectList() {
  releaseAll();
}

void InvalidRectList::releaseAll() {
  if (!head_) return;
  InvalidRectNode* last = head_;
  while (last->next) last = last->next;
  pool().Put(head_, last);
  head_ = nullptr;
  count_ = 0;
}

void InvalidRectList::Add(const InvalidRect& rect) {
  if (count_ >= kMaxPendingNodes) {
    InvalidRect merged;
    Take(merged);
    Add(merged);
  }
  InvalidRectNode* node = pool().Get();
  node->rect = rect;
  node->next = head_;
  head_ = node;
  ++count_;
}

bool InvalidRectList::Take(InvalidRect& merged) {
  if (!head_) return false;
  merged = head_->rect;
  for (InvalidRectNode* node = head_->next; node; node = node->next) {
    merged.left = std::min(merged.left, node->rect.left);
    merged.top = std::min(merged.top, node->rect.top);
    merged.right = std::max(merged.right, node->rect.right);
    merged.bottom = std::max(merged.bottom, node->rect.bottom);
  }
  releaseAll();
  return true;
}

}  // namespace terminal
