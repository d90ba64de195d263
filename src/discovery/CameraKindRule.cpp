#include "discovery/CameraKindRule.h"

#include <cstring>
#include <regex>
#include <string>

namespace optivane {

namespace {

constexpr const char* kVirtualAddress = "127.0.0.1";
constexpr const char* kPeakVendor = "IDS PeakCamera";
constexpr const char* kPhonePrefix = "SMPHCA";
constexpr size_t kPhoneAddressAt = 8;

template <size_t N>
std::string Field(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

bool IsDottedIpv4(const std::string& text) {
    try {
        static const std::regex kIpv4(
            "((25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)");
        return std::regex_match(text, kIpv4);
    } catch (const std::exception&) {
        // The engine out of memory: no address it could confirm.
        return false;
    }
}

bool IsPhoneId(const std::string& id) {
    if (id.size() < kPhoneAddressAt || id.compare(0, std::strlen(kPhonePrefix), kPhonePrefix) != 0) return false;
    const size_t colon = id.rfind(':');
    if (colon == std::string::npos) return false;
    const size_t end = colon < kPhoneAddressAt ? id.size() : colon;
    return IsDottedIpv4(id.substr(kPhoneAddressAt, end - kPhoneAddressAt));
}

}  // namespace

CameraKind CameraKindRule::Of(const CameraDeviceInfo& record) {
    if (Field(record.IpAddress) == kVirtualAddress) return CameraKind::Virtual;
    if (Field(record.VendorName) == kPeakVendor) return CameraKind::IdsPeak;
    if (IsPhoneId(Field(record.DeviceId))) return CameraKind::SmartPhone;
    return CameraKind::Aravis;
}

const CLSID& CameraKindRule::ClassOf(CameraKind kind) {
    switch (kind) {
        case CameraKind::Virtual: return CLSID_DummyCamera;
        case CameraKind::IdsPeak: return CLSID_IdsPeakCamera;
        case CameraKind::SmartPhone: return CLSID_SmartPhoneCamera;
        case CameraKind::Aravis: break;
    }
    return CLSID_AravisCamera;
}

const char* CameraKindRule::NameOf(CameraKind kind) {
    switch (kind) {
        case CameraKind::Virtual: return "virtual";
        case CameraKind::IdsPeak: return "peak";
        case CameraKind::SmartPhone: return "phone";
        case CameraKind::Aravis: break;
    }
    return "aravis";
}

}  // namespace optivane
