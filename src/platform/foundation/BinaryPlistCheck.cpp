#include "platform/foundation/BinaryPlistCheck.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace ml::foundation {

namespace {

std::uint64_t readBigEndian(const std::uint8_t* p, unsigned width) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | p[i];
  return value;
}

enum Marker : unsigned {
  kSimple = 0x0, kInteger = 0x1, kReal = 0x2, kDate = 0x3, kData = 0x4, kAscii = 0x5, kUtf16 = 0x6,
  kArray = 0xA, kDictionary = 0xD,
};

struct Object {
  unsigned type = 0;
  bool container = false;
  std::uint64_t entries = 0;  // array elements, or dictionary pairs
  std::uint64_t refsAt = 0;   // file offset of the first reference
};

struct Done {
  unsigned type;
  std::uint64_t depth;  // containers on the deepest path from this object down
  std::uint64_t nodes;  // size of the tree this object expands into (saturated)
};

class Checker {
 public:
  Checker(std::span<const std::uint8_t> bytes, BinaryPlistLimits limits) : bytes_(bytes), limits_(limits) {}

  std::string run() {
    const std::size_t size = bytes_.size();
    if (size < 8 + 32) return "too short";
    if (std::memcmp(bytes_.data(), "bplist00", 8) != 0) return "not a binary property list";
    const std::uint8_t* trailer = bytes_.data() + size - 32;
    offsetWidth_ = trailer[6];
    refWidth_ = trailer[7];
    count_ = readBigEndian(trailer + 8, 8);
    std::uint64_t top = readBigEndian(trailer + 16, 8);
    tableAt_ = readBigEndian(trailer + 24, 8);
    if (offsetWidth_ < 1 || offsetWidth_ > 8 || refWidth_ < 1 || refWidth_ > 8) return "bad integer widths";
    if (count_ == 0) return "no objects";
    if (top >= count_) return "top object out of range";
    if (tableAt_ < 9 || tableAt_ > size - 32) return "offset table out of range";
    if (count_ > (size - 32 - tableAt_) / offsetWidth_) return "offset table truncated";
    return walk(top);
  }

 private:
  // Reads the object header at table entry `index`; null on success, else the reason.
  const char* describe(std::uint64_t index, Object& out) const {
    std::uint64_t at = readBigEndian(bytes_.data() + tableAt_ + index * offsetWidth_, offsetWidth_);
    if (at < 8 || at >= tableAt_) return "object offset out of range";
    const std::uint8_t* p = bytes_.data() + at;
    const std::uint64_t room = tableAt_ - at;  // bytes from the marker to the offset table
    const unsigned type = p[0] >> 4, info = p[0] & 0xF;
    std::uint64_t headerSize = 1;
    std::uint64_t length = info;
    auto readLength = [&]() -> const char* {
      if (info != 0xF) return nullptr;
      if (room < 2 || (p[1] >> 4) != kInteger) return "bad length";
      unsigned width = 1u << (p[1] & 0xF);
      if (width > 8 || room < 2 + static_cast<std::uint64_t>(width)) return "bad length";
      length = readBigEndian(p + 2, width);
      headerSize = 2 + width;
      return nullptr;
    };
    out = Object{type, false, 0, 0};
    switch (type) {
      case kSimple:
        return (info == 8 || info == 9) ? nullptr : "unsupported simple value";
      case kInteger:
        if (info > 4) return "integer too wide";
        return room < 1 + (1ull << info) ? "truncated integer" : nullptr;
      case kReal:
        if (info != 2 && info != 3) return "bad real width";
        return room < 1 + (1ull << info) ? "truncated real" : nullptr;
      case kDate:
        if (info != 3) return "bad date width";
        return room < 9 ? "truncated date" : nullptr;
      case kData:
      case kAscii:
      case kUtf16: {
        if (const char* e = readLength()) return e;
        std::uint64_t unit = type == kUtf16 ? 2 : 1;
        if (length > (room - headerSize) / unit) return "truncated string or data";
        // libplist hands strings out as C strings and asserts that none holds a NUL.
        if (type == kAscii && std::memchr(p + headerSize, 0, length)) return "string holds a NUL character";
        if (type == kUtf16)
          for (std::uint64_t i = 0; i < length; ++i)
            if (p[headerSize + 2 * i] == 0 && p[headerSize + 2 * i + 1] == 0) return "string holds a NUL character";
        return nullptr;
      }
      case kArray:
      case kDictionary: {
        if (const char* e = readLength()) return e;
        std::uint64_t perEntry = type == kDictionary ? 2 : 1;
        if (length > (room - headerSize) / refWidth_ / perEntry) return "truncated container";
        out.container = true;
        out.entries = length;
        out.refsAt = at + headerSize;
        return nullptr;
      }
      default:
        return "unsupported object type";
    }
  }

