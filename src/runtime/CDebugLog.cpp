#include "runtime/CDebugLog.h"

#include <cstdio>
#include <cstring>

#include "platform/LockedFile.h"
#include "platform/LogLocation.h"
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

}  // namespace

CDebugLog::CDebugLog() { m_path[0] = '\0'; }

void CDebugLog::Error(const char* className, const char* format, ...) {
    if (format == nullptr) return;

    // Messages and lines longer than the buffers are cut, not dropped: the
    // start of an error says the most.
    char message[kLineSize];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(message, sizeof(message), format, arguments);
    va_end(arguments);
    if (length < 0) return;

    char stamp[kStampSize];
    FormatStamp(platform::Clock::LocalNow(), stamp);
    char line[kLineSize];
    // Cut at the buffer's end, as the message was.
    if (std::snprintf(line, sizeof(line), "%s ERROR /%s/ %s", stamp, className != nullptr ? className : "", message) < 0) {
        return;
    }
    WriteLine(line);
}

void CDebugLog::Trace(const char* className, const char* format, ...) {}

void CDebugLog::TraceW(const wchar_t* format, ...) {}

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
    char date[32];
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) {
        std::snprintf(date, sizeof(date), "%.4d%.2d%.2d", now.year, now.month, now.day);
        return path + date;
    }
    // The name is cut at its last dot and joined again with the extension
    // first, so the date follows the whole name after a "-".
    std::snprintf(date, sizeof(date), "-%.4d%.2d%.2d", now.year, now.month, now.day);
    return path.substr(0, dot) + path.substr(dot) + date;
}

std::string CDebugLog::TimeStamp(const platform::LocalCalendarTime& now) {
    char stamp[kStampSize];
    FormatStamp(now, stamp);
    return stamp;
}

const char* CDebugLog::DefaultPath() { return platform::LogLocation::DefaultPath(); }

}  // namespace optivane
