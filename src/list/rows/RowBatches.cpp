#include "list/rows/RowBatches.h"

#include "list/rows/PathListItem.h"

namespace ml::list {

void buildRowsInBatches(const std::vector<files::Path>& paths, dispatch::Clock& clock,
                        const std::function<void(std::vector<std::shared_ptr<PathListItem>>)>& deliver,
                        const std::function<bool()>& keepGoing, const std::shared_ptr<shell::UsageEvents>& usage) {
  std::vector<std::shared_ptr<PathListItem>> batch;
  SharedTexts texts;
  const auto started = clock.now();
  auto lastBatch = started;
  bool first = true;
  auto flush = [&] {
    if (batch.empty()) return;
    deliver(std::move(batch));
    batch.clear();
    lastBatch = clock.now();
    first = false;
  };
  for (const auto& path : paths) {
    if (keepGoing && !keepGoing()) return;
    batch.push_back(PathListItem::make(path, usage, &texts));
    const auto now = clock.now();
    if (first ? (batch.size() >= kFirstBatchRows || now - started >= kFirstBatchDelay) : now - lastBatch >= kBatchInterval) {
      flush();
    }
  }
  flush();
}

}  // namespace ml::list
