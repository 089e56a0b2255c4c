#include "list/display/SelectionDetails.h"

#include "files/FileSystem.h"
#include "files/KnownSizes.h"
#include "list/display/ListDisplay.h"
#include "platform/dispatch/QueueAssert.h"

namespace ml::list {

ItemFacts readItemFacts(const files::Path& path) {
  ItemFacts facts;
  facts.kind = details::kUnknownKind;
  if (auto finder = path.fileSystem().finderAttributes(path)) {
    if (auto kind = finder->kind()) facts.kind = *kind;
  }
  facts.dates = files::Files::dates(path);
  return facts;
}

FolderFacts readFolderFacts(const files::Path& path, std::stop_token stop) {
  FolderFacts facts;
  if (auto known = files::knownSizes().get(path)) {
    facts.bytes = known->actual;
  } else if (auto basic = path.fileSystem().basicAttributes(path)) {
    files::FileSize total = basic->cancellableTotalSize(stop);
    if (stop.stop_requested()) return facts;
    facts.bytes = total.actual;
    files::knownSizes().set(path, total);
  }
  facts.counts = files::Files::countContents(path, true, stop);
  return facts;
}

void SelectionDetails::load(const files::Path& path, bool isFolder, FactsHandler facts, FolderHandler folder) {
  ML_ASSERT_MAIN_THREAD();
  current_.request_stop();
  current_ = std::stop_source();
  dispatch::Queue& main = main_;
  background_.async([path, isFolder, facts = std::move(facts), folder = std::move(folder), stop = current_.get_token(),
                     &main]() mutable {
    auto current = [stop] { return !stop.stop_requested(); };
    if (!current()) return;
    ItemFacts itemFacts = readItemFacts(path);
    main.async([itemFacts, facts = std::move(facts), current] {
      if (current() && facts) facts(itemFacts);
    });
    if (!isFolder || !current()) return;
    FolderFacts folderFacts = readFolderFacts(path, stop);
    main.async([folderFacts, folder = std::move(folder), current] {
      if (current() && folder) folder(folderFacts);
    });
  });
}

}  // namespace ml::list
