// Two maps kept side by side: left from A to B and right from B to A. Each
// assignment writes both; an earlier pair that shares only one side stays in
// the other map.
#pragma once

#include <functional>
#include <map>

namespace DBX {

template <class A, class B, class LessA = std::less<A>, class LessB = std::less<B>>
struct bimap {
  std::map<A, B, LessA> left;
  std::map<B, A, LessB> right;

  void assign(const A& a, const B& b) {
    left.insert_or_assign(a, b);
    right.insert_or_assign(b, a);
  }
  void clear() {
    left.clear();
    right.clear();
  }
  bool empty() const { return left.empty() && right.empty(); }
};

}  // namespace DBX
