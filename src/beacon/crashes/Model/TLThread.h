#pragma once
// One thread of a crash: its number, name, frames (innermost first) and, for the crashed thread,
// the exception that ended the process. A new thread has an empty frame list that makers append
// to. Plain record, not synchronised.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/crashes/Model/TLException.h"

namespace ml::beacon {

class TLThread : public TLSerializableObject {
 public:
  TLThread() : frames(std::vector<std::shared_ptr<TLStackFrame>>{}) {}

  std::optional<std::int64_t> threadId;
  std::optional<std::string> name;
  TLRecordList<TLStackFrame> frames;
  std::shared_ptr<TLException> exception;

  static constexpr std::string_view kClassName = "TLThread";
  std::string_view className() const override { return kClassName; }
  TLJsonValue serializeToDictionary() const override;
  // `threadId` present and at least one frame.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  // Replaces the frame list with the archived one (absent when the archive has none).
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon
