#pragma once
// Hands a search's results to the rest of the application: a new list window, the frontmost list
// window or an Info window, through the global store's commands. Any thread: the front list is
// looked up on the main queue (the window order is the main thread's), and the items are added
// there.
//
// Adding to the front list needs an open list window; when none is open at delivery the results
// go to a new list window instead, so a finished search never loses what it found.
//
// Many results (a whole volume's) go to a list piece by piece: the list is chosen or made and
// shown on the main thread, then an operation on the search queue hands it kResultsPerPiece
// paths at a time, each piece made from the compact results only when its turn comes, and the
// list keeps only a piece or two waiting (ListWindowController::addItems waits off the main
// thread). So the results are never all held as Paths at once. The hand-over stops when the
// list goes (closed) or the search queue is torn down.
#include <cstddef>

#include "find/FoundPaths.h"
#include "find/ResultAction.h"
#include "shell/WindowContext.h"

namespace ml::find {

// Each piece is one addition to the list, built by several threads and inserted into the outline
// in a batch or two: fewer, larger pieces keep the builders busy and the outline's insertions few
// (pieces of 4,096 took twice as long for 200,000 results), while a piece or two of Paths waiting
// stays a few megabytes.
inline constexpr std::size_t kResultsPerPiece = 16384;

// Through `context`'s global store; without one the results are dropped (and logged).
void deliverResults(const shell::WindowContext& context, ResultAction action, FoundPaths results);

}  // namespace ml::find
