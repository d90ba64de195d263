// Public interface of the Optivane camera module: the class and interface
// identifiers handed to DllCreateInstance, the camera, manager and callback
// interfaces, and the records that cross them.
//
// Ownership: an object handed out through an out-pointer carries one reference
// that the receiver releases. Callback objects are held as plain pointers,
// without references. A frame passed to OnFrame is lent for the call; a host
// that keeps it adds a reference (and releases it later).
#pragma once

#include <cstddef>
#include <cstdint>

#include "optivane/com.h"
#include "optivane/host_framework.h"

// ---------------------------------------------------------------------------
// Class and interface identifiers

inline constexpr CLSID CLSID_AravisCamera = {0x9988644C, 0x98DE, 0x4169, {0x83, 0x35, 0x13, 0x6A, 0xCE, 0x97, 0xD7, 0x71}};
inline constexpr CLSID CLSID_Optivane = {0x0EEE9AF9, 0xFC79, 0x4E87, {0x81, 0x24, 0x81, 0xEE, 0x5D, 0xD6, 0xBE, 0xAC}};
inline constexpr CLSID CLSID_DummyCamera = {0x96B36C06, 0xBB0A, 0x4D0A, {0x87, 0x73, 0xAC, 0x8B, 0x92, 0x5B, 0x43, 0x6C}};
inline constexpr CLSID CLSID_SmartPhoneCamera = {0xAB11E56A, 0x4C0F, 0x4564, {0xAD, 0xE2, 0x91, 0x1F, 0xF0, 0x84, 0x77, 0xB2}};
inline constexpr CLSID CLSID_IdsPeakCamera = {0xC66CF2BC, 0x42CE, 0x49AB, {0x87, 0xC8, 0x9A, 0x24, 0x1B, 0xD4, 0x94, 0xB7}};
inline constexpr CLSID CLSID_PeakSdkManager = {0xEE6B0B5A, 0xA644, 0x423C, {0xA2, 0xA0, 0x0E, 0xC4, 0xAD, 0xDA, 0x9B, 0xB7}};

inline constexpr IID IID_IAravisCamera = {0xC1E02EA6, 0xC654, 0x4124, {0x97, 0xBF, 0x4E, 0x25, 0x31, 0xD4, 0x36, 0x08}};
inline constexpr IID IID_IOptivane = {0x8A1A337E, 0xC30A, 0x4813, {0xB9, 0x7F, 0xD9, 0xF4, 0xF9, 0x42, 0xAF, 0xA2}};
inline constexpr IID IID_IPeakSdkManager = {0x3CF98085, 0xA478, 0x4AE5, {0xB9, 0x0D, 0x05, 0x2C, 0x73, 0x68, 0x97, 0xF8}};

// ---------------------------------------------------------------------------
// Records

// One camera as found by a search and as opened. Text fields are ASCII,
// NUL-terminated, zero-filled after the terminator.
struct CameraDeviceInfo {
    char DeviceId[32];
    char DeviceUserId[32];
    char VendorName[16];
    char IpAddress[24];
    char ModelName[32];
    char SerialNumber[32];
    uint32_t WidthMax;
    uint32_t HeightMax;
};
static_assert(sizeof(CameraDeviceInfo) == 176, "CameraDeviceInfo is 176 bytes");
static_assert(offsetof(CameraDeviceInfo, DeviceUserId) == 32, "CameraDeviceInfo layout");
static_assert(offsetof(CameraDeviceInfo, VendorName) == 64, "CameraDeviceInfo layout");
static_assert(offsetof(CameraDeviceInfo, IpAddress) == 80, "CameraDeviceInfo layout");
static_assert(offsetof(CameraDeviceInfo, ModelName) == 104, "CameraDeviceInfo layout");
static_assert(offsetof(CameraDeviceInfo, SerialNumber) == 136, "CameraDeviceInfo layout");
static_assert(offsetof(CameraDeviceInfo, WidthMax) == 168, "CameraDeviceInfo layout");
static_assert(offsetof(CameraDeviceInfo, HeightMax) == 172, "CameraDeviceInfo layout");

// One entry of a camera's pixel-format list.
struct CameraPixelFormat {
    char Name[16];
    uint32_t Code;  // Aravis cameras: the GenICam pixel-format value
};
static_assert(sizeof(CameraPixelFormat) == 20 && offsetof(CameraPixelFormat, Code) == 16, "CameraPixelFormat layout");

