#include "platform/LogLocation.h"

namespace optivane::platform {

// /var/tmp survives reboots and is writable by every user, as ProgramData is
// on Windows.
const char* LogLocation::DefaultPath() { return "/var/tmp/Pellion.log"; }

}  // namespace optivane::platform
