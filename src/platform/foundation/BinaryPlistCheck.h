#pragma once
// Structural check of a binary property list ("bplist00") before it is handed to libplist, which
// trusts its input more than outside data deserves: it recurses once per nesting level, follows
// reference cycles, and copies an object once per reference (so a few shared objects can expand
// into billions of nodes).
//
// Passes only when: the trailer and offset table lie inside the buffer; every object offset lies
// in the object area; every object reachable from the top one has a known marker, a length that
// fits before the offset table, no NUL character in a string, and references to existing
// objects; the reachable graph has no
// cycle; its deepest path is at most `maxDepth` containers; and the tree it expands into has at
// most `maxNodes` nodes. Runs in time linear in the objects and references; never allocates more
// than a few words per object.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace ml::foundation {

struct BinaryPlistLimits {
  std::size_t maxDepth = 256;
  std::uint64_t maxNodes = 1u << 19;
};

// Empty when the data passes; otherwise a short reason ("reference out of range").
std::string checkBinaryPlist(std::span<const std::uint8_t> bytes, BinaryPlistLimits limits = {});

}  // namespace ml::foundation
