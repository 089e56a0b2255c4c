#pragma once
// Hands a search's results to the rest of the application: a new list window, the frontmost list
// window or an Info window, through the global store's commands. Any thread: the front list is
// looked up on the main queue (the window order is the main thread's), and the items are added
// there.
//
// Adding to the front list needs an open list window; when none is open at delivery the results
// go to a new list window instead, so a finished search never loses what it found.
#include <vector>

#include "files/Path.h"
#include "find/ResultAction.h"
#include "shell/WindowContext.h"

namespace ml::find {

// Through `context`'s global store; without one the results are dropped (and logged).
void deliverResults(const shell::WindowContext& context, ResultAction action, std::vector<files::Path> results);

}  // namespace ml::find
