// How the WebAssembly back end nests its code, worked out from the labels in
// the order they were placed (0..n-1) and the branches between them.
//
// A label that a branch back (from its own code or code after it) returns
// to, closing a cycle, heads a loop, which runs from the label to the last
// such branch, widened until loops nest. Every label has a block that opens where the innermost
// loop around it begins (or at the dispatch loop's head, for a label in no
// loop) and ends just before its code. A branch forward is then a br out to
// its target's block, and a branch back a br to its loop's head, as long as
// the branch stands in the loop or block it names: one from outside a loop
// to a label inside it (other than the head) goes in by the loop's head,
// which dispatches on the position, as the dispatch loop does. So does a
// run that goes on inside a loop (the start, a return before a key read, a
// slice's end, a jump through the table): a loop dispatches only where some
// such way in lies inside it.
#pragma once

#include <algorithm>

namespace wasm {

template <int kCap>
class Nest {
 public:
  static constexpr int kNone = -1;
  static constexpr int kOutside = kCap;  // see In

  // n labels, no branch yet.
  void Reset(int n) {
    n_ = std::min(n, kCap);
    std::fill(end_, end_ + n_, kNone);
    std::fill(dispatches_, dispatches_ + n_, false);
    dispatching_ = false;
  }
  // A branch in label from's code back to label to (to <= from).
  void Back(int from, int to) { end_[to] = std::max(end_[to], from); }

  // Widens the loops until they nest, then finds each label's loop.
  void Close() {
    for (int h = n_ - 1; h >= 0; --h) {  // loops after h nest already
      for (int k = h + 1; k <= end_[h]; ++k) end_[h] = std::max(end_[h], end_[k]);
    }
    int depth = 0;
    for (int k = 0; k < n_; ++k) {
      while (depth > 0 && end_[open_[depth - 1]] < k) --depth;
      loop_[k] = depth > 0 ? open_[depth - 1] : kNone;
      if (end_[k] >= 0) open_[depth++] = k;
    }
  }

  bool Heads(int k) const { return end_[k] >= 0; }
  int End(int h) const { return end_[h]; }
  // The innermost loop around label k (its head's label), not counting the
  // one k heads; kNone for none.
  int Loop(int k) const { return loop_[k]; }
  bool Dispatches(int h) const { return dispatches_[h]; }
  bool Dispatching() const { return dispatching_; }  // whether any loop does

  // For a branch forward in label from's code (kNone: before any label) to
  // label to: kNone where it can be a br to to's block, else the loop whose
  // head it goes in by (a br to the head's block).
  int Via(int from, int to) const {
    int via = loop_[to];
    if (via == kNone || via <= from) return kNone;
    while (loop_[via] != kNone && loop_[via] > from) via = loop_[via];
    return via;
  }
  // The run may go on at label k from outside: every loop around it
  // dispatches.
  void Land(int k) {
    for (int h = loop_[k]; h != kNone; h = loop_[h]) dispatches_[h] = dispatching_ = true;
  }
  // Which label directly in loop h (or in no loop: kNone) holds label k: k
  // itself, or the head of a loop around k; kOutside where none does.
  int In(int h, int k) const {
    if (k < 0) return kOutside;
    while (k != kNone && loop_[k] != h) k = loop_[k];
    return k == kNone ? kOutside : k;
  }

 private:
  int n_ = 0;
  int end_[kCap];   // the last label in the loop each label heads, or kNone
  int loop_[kCap];  // see Loop
  bool dispatches_[kCap];
  bool dispatching_ = false;
  int open_[kCap];  // the loops around a label, while Close works them out
};

}  // namespace wasm
