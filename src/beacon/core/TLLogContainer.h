#pragma once
// A batch of logs on its way to the ingestion service. The batch id names the upload call and is
// never part of the JSON. Not synchronised: built and read on the channel's queue.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "beacon/core/TLAbstractLog.h"

namespace ml::beacon {

class TLLogContainer {
 public:
  TLLogContainer() = default;
  TLLogContainer(std::string batchId, std::vector<std::shared_ptr<TLAbstractLog>> logs)
      : batchId(std::move(batchId)), logs(std::move(logs)) {}

  std::string batchId;
  std::vector<std::shared_ptr<TLAbstractLog>> logs;

  // {"logs":[...]} with the logs in batch order, compact; the request body of an upload.
  std::optional<std::string> serializeLog() const { return serializeLogWithPrettyPrinting(false); }
  // Nothing (and an error line "Couldn't serialize log container to json: ...") when writing fails.
  std::optional<std::string> serializeLogWithPrettyPrinting(bool prettyPrint) const;
  // False for an empty batch or when any log is invalid.
  bool isValid() const;
};

}  // namespace ml::beacon
