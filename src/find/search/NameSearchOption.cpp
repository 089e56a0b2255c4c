#include "find/search/NameSearchOption.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>

#include "rename/rules/UnicodeText.h"

namespace ml::find {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The text as the insensitive comparison sees it: composed (NFC), then case-folded. ASCII text,
// the common case on a volume, skips ICU.
std::string folded(std::string_view text) {
  if (isAscii(text)) {
    std::string out(text);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  UErrorCode status = U_ZERO_ERROR;
  if (const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status); U_SUCCESS(status) && nfc) {
    icu::UnicodeString composed = nfc->normalize(u, status);
    if (U_SUCCESS(status)) u = composed;
  }
  u.foldCase();
  std::string out;
  u.toUTF8String(out);
  return out;
}

// The text as the sensitive comparison sees it: composed (NFC), so that a name stored decomposed
// (e + combining acute, as files from other systems often are) equals the composed text typed.
// ASCII and text already composed, nearly every name, come back as they are without a copy;
// bytes that are not UTF-8 are left as they are.
std::string_view composed(std::string_view text, std::string& storage) {
  if (isAscii(text)) return text;
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status) || !nfc) return text;
  const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
  if (nfc->isNormalizedUTF8(piece, status) || U_FAILURE(status)) return text;
  storage.clear();
  icu::StringByteSink<std::string> sink(&storage, static_cast<int32_t>(text.size()));
  nfc->normalizeUTF8(0, piece, sink, nullptr, status);
  return U_SUCCESS(status) ? std::string_view(storage) : text;
}

enum class Relation { contains, startsWith, endsWith, equals };

bool holds(Relation relation, std::string_view name, std::string_view part) {
  switch (relation) {
    case Relation::contains: return name.find(part) != std::string_view::npos;
    case Relation::startsWith: return name.starts_with(part);
    case Relation::endsWith: return name.ends_with(part);
    case Relation::equals: return name == part;
  }
  return false;
}

bool testStrings(std::string_view name, const std::vector<std::string>& parts, BooleanOperator join, Relation relation,
                 bool ignoringCase) {
  // Both sides canonically composed: with case folded on top when case does not matter.
  std::string nameStorage, partStorage;
  const std::string_view subject = ignoringCase ? std::string_view(nameStorage = folded(name)) : composed(name, nameStorage);
  auto one = [&](const std::string& part) {
    if (!ignoringCase) return holds(relation, subject, composed(part, partStorage));
    return holds(relation, subject, folded(part));
  };
  // `and` stops at the first string that fails, `or` at the first that succeeds.
  if (join == BooleanOperator::andOp) return std::all_of(parts.begin(), parts.end(), one);
  return std::any_of(parts.begin(), parts.end(), one);
}

uint64_t characterCount(std::string_view name) {
  if (isAscii(name)) return name.size();
  if (auto text = rename::unicode::fromUtf8(name)) return static_cast<uint64_t>(rename::unicode::characterCount(*text));
  return rename::unicode::characters(name).size();  // malformed bytes count one character each
}

}  // namespace

bool NameSearchOption::test(std::string_view name, bool ignoringCase) const {
  struct Visitor {
    std::string_view name;
    bool ignoringCase;
    bool operator()(const Contains& o) const { return testStrings(name, o.value, o.joinUsing, Relation::contains, ignoringCase); }
    bool operator()(const StartsWith& o) const { return testStrings(name, o.value, o.joinUsing, Relation::startsWith, ignoringCase); }
    bool operator()(const EndsWith& o) const { return testStrings(name, o.value, o.joinUsing, Relation::endsWith, ignoringCase); }
    bool operator()(const Is& o) const { return testStrings(name, o.value, BooleanOperator::orOp, Relation::equals, ignoringCase); }
    bool operator()(const Matches& o) const { return o.pattern.findsMatch(name); }
    bool operator()(const Length& o) const { return characterCount(name) >= o.value; }
  };
  return std::visit(Visitor{name, ignoringCase}, option_);
}

}  // namespace ml::find
