#include "smartphone/PhoneRange.h"

#include <cctype>
#include <limits>
#include <vector>

namespace optivane::phone {

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The non-empty trimmed pieces between the enclosing characters; false for a
// value too short to have them.
bool SplitPieces(const std::string& value, std::vector<std::string>& pieces) {
    if (value.size() < 2) return false;
    const std::string inner = value.substr(1, value.size() - 2);
    size_t start = 0;
    while (start <= inner.size()) {
        size_t comma = inner.find(',', start);
        if (comma == std::string::npos) comma = inner.size();
        size_t begin = start, end = comma;
        while (begin < end && IsSpace(inner[begin])) ++begin;
        while (end > begin && IsSpace(inner[end - 1])) --end;
        if (end > begin) pieces.push_back(inner.substr(begin, end - begin));
        start = comma + 1;
    }
    return true;
}

// Leading digits after an optional sign, as the standard conversions read
// them (later characters ignored); the magnitude saturates at limit + 1.
bool ReadDecimal(const std::string& piece, bool& negative, uint64_t& magnitude, uint64_t limit) {
    size_t at = 0;
    negative = false;
    if (at < piece.size() && (piece[at] == '+' || piece[at] == '-')) negative = piece[at++] == '-';
    if (at >= piece.size() || !IsDigit(piece[at])) return false;
    magnitude = 0;
    for (; at < piece.size() && IsDigit(piece[at]); ++at) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(piece[at] - '0');
        if (magnitude > limit) magnitude = limit + 1;
    }
    return true;
}

bool ToExposure(const std::string& piece, uint32_t& number, std::string& error) {
    bool negative = false;
    uint64_t magnitude = 0;
    const uint64_t limit = std::numeric_limits<uint32_t>::max();
    if (!ReadDecimal(piece, negative, magnitude, limit) || negative) {
        error = "invalid stoul argument";
        return false;
    }
    number = magnitude > limit ? static_cast<uint32_t>(limit) : static_cast<uint32_t>(magnitude);
    return true;
}

bool ToSensitivity(const std::string& piece, int32_t& number, std::string& error) {
    bool negative = false;
    uint64_t magnitude = 0;
    const uint64_t limit = uint64_t{1} << 31;  // the magnitude of INT32_MIN
    if (!ReadDecimal(piece, negative, magnitude, limit)) {
        error = "invalid stoi argument";
        return false;
    }
    if (magnitude > limit || (!negative && magnitude == limit)) {
        error = "stoi argument out of range";
        return false;
    }
    number = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

}  // namespace

HRESULT ParseExposureRange(const std::string& value, ExposureRange& range, std::string& error) {
    std::vector<std::string> pieces;
    if (!SplitPieces(value, pieces) || pieces.size() < 2) {
        error = "exposure range needs two numbers";
        return E_FAIL;
    }
    uint32_t minimum = 0, maximum = 0;
    if (!ToExposure(pieces[0], minimum, error) || !ToExposure(pieces[1], maximum, error)) return E_FAIL;
    range = {minimum / 1000, maximum / 1000};
    return S_OK;
}

HRESULT ParseSensitivityRange(const std::string& value, SensitivityRange& range, std::string& error) {
    std::vector<std::string> pieces;
    if (!SplitPieces(value, pieces) || pieces.size() < 2) {
        error = "sensitivity range needs two numbers";
        return E_FAIL;
    }
    int32_t minimum = 0, maximum = 0;
    if (!ToSensitivity(pieces[0], minimum, error) || !ToSensitivity(pieces[1], maximum, error)) return E_FAIL;
    range = {minimum, maximum};
    return S_OK;
}

}  // namespace optivane::phone
