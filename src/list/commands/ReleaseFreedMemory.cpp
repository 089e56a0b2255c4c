#include "list/commands/ReleaseFreedMemory.h"

#include "list/rows/FreedMemory.h"

namespace ml::list {

void ReleaseFreedMemory::execute(const ListWindowState&, ListStore&) { releaseFreedMemory(); }

}  // namespace ml::list
