#pragma once
// Reads the header block of an HTTP answer one line at a time, as the transfer delivers it:
// a status line ("HTTP/1.1 200 OK", "HTTP/2 204") starts a new answer (so the fields of interim
// 1xx answers are dropped), "Name: value" lines add fields (value trimmed of blanks), a line that
// starts with a blank continues the previous value, and the empty line ends the block.
// Malformed lines are skipped; the block is capped so a hostile server cannot grow it without
// bound. Outside data: never throws, never reads past the line.
#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/net/HttpHeaders.h"

namespace ml::net {

class HttpHeaderBlockReader {
 public:
  static constexpr std::size_t kMaxBlockBytes = 64 * 1024;
  static constexpr std::size_t kMaxFields = 200;

  // False once the block has grown beyond its caps (the transfer should be aborted).
  bool addLine(std::string_view line);

  int statusCode() const { return statusCode_; }
  HttpHeaders headers() const;
  bool complete() const { return complete_; }

  // The status code of a status line; 0 when the line is not one.
  static int parseStatusLine(std::string_view line);

 private:
  int statusCode_ = 0;
  std::vector<HttpHeaders::Field> fields_;
  std::size_t bytes_ = 0;
  bool complete_ = false;
};

}  // namespace ml::net
