// What a back end notes while it writes code, to patch once every label has
// its place: where each label landed, each branch to a label, and each rare
// path kept out of line with where the code goes on after it. A list never
// overruns: one that would is noted as full, and the driver falls back (no
// program text comes near the caps).
#pragma once

#include <cstddef>
#include <span>

#include "native/backend.h"

namespace native {

class Notes {
 public:
  struct Fix {
    std::size_t at;  // the branch, or where its displacement ends, as the back end likes
    int label;
  };
  struct Stub {
    std::size_t from;  // the branch to the rare path
    std::size_t back;  // where the code goes on after it
  };

  void Clear() { fixes_.Clear(), stubs_.Clear(); }
  void Place(int label, std::size_t here) { at_[label] = here; }
  std::size_t At(int label) const { return at_[label]; }
  void Branch(std::size_t at, int label) { fixes_.Add({at, label}); }
  void OutOfLine(std::size_t from, std::size_t back) { stubs_.Add({from, back}); }
  std::span<const Fix> Fixes() const { return fixes_.All(); }
  std::span<const Stub> Stubs() const { return stubs_.All(); }
  bool Full() const { return fixes_.Full() || stubs_.Full(); }

 private:
  template <typename T, int kCap>
  class List {
   public:
    void Clear() { n_ = 0, full_ = false; }
    void Add(const T& item) {
      if (n_ == kCap) full_ = true;
      if (!full_) items_[n_++] = item;
    }
    bool Full() const { return full_; }
    std::span<const T> All() const { return {items_, static_cast<std::size_t>(n_)}; }

   private:
    T items_[kCap];
    int n_ = 0;
    bool full_ = false;
  };

  std::size_t at_[kLabels] = {};
  List<Fix, 4 * kLabels> fixes_;
  List<Stub, kEndPos + 1> stubs_;
};

}  // namespace native
