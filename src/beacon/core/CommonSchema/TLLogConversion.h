#pragma once
// What a log type adopts to refine its common-schema form: a log type that has an event name and
// properties makes the base form (TLCommonSchemaConversion::commonSchemaLogForTargetToken) and
// then sets the name, the data part, the metadata extension and its tag. Log types that do not
// adopt it convert with the base form alone.
#include <cstdint>
#include <memory>
#include <string>

namespace ml::beacon {

class TLCommonSchemaLog;

class TLLogConversion {
 public:
  virtual ~TLLogConversion() = default;
  virtual std::shared_ptr<TLCommonSchemaLog> toCommonSchemaLogForTargetToken(const std::string& token,
                                                                             std::int64_t flags) const = 0;
};

}  // namespace ml::beacon
