#pragma once
// The fields every crash log shares: the error's id (upper-case UUID text), the process and its
// parent, the erroring thread, whether the error was fatal, the launch time and architecture.
// Never made directly. Fields are set by the maker before the log is enqueued; not synchronised.
#include <cstdint>
#include <optional>
#include <string>

#include "beacon/core/TLLogWithProperties.h"

namespace ml::beacon {

class TLAbstractErrorLog : public TLLogWithProperties {
 public:
  std::optional<std::string> errorId;
  std::optional<std::int64_t> processId;
  std::optional<std::string> processName;
  std::optional<std::int64_t> parentProcessId;
  std::optional<std::string> parentProcessName;
  std::optional<std::int64_t> errorThreadId;
  std::optional<std::string> errorThreadName;
  bool fatal = false;
  std::optional<Date> appLaunchTimestamp;
  std::optional<std::string> architecture;

  bool isFatal() const { return fatal; }

  static constexpr std::string_view kClassName = "TLAbstractErrorLog";
  std::string_view className() const override { return kClassName; }
  // The base keys, then "id", "processId", ... "fatal" (always), "appLaunchTimestamp" (ISO 8601).
  TLJsonValue serializeToDictionary() const override;
  // The base is valid and errorId, processId and processName are present.
  bool isValid() const override;
  bool isEqual(const TLSerializableObject& other) const override;
  void encodeWithCoder(TLKeyedArchiver& coder) const override;
  void initWithCoder(const TLKeyedUnarchiver& coder) override;
};

}  // namespace ml::beacon
