#include "HresultText.h"

#include <cstdint>
#include <cstdio>

#include "optivane/host_framework.h"

namespace optivane::tool {

namespace {

struct KnownStatus {
    HRESULT value;
    const char* name;
    const char* meaning;
};

// The statuses the module's interfaces return, worded for a camera user.
const KnownStatus kKnownStatuses[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "the requested state already held"},
    {E_NOINTERFACE, "E_NOINTERFACE", "the object does not offer the requested interface"},
    {E_POINTER, "E_POINTER", "a required pointer or callback was missing"},
    {E_ABORT, "E_ABORT", "the operation was aborted"},
    {E_FAIL, "E_FAIL", "the camera refused the operation or is not reachable"},
    {E_UNEXPECTED, "E_UNEXPECTED", "the camera is in a state that does not allow this"},
    {E_HANDLE, "E_HANDLE",
     "a host-framework module the camera needs (libZendra.so, libLinquet.so or libMirvale.so) or its entry is missing beside "
     "libOptivane.so"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory: the object could not be created"},
    {E_INVALIDARG, "E_INVALIDARG", "an argument is outside what the camera accepts"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE",
     "this libOptivane.so does not provide that kind of camera (it was built without it)"},
    // Linquet's refusal and time-out have the same values: phones get them too.
    {MIRVALE_E_REFUSED, "MIRVALE_E_REFUSED", "no frame source or phone listens at that address and port"},
    {MIRVALE_E_TIMEDOUT, "MIRVALE_E_TIMEDOUT", "the frame source or phone did not answer in time"},
    {MIRVALE_E_BADDATA, "MIRVALE_E_BADDATA", "the frame source sent data that is not the frame protocol"},
    {MIRVALE_E_VERSION, "MIRVALE_E_VERSION", "the frame source speaks another protocol version"},
};

}  // namespace

std::string HresultText::Describe(HRESULT status) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(static_cast<uint32_t>(status)));
    for (const KnownStatus& known : kKnownStatuses) {
        if (known.value == status) return std::string(known.name) + " (" + hex + "): " + known.meaning;
    }
    if (SUCCEEDED(status)) return std::string("status ") + hex + ": a success code without a name";
    return std::string("unnamed status ") + hex + ": a failure the module does not document";
}

}  // namespace optivane::tool
