#pragma once
// Kept so existing includes keep working; the type lives in the Qt-free shell/coding module.
#include "shell/coding/ModifierKeys.h"
