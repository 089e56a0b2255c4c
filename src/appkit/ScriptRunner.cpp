#include "appkit/ScriptRunner.h"

namespace ml::appkit {

std::string ScriptError::description() const {
  return "{message = \"" + message + "\"; number = " + std::to_string(number) + "}";
}

}  // namespace ml::appkit
