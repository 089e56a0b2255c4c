#pragma once
// The search a find window is running: the paths found so far (arrival order) and the operation,
// for cancelling. The results sit behind a shared immutable vector so that copying the window's
// state (once per event) does not copy them; appending makes a new vector.
#include <memory>
#include <vector>

#include "files/Path.h"
#include "platform/dispatch/Operation.h"

namespace ml::find {

struct ActiveSearch {
  std::shared_ptr<const std::vector<files::Path>> results = std::make_shared<const std::vector<files::Path>>();
  std::shared_ptr<dispatch::Operation> task;

  const std::vector<files::Path>& paths() const { return *results; }
  void append(const std::vector<files::Path>& batch) {
    auto grown = std::make_shared<std::vector<files::Path>>(*results);
    grown->insert(grown->end(), batch.begin(), batch.end());
    results = std::move(grown);
  }
};

}  // namespace ml::find
