#pragma once
// Small collection helpers shared by the windows.
#include <algorithm>
#include <vector>

namespace ml::files {

// The elements in order, after `visit` has been called once for each of them in that order.
template <class Collection, class Visit>
auto peek(const Collection& collection, Visit visit) {
  std::vector<typename Collection::value_type> out;
  for (const auto& element : collection) {
    visit(element);
    out.push_back(element);
  }
  return out;
}

// The elements with later duplicates removed, first occurrences kept in order (quadratic).
template <class T>
std::vector<T> distinct(const std::vector<T>& elements) {
  std::vector<T> out;
  for (const auto& e : elements)
    if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
  return out;
}

// Whether any element satisfies `predicate`; stops at the first that does. Exceptions the
// predicate throws pass through.
template <class Sequence, class Predicate>
bool anySatisfy(const Sequence& sequence, Predicate predicate) {
  for (const auto& element : sequence)
    if (predicate(element)) return true;
  return false;
}

}  // namespace ml::files