// Numbered camera settings for GetParameter and SetParameter. Values travel as
// uint32; "x 100" values are fixed-point with two decimals.
enum CameraParameterId : int32_t {
    CameraParameterBrightness = 0,        // raw integer
    CameraParameterGainAuto = 1,          // 0 off, 1 once, 2 continuous
    CameraParameterRed = 2,               // x 100
    CameraParameterGreen = 3,             // x 100
    CameraParameterBlue = 4,              // x 100
    CameraParameterGain = 5,              // x 100
    CameraParameterGain2 = 6,             // x 100, further gain channel
    CameraParameterExposureAuto = 7,      // 0 off, 1 once, 2 continuous
    CameraParameterExposureTime = 8,      // microseconds
    CameraParameterWhiteBalanceAuto = 9,  // 0 off, 1 once, 2 continuous
    CameraParameterExposureStep = 10,     // 0 (30 s) to 19 (1/60 s)
    CameraParameterPixelFormat = 11,      // the kind's pixel-format code
    CameraParameterFrameRate = 12,        // frames per second x 100
    CameraParameterLongExposure = 13,     // write only: 1 long-exposure user set, else default
    CameraParameterRotation = 14,         // degrees: 0, 90, 180, 270
    CameraParameterFlip = 15,             // 0 none, 1 vertical, 2 horizontal, other both
    CameraParameterColorCorrection = 16,  // 0 off, 1 auto
};

// GenICam pixel-format values the module converts into colour frames.
inline constexpr uint32_t PixelFormatMono8 = 0x01080001;
inline constexpr uint32_t PixelFormatBayerGR8 = 0x01080008;
inline constexpr uint32_t PixelFormatBayerRG8 = 0x01080009;
inline constexpr uint32_t PixelFormatBayerGB8 = 0x0108000A;
inline constexpr uint32_t PixelFormatBayerBG8 = 0x0108000B;
inline constexpr uint32_t PixelFormatRGB8 = 0x02180014;
inline constexpr uint32_t PixelFormatBGR8 = 0x02180015;

// ---------------------------------------------------------------------------
// Callbacks implemented by the host. None derives from IUnknown; results are
// not looked at.

struct IDeviceSearchCallback {
    // Called once per search on the module's search thread. The records are
    // valid only during the call; null when count is 0.
    virtual HRESULT OnDevicesFound(int32_t reserved, void* context, const CameraDeviceInfo* records, int32_t count) = 0;
};

struct IAravisCameraCallback {
    // Called for every frame on a thread of the module. The frame (an
    // IFrameImage) is lent for the call.
    virtual HRESULT OnFrame(int32_t status, void* context, IUnknown* frame) = 0;
};

struct ICamImageCallback {
    virtual HRESULT OnImage(IUnknown* frame) = 0;
};

// ---------------------------------------------------------------------------
// Interfaces

// One camera of any kind. StopStreaming and Close wait for the thread that
// calls OnFrame: never call them from inside OnFrame.
struct IAravisCamera : IUnknown {
    virtual HRESULT Open(const CameraDeviceInfo* device) = 0;                                        // 3
    virtual HRESULT GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) = 0;      // 4
    virtual HRESULT SetRegion(uint32_t x, uint32_t y, uint32_t width, uint32_t height) = 0;          // 5
    virtual HRESULT GetDeviceInfo(CameraDeviceInfo* device) = 0;                                     // 6
    virtual HRESULT GetParameter(int32_t id, uint32_t* value) = 0;                                   // 7
    virtual HRESULT SetParameter(int32_t id, uint32_t value) = 0;                                    // 8
    virtual HRESULT GetParameterRange(int32_t channel, uint32_t* min, uint32_t* max) = 0;            // 9
    virtual HRESULT GetExposureTimeRange(double* min, double* max) = 0;                              // 10
    virtual HRESULT GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) = 0;  // 11
    virtual HRESULT SaveSnapshot(uint32_t reserved, const char* path) = 0;                           // 12
    virtual HRESULT GrabSnapshot(uint32_t reserved, IUnknown** frame) = 0;                           // 13
    virtual HRESULT StartStreaming(IAravisCameraCallback* callback, void* context) = 0;              // 14
    virtual HRESULT RestartStreaming() = 0;                                                          // 15
    virtual HRESULT StopStreaming() = 0;                                                             // 16
    virtual HRESULT Reserved() = 0;                                                                  // 17
    virtual HRESULT Close() = 0;                                                                     // 18
};

struct IOptivane : IUnknown {
    virtual HRESULT Initialize() = 0;                                                                   // 3
    virtual HRESULT StartSearch(IDeviceSearchCallback* callback, void* context, const char* address) = 0;  // 4
    virtual HRESULT CreateCamera(const CameraDeviceInfo* device, IAravisCamera** camera) = 0;           // 5
    virtual HRESULT Uninitialize() = 0;                                                                 // 6
};

class CIdsPeakCamera;

struct IPeakSdkManager : IUnknown {
    virtual HRESULT RegisterCamera(CIdsPeakCamera* camera) = 0;    // 3
    virtual HRESULT UnregisterCamera(CIdsPeakCamera* camera) = 0;  // 4
    virtual HRESULT ReinitializeSdk() = 0;                         // 5
};

// ---------------------------------------------------------------------------
// The module's one exported entry.
//
// E_POINTER for a null out-pointer, CLASS_E_CLASSNOTAVAILABLE for a class the
// module does not have, E_NOINTERFACE when the class does not answer the
// interface; otherwise one reference through the out-pointer.
OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object);
