// Error lines appended to one daily log file shared by every component and
// every process that loads the module. Trace lines, with time and thread, go
// where OPTIVANE_TRACE says, read once per process: unset or empty, nowhere;
// "1", standard error; otherwise the file it names, appended to.
//
// Lines of all threads are serialised by one process-wide lock; between
// processes a non-blocking byte-range lock on the file's content decides, and
// a writer that cannot take it drops its line.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/Clock.h"

namespace optivane {

class CDebugLog {
public:
    CDebugLog();
    virtual ~CDebugLog() = default;

    // Formats one error line "[date time ms]    ERROR /className/ message".
    // A null format writes nothing. A message is cut at 1023 characters and
    // the whole line at 1023 bytes; no line end is added.
    void Error(const char* className, const char* format, ...);
    // "[date time ms]    thread N TRACE /className/ message" and one line end,
    // cut at 1023 bytes; TraceW has no class part and shows characters
    // outside ASCII as '?'. A null format traces nothing.
    void Trace(const char* className, const char* format, ...);
    void TraceW(const wchar_t* format, ...);

    // Appends one finished line (its first 1023 bytes) to the daily file. 0
    // when written or dropped because another process holds the lock; -1 for
    // a null line or when the file could not be opened, sized or written.
    // The first line sets the path to DefaultPath() when none is set.
    int WriteLine(const char* line);

    // Points this object at another file (tests only; the module never calls it).
    void SetPathForTesting(const char* path);

    // The daily file for a path: "path-YYYYMMDD" when the path has a dot, else "pathYYYYMMDD".
    static std::string DailyFileName(const std::string& path, const platform::LocalCalendarTime& now);
    // "[YYYY-MM-DD HH:MM:SS mmm]    "
    static std::string TimeStamp(const platform::LocalCalendarTime& now);
    static const char* DefaultPath();

private:
    char m_path[256];
};

}  // namespace optivane
