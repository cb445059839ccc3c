// What a back end notes while it writes code, to patch once every label has
// its place: where each label landed, each branch to a label, and each rare
// path kept out of line with where the code goes on after it. A list never
// overruns: one that would is noted as full, and the driver falls back (no
// program text comes near the caps). A label not placed in this compile has
// no place: the back end fails the compile where anything goes there.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
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

  void Clear() {
    fixes_.Clear(), stubs_.Clear();
    std::fill(std::begin(at_), std::end(at_), kNowhere);
  }
  void Place(int label, std::size_t here) { at_[label] = here; }
  bool Placed(int label) const { return at_[label] != kNowhere; }
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

  static constexpr std::size_t kNowhere = SIZE_MAX;
  std::size_t at_[kLabels] = {};
  List<Fix, 4 * kLabels> fixes_;
  List<Stub, kEndPos + 1> stubs_;
};

}  // namespace native
