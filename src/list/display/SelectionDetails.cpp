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

// One walk gives the size and the counts, so "N bytes for M items" speaks of the same items
// (a cached size from an earlier walk could describe other ones); its size refreshes the cache.
FolderFacts readFolderFacts(const files::Path& path, std::stop_token stop) {
  FolderFacts facts;
  auto summary = files::Files::summarize(path, stop);
  if (!summary || stop.stop_requested()) return facts;
  facts.bytes = summary->size.actual;
  facts.counts = summary->counts;
  files::knownSizes().set(path, summary->size);
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
