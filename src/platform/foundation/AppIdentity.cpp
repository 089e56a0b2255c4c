#include "platform/foundation/AppIdentity.h"

#ifndef ML_APP_VERSION
#error "ML_APP_VERSION must come from the build (the project version)"
#endif

namespace ml::foundation {

std::string AppIdentity::version() { return ML_APP_VERSION; }

}  // namespace ml::foundation
