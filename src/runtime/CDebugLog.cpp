#include "runtime/CDebugLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/LockedFile.h"
#include "platform/LogLocation.h"
#include "platform/ThreadId.h"
#include "runtime/CVrelAutoLock.h"
#include "runtime/CVrelLock.h"

namespace optivane {

namespace {

// Every file write of every CDebugLog in the process goes through this one
// lock. It is made when the module is loaded, before any object exists.
CVrelLock g_fileLock;

constexpr size_t kLineSize = 1024;  // a line holds at most 1023 bytes
constexpr size_t kStampSize = 96;

void FormatStamp(const platform::LocalCalendarTime& now, char (&stamp)[kStampSize]) {
    char date[32];
    char time[32];
    char milliseconds[16];
    std::snprintf(date, sizeof(date), "%04d-%02d-%02d", now.year, now.month, now.day);
    std::snprintf(time, sizeof(time), "%02d:%02d:%02d", now.hour, now.minute, now.second);
    std::snprintf(milliseconds, sizeof(milliseconds), "%03d", now.millisecond);
    std::snprintf(stamp, sizeof(stamp), "[%s %s %s]    ", date, time, milliseconds);
}

// Where trace lines go, chosen once per process from OPTIVANE_TRACE: unset or
// empty, nowhere; "1", standard error; anything else, the file it names,
// appended to. Lines of all threads go out whole, one at a time.
class TraceTarget {
public:
    // Null while tracing is off: a trace then costs this one test.
    static TraceTarget* Get() {
        static TraceTarget target;
        return target.m_on ? &target : nullptr;
    }

    // Stamps the message, adds the thread and one line end, and writes it.
    void Write(const char* classPart, const char* message) {
        char stamp[kStampSize];
        FormatStamp(platform::Clock::LocalNow(), stamp);
        char line[kLineSize];
        if (std::snprintf(line, sizeof(line), "%s thread %llu TRACE %s%s", stamp,
                          static_cast<unsigned long long>(platform::ThreadId::Current()), classPart, message) < 0) {
            return;
        }
        // Cut to leave room for the line end, and one line end whether the
        // message brought its own or not.
        size_t length = std::strlen(line);
        if (length == sizeof(line) - 1) --length;
        while (length > 0 && line[length - 1] == '\n') --length;
        line[length++] = '\n';

        CVrelAutoLock hold(&m_lock);
        if (m_file.IsOpen()) {
            m_file.AppendAll(line, length);
            return;
        }
        std::fwrite(line, 1, length, stderr);
        std::fflush(stderr);
    }

private:
    TraceTarget() {
        const char* setting = std::getenv("OPTIVANE_TRACE");
        if (setting == nullptr || setting[0] == '\0') return;
        m_on = true;
        if (std::strcmp(setting, "1") == 0) return;
        // The person who asked for a trace still gets it.
        if (!m_file.Open(setting)) {
            std::fprintf(stderr, "optivane: cannot open OPTIVANE_TRACE=%s; tracing to standard error\n", setting);
        }
    }

    bool m_on = false;
    CVrelLock m_lock;
    platform::LockedFile m_file;
};

// Cut at the buffer's end; false when the format cannot be applied.
bool FormatMessage(char (&message)[kLineSize], const char* format, va_list arguments) {
    return std::vsnprintf(message, sizeof(message), format, arguments) >= 0;
}

}  // namespace

CDebugLog::CDebugLog() { m_path[0] = '\0'; }

void CDebugLog::Error(const char* className, const char* format, ...) {
    if (format == nullptr) return;

    // Messages and lines longer than the buffers are cut, not dropped: the
    // start of an error says the most.
    char message[kLineSize];
    va_list arguments;
    va_start(arguments, format);
    const bool formatted = FormatMessage(message, format, arguments);
    va_end(arguments);
    if (!formatted) return;

    char stamp[kStampSize];
    FormatStamp(platform::Clock::LocalNow(), stamp);
    char line[kLineSize];
    // Cut at the buffer's end, as the message was.
    if (std::snprintf(line, sizeof(line), "%s ERROR /%s/ %s", stamp, className != nullptr ? className : "", message) < 0) {
        return;
    }
    WriteLine(line);
}

void CDebugLog::Trace(const char* className, const char* format, ...) {
    TraceTarget* target = TraceTarget::Get();
    if (target == nullptr || format == nullptr) return;
    char message[kLineSize];
    va_list arguments;
    va_start(arguments, format);
    const bool formatted = FormatMessage(message, format, arguments);
    va_end(arguments);
    if (!formatted) return;
    char classPart[kLineSize];
    std::snprintf(classPart, sizeof(classPart), "/%s/ ", className != nullptr ? className : "");
    target->Write(classPart, message);
}

void CDebugLog::TraceW(const wchar_t* format, ...) {
    TraceTarget* target = TraceTarget::Get();
    if (target == nullptr || format == nullptr) return;
    wchar_t wide[kLineSize];
    wide[0] = L'\0';
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vswprintf(wide, kLineSize, format, arguments);
    va_end(arguments);
    // A message that does not fit fails as a whole here: trace what was kept.
    if (length < 0) wide[kLineSize - 1] = L'\0';
    // Without depending on the process's locale: characters outside ASCII
    // show as '?'.
    char message[kLineSize];
    size_t i = 0;
    for (; wide[i] != L'\0'; ++i) message[i] = static_cast<uint32_t>(wide[i]) < 0x80 ? static_cast<char>(wide[i]) : '?';
    message[i] = '\0';
    target->Write("", message);
}

int CDebugLog::WriteLine(const char* line) {
    if (line == nullptr) return -1;
    char buffer[kLineSize];
    std::snprintf(buffer, sizeof(buffer), "%s", line);
    const size_t length = std::strlen(buffer);

    if (m_path[0] == '\0') std::snprintf(m_path, sizeof(m_path), "%s", DefaultPath());
    std::string fileName;
    try {
        fileName = DailyFileName(m_path, platform::Clock::LocalNow());
    } catch (...) {
        return -1;
    }

    CVrelAutoLock hold(&g_fileLock);
    platform::LockedFile file;
    if (!file.Open(fileName)) return -1;
    uint64_t size = 0;
    if (!file.Size(&size)) return -1;
    // Another process writing the same file holds this range: drop the line
    // rather than wait. An empty file is guarded through its first byte.
    if (!file.TryLock(0, size)) return 0;
    const bool written = file.AppendAll(buffer, length);
    file.Unlock(0, size);
    if (!written) return -1;
    file.Flush();
    file.Close();
    return 0;
}

void CDebugLog::SetPathForTesting(const char* path) {
    std::snprintf(m_path, sizeof(m_path), "%s", path != nullptr ? path : "");
}

std::string CDebugLog::DailyFileName(const std::string& path, const platform::LocalCalendarTime& now) {
    // The date follows the whole path; a "-" sets it apart when the path has
    // a dot anywhere.
    char date[32];
    std::snprintf(date, sizeof(date), "%s%.4d%.2d%.2d", path.find('.') == std::string::npos ? "" : "-", now.year,
                  now.month, now.day);
    return path + date;
}

std::string CDebugLog::TimeStamp(const platform::LocalCalendarTime& now) {
    char stamp[kStampSize];
    FormatStamp(now, stamp);
    return stamp;
}

const char* CDebugLog::DefaultPath() { return platform::LogLocation::DefaultPath(); }

}  // namespace optivane
