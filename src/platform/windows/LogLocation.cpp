#include "platform/LogLocation.h"

namespace optivane::platform {

const char* LogLocation::DefaultPath() { return "C:\\ProgramData\\Pellion.log"; }

}  // namespace optivane::platform
