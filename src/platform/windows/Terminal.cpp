#include "platform/Terminal.h"

#include <io.h>
#include <stdio.h>

namespace optivane::platform {

bool Terminal::IsStandardOutputTerminal() { return _isatty(_fileno(stdout)) != 0; }

}  // namespace optivane::platform
