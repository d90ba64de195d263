// The layer's failures: every one is an Exception with a message text, and
// callers tell the kinds apart by type. A family of tags, kept together.
#pragma once

#include <stdexcept>
#include <string>

namespace optivane::peak {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

class TimeoutException : public Exception {
public:
    using Exception::Exception;
};
class InvalidCastException : public Exception {
public:
    using Exception::Exception;
};
class NotFoundException : public Exception {
public:
    using Exception::Exception;
};
class BadAccessException : public Exception {
public:
    using Exception::Exception;
};
class NotInitializedException : public Exception {
public:
    using Exception::Exception;
};
class AbortedException : public Exception {
public:
    using Exception::Exception;
};

}  // namespace optivane::peak
