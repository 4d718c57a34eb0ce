// Invalid rectangles: the parts of a terminal screen changed since they were
// last taken for painting.
//
// Adding is cheap and never merges; Take merges everything pending into one
// bounding box. List nodes come from a pool shared by all lists (grown by
// blocks of 200 nodes, recycled through a free list, kept until the program
// ends), so adding allocates nothing once the pool is warm. The pool has no
// lock: lists are used on the GUI thread only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace terminal {

// 1-based, inclusive; rows in screen numbering (history rows are 0 or less).
struct InvalidRect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;

  friend bool operator==(const InvalidRect&, const InvalidRect&) = default;
};

struct InvalidRectNode;

class InvalidRectList {
 public:
  InvalidRectList() = default;
  InvalidRectList(const InvalidRectList&) = delete;
  InvalidRectList& operator=(const InvalidRectList&) = delete;
  ~InvalidRectList();

  void Add(const InvalidRect& rect);
  bool Empty() const { return head_ == nullptr; }
  // False when nothing is pending; otherwise the bounding box of everything
  // pending, which is then dropped.
  bool Take(InvalidRect& merged);

 private:
  void releaseAll();

  InvalidRectNode* head_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace terminal
