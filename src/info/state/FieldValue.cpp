#include "info/state/FieldValue.h"

#include <cstdio>
#include <sstream>

#include "platform/darwin/FileDate.h"

namespace ml::info {

namespace {

struct Describe {
  std::ostringstream& out;
  void operator()(const std::string& text) const { out << '"' << text << '"'; }
  void operator()(bool flag) const { out << (flag ? "true" : "false"); }
  // The log clock's 64-bit nanoseconds end in 2262; a file date may lie beyond.
  void operator()(const files::Date& date) const {
    const auto t = darwin::timespecOf(date);
    out << (t ? darwin::utcText(t->tv_sec) : darwin::decimalNanoseconds(date) + " ns after 1970");
  }
  void operator()(const files::FinderTags& tags) const {
    out << '[';
    const char* separator = "";
    for (const auto& tag : tags) {
      out << separator << '"' << tag.name << '"';
      separator = ", ";
    }
    out << ']';
  }
  void operator()(const files::FileIcon& icon) const { out << "icon(" << icon.path.string() << ')'; }
  void operator()(const files::FilePermissions& permissions) const {
    char octal[8];
    std::snprintf(octal, sizeof octal, "0o%03o", static_cast<unsigned>(permissions.rawValue()));
    out << octal;
  }
};

}  // namespace

std::string debugText(const FieldValue& value) {
  if (!value) return "nil";
  std::ostringstream out;
  out << "Optional(";
  std::visit(Describe{out}, *value);
  out << ')';
  return out.str();
}

}  // namespace ml::info