  struct Frame {
    std::uint64_t index;
    Object object;
    std::uint64_t next = 0;   // next reference to follow
    std::uint64_t depth = 0;  // deepest child so far
    std::uint64_t nodes = 1;
  };

  std::string walk(std::uint64_t top) {
    Object topObject;
    if (const char* e = describe(top, topObject)) return e;
    if (!topObject.container) return {};
    std::unordered_map<std::uint64_t, Done> done;
    std::unordered_map<std::uint64_t, bool> onPath;
    std::vector<Frame> path;
    path.push_back(Frame{top, topObject});
    onPath[top] = true;
    std::uint64_t visited = 1;
    while (!path.empty()) {
      Frame& frame = path.back();
      const std::uint64_t references =
          frame.object.entries * (frame.object.type == kDictionary ? 2 : 1);
      if (frame.next == references) {
        Done result{frame.object.type, frame.depth + 1, frame.nodes};
        std::uint64_t index = frame.index;
        path.pop_back();
        onPath.erase(index);
        done[index] = result;
        if (path.empty()) {
          // An object reached again from deeper down adds its depth there; the top's totals are
          // the deepest path and the size of the whole expansion.
          if (result.depth > limits_.maxDepth) return "nested too deeply";
          if (result.nodes > limits_.maxNodes) return "expands into too many objects";
          return {};
        }
        fold(path.back(), result);
        continue;
      }
      const std::uint64_t slot = frame.next++;
      const bool isKey = frame.object.type == kDictionary && slot < frame.object.entries;
      std::uint64_t child = readBigEndian(bytes_.data() + frame.object.refsAt + slot * refWidth_, refWidth_);
      if (child >= count_) return "reference out of range";
      if (onPath.count(child)) return "reference cycle";
      if (auto it = done.find(child); it != done.end()) {
        if (isKey && it->second.type != kAscii && it->second.type != kUtf16)
          return "dictionary key is not a string";
        fold(frame, it->second);
      } else {
        Object object;
        if (const char* e = describe(child, object)) return e;
        if (isKey && object.type != kAscii && object.type != kUtf16) return "dictionary key is not a string";
        if (++visited > limits_.maxNodes) return "too many objects";
        if (object.container) {
          if (path.size() >= limits_.maxDepth) return "nested too deeply";
          onPath[child] = true;
          path.push_back(Frame{child, object});  // `frame` is not used past this point
          continue;
        }
        Done leaf{object.type, 0, 1};
        done[child] = leaf;
        fold(frame, leaf);
      }
      if (frame.nodes > limits_.maxNodes) return "expands into too many objects";
    }
    return {};
  }

  void fold(Frame& parent, const Done& child) const {
    parent.depth = std::max(parent.depth, child.depth);
    parent.nodes = std::min(parent.nodes + child.nodes, limits_.maxNodes + 1);
  }

  std::span<const std::uint8_t> bytes_;
  BinaryPlistLimits limits_;
  unsigned offsetWidth_ = 0, refWidth_ = 0;
  std::uint64_t count_ = 0, tableAt_ = 0;
};

}  // namespace

std::string checkBinaryPlist(std::span<const std::uint8_t> bytes, BinaryPlistLimits limits) {
  return Checker(bytes, limits).run();
}

}  // namespace ml::foundation
