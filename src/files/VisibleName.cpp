#include "files/VisibleName.h"

#include <array>
#include <vector>

namespace ml::files {

namespace {

// Marks drawn by the fonts a desktop has (the Control Pictures block, U+2400 on, is missing from
// the common ones and shows as an empty box).
constexpr std::string_view kNewlineMark = "\u21B5";  // ↵ DOWNWARDS ARROW WITH CORNER LEFTWARDS
constexpr std::string_view kTabMark = "\u21E5";      // ⇥ RIGHTWARDS ARROW TO BAR
constexpr std::string_view kReplacement = "\uFFFD";  // what the toolkit draws for a byte it cannot decode
constexpr std::string_view kByteOrderMark = "\uFEFF";

// Caret notation, two characters per control: "^@" for NUL ... "^_" for 0x1F, then "^?" for DEL.
constexpr auto kCaretMarks = [] {
  std::array<char, 66> marks{};
  for (int byte = 0; byte < 0x20; ++byte) {
    marks[static_cast<std::size_t>(2 * byte)] = '^';
    marks[static_cast<std::size_t>(2 * byte + 1)] = static_cast<char>(byte ^ 0x40);
  }
  marks[64] = '^';
  marks[65] = '?';
  return marks;
}();

std::string_view caretMark(unsigned byte) {
  const std::size_t slot = byte == 0x7F ? 32 : byte;
  return {kCaretMarks.data() + 2 * slot, 2};
}

// The length of the well-formed UTF-8 sequence at `i` (no overlong forms, no surrogates, nothing
// above U+10FFFF), or 0 when the byte there starts none.
std::size_t sequenceLength(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  auto continues = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
    return byte(k) >= low && byte(k) <= high;
  };
  const unsigned lead = byte(i);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continues(i + 1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : 0xBF;
    return continues(i + 1, low, high) && continues(i + 2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
    return continues(i + 1, low, high) && continues(i + 2) && continues(i + 3) ? 4 : 0;
  }
  return 0;
}

// One shown character (or mark) of a name and the bytes of the name it stands for.
struct Segment {
  std::size_t length = 1;  // bytes of the name, from the segment's start
  std::string_view mark;   // what the shown form writes; empty: the bytes as they are
  std::string_view edited; // what an editor of the shown form holds for it
};

Segment segmentAt(std::string_view name, std::size_t i) {
  const auto byte = static_cast<unsigned char>(name[i]);
  if (byte == '\n') return {1, kNewlineMark, kNewlineMark};
  if (byte == '\t') return {1, kTabMark, kTabMark};
  if (byte < 0x20 || byte == 0x7F) return {1, caretMark(byte), caretMark(byte)};
  const std::size_t length = sequenceLength(name, i);
  if (length == 0) return {1, {}, kReplacement};
  const std::string_view character = name.substr(i, length);
  // U+2028 LINE SEPARATOR, U+2029 PARAGRAPH SEPARATOR: line breaks to a text view.
  if (character == "\u2028" || character == "\u2029") return {length, kNewlineMark, kNewlineMark};
  // The toolkit drops a byte-order mark that begins a text it decodes: the editor never holds it.
  if (i == 0 && character == kByteOrderMark) return {length, {}, {}};
  return {length, {}, character};
}

template <class Visit>
void forEachSegment(std::string_view name, Visit&& visit) {
  for (std::size_t i = 0; i < name.size();) {
    const Segment segment = segmentAt(name, i);
    visit(i, segment);
    i += segment.length;
  }
}

}  // namespace

std::string visibleName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  forEachSegment(name, [&](std::size_t at, const Segment& segment) {
    out += segment.mark.empty() ? name.substr(at, segment.length) : segment.mark;
  });
  return out;
}

std::string editedName(std::string_view original, std::string_view edited) {
  struct Kept {
    std::size_t begin;        // in `original`
    std::string_view edited;  // its text in the editor
  };
  std::vector<Kept> segments;
  segments.reserve(original.size());
  forEachSegment(original, [&](std::size_t at, const Segment& segment) { segments.push_back({at, segment.edited}); });

  // The common start, in whole segments: `head` of them, `from` bytes of the edited text.
  std::size_t head = 0;
  std::size_t from = 0;
  while (head < segments.size() && edited.substr(from).starts_with(segments[head].edited)) {
    from += segments[head].edited.size();
    ++head;
  }
  if (head == segments.size() && from == edited.size()) return std::string(original);
  // The common end, never reaching back into the common start.
  std::size_t tail = segments.size();
  std::size_t to = edited.size();
  while (tail > head && edited.substr(from, to - from).ends_with(segments[tail - 1].edited)) {
    to -= segments[tail - 1].edited.size();
    --tail;
  }
  const std::size_t keptStart = head < segments.size() ? segments[head].begin : original.size();
  const std::size_t keptEnd = tail < segments.size() ? segments[tail].begin : original.size();
  std::string name;
  name.reserve(keptStart + (to - from) + (original.size() - keptEnd));
  name.append(original.substr(0, keptStart));
  name.append(edited.substr(from, to - from));
  name.append(original.substr(keptEnd));
  return name;
}

}  // namespace ml::files
