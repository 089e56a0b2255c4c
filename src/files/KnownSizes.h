#pragma once
// Recently computed total sizes of folders (entries live 120 s; a purge is scheduled past 100
// entries), so showing the same folder again soon does not walk it again. Created on first
// use, lives until exit. Any thread.
#include "files/AutoExpiringCache.h"
#include "files/FileSize.h"
#include "files/Path.h"

namespace ml::files {

AutoExpiringCache<Path, FileSize>& knownSizes();

}  // namespace ml::files
