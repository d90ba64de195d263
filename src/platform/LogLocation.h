// Where this system's daily error log lives on this platform.
#pragma once

namespace optivane::platform {

class LogLocation {
public:
    // The log path before the daily date is added: "/var/tmp/Pellion.log" on
    // POSIX, "C:\ProgramData\Pellion.log" on Windows.
    static const char* DefaultPath();
};

}  // namespace optivane::platform
