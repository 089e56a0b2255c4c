#include "files/KnownSizes.h"

namespace ml::files {

AutoExpiringCache<Path, FileSize>& knownSizes() {
  // A purge still running at exit holds the entries it works on, not the cache.
  static AutoExpiringCache<Path, FileSize> cache(120, 100);
  return cache;
}

}  // namespace ml::files
