#pragma once
// The application's busy cursor: shown over every window while work the user started on items
// (copies, moves, the Trash) runs in the background, so that a long command is visibly at work.
// Main thread only.

namespace ml::appkit {

// Shows the busy cursor when `busy`, the ordinary one otherwise. Repeated calls with the same
// value change nothing. Does nothing without a running application.
void showBusyCursor(bool busy);

}  // namespace ml::appkit
