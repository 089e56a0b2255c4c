#pragma once
// Moved to the rows target; kept so that includes of the old path still build.
#include "list/rows/PathNames.h"
