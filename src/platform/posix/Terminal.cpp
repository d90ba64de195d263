#include "platform/Terminal.h"

#include <unistd.h>

namespace optivane::platform {

bool Terminal::IsStandardOutputTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace optivane::platform
