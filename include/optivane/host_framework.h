// Objects of the host framework's modules that the camera module uses and
// hands to its host: images and pools (Zendra), TCP connections and local
// addresses (Linquet), and the network frame receiver (Mirvale).
//
// Slots whose use is fixed by the camera module are marked "used"; the others
// are the framework's own and documented here so that a host may call them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "optivane/com.h"

struct ICamImageCallback;

// ---------------------------------------------------------------------------
// Records

// Picture format of an image: 7 x uint32.
struct FrameFormat {
    uint32_t FormatCode;  // always 0 (24-bit blue-green-red)
    uint32_t Width;
    uint32_t Height;
    uint32_t AspectX;
    uint32_t AspectY;
    uint32_t FrameRateNumerator;
    uint32_t FrameRateDenominator;
};
static_assert(sizeof(FrameFormat) == 28, "FrameFormat is 28 bytes");
static_assert(offsetof(FrameFormat, Width) == 4 && offsetof(FrameFormat, Height) == 8, "FrameFormat layout");
static_assert(offsetof(FrameFormat, AspectX) == 12 && offsetof(FrameFormat, AspectY) == 16, "FrameFormat layout");
static_assert(offsetof(FrameFormat, FrameRateNumerator) == 20 && offsetof(FrameFormat, FrameRateDenominator) == 24,
              "FrameFormat layout");

// A point in time as Value / UnitsPerSecond seconds (the module always uses 1000000).
struct FrameTime {
    int64_t Value;
    int64_t UnitsPerSecond;
};
static_assert(sizeof(FrameTime) == 16 && offsetof(FrameTime, UnitsPerSecond) == 8, "FrameTime layout");

struct NetTimeout {
    int32_t Seconds;
    int32_t Microseconds;
};
static_assert(sizeof(NetTimeout) == 8 && offsetof(NetTimeout, Microseconds) == 4, "NetTimeout layout");

// ---------------------------------------------------------------------------
// Zendra: images, raw samples and pools of them.
//
// Pooled objects (images of CLSID_FrameImage and raw samples) carry a hold
// count beside their reference count. Taking an object from a pool holds it
// once; Hold (slot 4) adds a holder when the object is handed on, Done (slot 5)
// removes one. A pool hands an object out again only when no one holds it and
// no reference but the pool's own remains.

inline constexpr CLSID CLSID_SamplePool = {0xB12A964A, 0xE450, 0x4423, {0xAF, 0xA7, 0x87, 0xB1, 0x89, 0xF3, 0x12, 0x40}};
inline constexpr IID IID_ISamplePool = {0x8AEC4E8A, 0x78D5, 0x4969, {0x9E, 0xC8, 0xF1, 0x1B, 0x58, 0x71, 0x8E, 0xC3}};
inline constexpr CLSID CLSID_FrameImage = {0xBF381129, 0xAFDB, 0x4435, {0xB8, 0xCB, 0x77, 0xAB, 0x86, 0x97, 0xF4, 0x2A}};
inline constexpr CLSID CLSID_SnapshotFrameImage = {0x11C7EFC6, 0x89E5, 0x4A3A, {0x88, 0x8E, 0x12, 0x2B, 0x7C, 0x59, 0x58, 0x24}};
inline constexpr IID IID_IFrameImage = {0x64F99A3E, 0x3A38, 0x4B93, {0x95, 0xC9, 0x6E, 0xF4, 0x27, 0x39, 0x94, 0x29}};
inline constexpr IID IID_IImageRowAccess = {0x74075662, 0xBFE5, 0x4166, {0x8F, 0xBE, 0xC6, 0x72, 0xE9, 0xCE, 0x29, 0x8D}};
inline constexpr CLSID CLSID_RawSample = {0x8A33FB0E, 0xC3E9, 0x44C0, {0x96, 0x95, 0x0F, 0x76, 0x9D, 0x41, 0x72, 0x3B}};
inline constexpr IID IID_IRawSample = {0x3D7A48FF, 0x36AA, 0x40FA, {0xBD, 0x5B, 0x87, 0xF0, 0xA1, 0x81, 0xD6, 0x6D}};

// A set of pooled objects that hands out idle ones.
struct ISamplePool : IUnknown {
    // 3 (used): adds a pooled object (an image of CLSID_FrameImage or a raw
    // sample); the pool keeps a reference. E_INVALIDARG for foreign objects.
    virtual HRESULT Add(IUnknown* object) = 0;
    // 4 (used): hands out an idle object, held once and with one reference for
    // the caller; the pointer is the one given to Add. E_FAIL (and null) when
    // none is idle.
    virtual HRESULT Take(IUnknown** object) = 0;
    // 5: how many objects the pool has, and how many of them are idle.
    virtual HRESULT GetCounts(uint32_t* total, uint32_t* idle) = 0;
    // 6 (used): drops the pool's references; objects in use live on with their users.
    virtual HRESULT Clear() = 0;
};

// A 24-bit blue-green-red picture, rows top first, each Width * 3 bytes.
// Both image classes start with an empty format (0 x 0) and no buffer. Each
// SetFormat whose picture needs more than the buffer holds replaces it with
// a buffer of exactly that picture, touched once when it is made; a smaller
// picture reuses it, so a buffer never shrinks. CLSID_FrameImage images are
// made for pools: whoever fills a pool sets the format of the frames to come
// on each image, and the frames up to that size never allocate.
// CLSID_SnapshotFrameImage images also answer IID_IImageRowAccess.
struct IFrameImage : IUnknown {
    // 3: the current number of holders (see the pool rules above).
    virtual HRESULT GetHoldCount(uint32_t* holders) = 0;
    // 4 (used): one more holder; the object is handed on.
    virtual HRESULT Hold() = 0;
    // 5 (used): one holder is done; E_UNEXPECTED when none held it.
    virtual HRESULT Done() = 0;
    // 6 (used): sets the format; the buffer grows when the picture needs more.
    // Zero width or height, or a picture above 2^31 bytes: E_INVALIDARG.
    virtual HRESULT SetFormat(const FrameFormat* format) = 0;
    // 7 (used)
    virtual HRESULT GetFormat(FrameFormat* format) = 0;
    // 8 (used)
    virtual HRESULT SetTime(const FrameTime* start, const FrameTime* end) = 0;
    // 9 (used)
    virtual HRESULT GetTime(FrameTime* start, FrameTime* end) = 0;
    // 10: bytes from one row to the next (Width * 3).
    virtual HRESULT GetStride(uint32_t* stride) = 0;
    // 11 (used): the picture, Height * Width * 3 bytes.
    virtual HRESULT GetBuffer(uint8_t** data, uint32_t* size) = 0;
};

// Row access of snapshot images: component pointers of one row, each stepping
// by 3 bytes per pixel.
struct IImageRowAccess : IUnknown {
    // 3 (used): plane must be 0; E_INVALIDARG for a row outside the picture.
    virtual HRESULT GetRow(uint32_t plane, uint32_t row, uint8_t** red, uint8_t** green, uint8_t** blue) = 0;
};

// A raw camera frame. Each sample starts without a buffer (capacity 0).
// Prepare with more than the capacity replaces the buffer with one of exactly
// that size, touched once when it is made; it never shrinks. Whoever fills a
// pool prepares each sample for the largest frame to come, and the frames up
// to that size never allocate.
struct IRawSample : IUnknown {
    // 3: the current number of holders.
    virtual HRESULT GetHoldCount(uint32_t* holders) = 0;
    // 4 (used), 5 (used): as for images.
    virtual HRESULT Hold() = 0;
    virtual HRESULT Done() = 0;
    // 6 (used): makes room for size bytes (grows the buffer when needed) and
    // forgets the valid data.
    virtual HRESULT Prepare(uint32_t size) = 0;
    // 7 (used): the buffer and its capacity.
    virtual HRESULT GetBuffer(uint8_t** data, uint32_t* capacity) = 0;
    // 8 (used): marks the valid data; it must lie inside the buffer.
    virtual HRESULT SetData(const uint8_t* data, uint32_t size) = 0;
    // 9: forgets the valid data.
    virtual HRESULT Reset() = 0;
    // 10 (used): the valid data (null and 0 when none).
    virtual HRESULT GetData(uint8_t** data, uint32_t* size) = 0;
};

// ---------------------------------------------------------------------------
// Linquet: TCP connections and this computer's IPv4 addresses.

inline constexpr CLSID CLSID_TcpConnection = {0xB1F4973C, 0x38A6, 0x4063, {0xAA, 0x4A, 0x82, 0xD2, 0x10, 0xE6, 0xD3, 0x89}};
inline constexpr IID IID_ITcpConnection = {0xA37A9064, 0x42A1, 0x4CFB, {0x96, 0x22, 0x13, 0x5C, 0xFA, 0x8B, 0x5F, 0xCC}};
inline constexpr CLSID CLSID_NetAdapterList = {0x3AFBC97B, 0x24E0, 0x4B5D, {0x89, 0xF3, 0x58, 0x1B, 0xB7, 0x8D, 0x8E, 0x31}};
inline constexpr IID IID_INetAdapterList = {0xB2C4E4C9, 0x9ADD, 0x47FA, {0x80, 0x58, 0x93, 0x84, 0x47, 0x75, 0x74, 0xFC}};

// Failures of ITcpConnection besides E_FAIL, E_INVALIDARG and E_POINTER: the
// Winsock codes as HRESULTs (HRESULT_FROM_WIN32 of WSAETIMEDOUT and WSAECONNREFUSED).
inline constexpr HRESULT LINQUET_E_TIMEDOUT = static_cast<HRESULT>(0x8007274Cu);
inline constexpr HRESULT LINQUET_E_REFUSED = static_cast<HRESULT>(0x8007274Du);

// One TCP client connection. Every failure is a negative status.
struct ITcpConnection : IUnknown {
    // 3 (used): once after creation.
    virtual HRESULT Init() = 0;
    // 4: 1 while connected, else 0.
    virtual HRESULT IsConnected(int32_t* connected) = 0;
    // 5 (used): connects within the time-out (null: 5 seconds); the address is
    // IPv4 in host byte order; the first two arguments must be 0.
    virtual HRESULT Connect(uint32_t reserved1, uint32_t reserved2, uint16_t port, uint32_t address,
                            const NetTimeout* timeout) = 0;
    // 6: turns Nagle's algorithm off (1) or on (0).
    virtual HRESULT SetNoDelay(int32_t enable) = 0;
    // 7: the connected peer's address (host byte order) and port.
    virtual HRESULT GetPeer(uint32_t* address, uint16_t* port) = 0;
    // 8 (used): sends all bytes, each wait bounded by the time-out.
    virtual HRESULT Send(const char* data, size_t length, size_t* sent, const NetTimeout* timeout) = 0;
    // 9 (used): at least one and at most capacity bytes; fails on time-out and on peer close.
    virtual HRESULT Receive(char* buffer, size_t capacity, size_t* received, const NetTimeout* timeout) = 0;
    // 10 (used): closes the connection; S_OK also when none was open.
    virtual HRESULT Disconnect() = 0;
    // 11 (used): before the last Release.
    virtual HRESULT Uninit() = 0;
};

struct INetAdapterList : IUnknown {
    // 3: reads the addresses again (also done at creation).
    virtual HRESULT Refresh() = 0;
    // 4 (used): up to 255 IPv4 addresses of this computer, host byte order,
    // loopback excluded; addresses must have room for 255.
    virtual HRESULT GetLocalAddresses(uint16_t* count, uint32_t* addresses) = 0;
};

// ---------------------------------------------------------------------------
// Mirvale: frames received from a network frame source.

inline constexpr CLSID CLSID_FrameReceiver = {0xA775F8FA, 0xF3F6, 0x41CF, {0x81, 0x50, 0xAF, 0xFB, 0xD0, 0x71, 0x83, 0xAF}};
inline constexpr IID IID_IFrameReceiver = {0xE2AC66DD, 0x6FF8, 0x4DF0, {0x99, 0x93, 0xAA, 0x5B, 0xC2, 0xDD, 0x6A, 0x2E}};

// Failures of IFrameReceiver::Connect (and of GrabFrame, which may connect
// again), each distinct: HRESULT_FROM_WIN32 of WSAECONNREFUSED, WSAETIMEDOUT,
// ERROR_INVALID_DATA and ERROR_REVISION_MISMATCH.
inline constexpr HRESULT MIRVALE_E_REFUSED = static_cast<HRESULT>(0x8007274Du);
inline constexpr HRESULT MIRVALE_E_TIMEDOUT = static_cast<HRESULT>(0x8007274Cu);
inline constexpr HRESULT MIRVALE_E_BADDATA = static_cast<HRESULT>(0x8007000Du);
inline constexpr HRESULT MIRVALE_E_VERSION = static_cast<HRESULT>(0x8007051Au);

// A receiver of BGR frames from one frame source (protocol: the stand-in's
// host/mirvale/PROTOCOL.md). States: disconnected -> connected (Connect) ->
// receiving (StartReceiving) -> connected (StopReceiving) -> disconnected
// (Disconnect). Calls out of order answer E_FAIL, null pointers E_POINTER.
struct IFrameReceiver : IUnknown {
    // 3 (used): TCP connect and handshake, within 2 s each, to a dotted IPv4
    // host (never resolved) and port. MIRVALE_E_REFUSED, MIRVALE_E_TIMEDOUT,
    // MIRVALE_E_BADDATA (the source sent something else than protocol
    // version 1 or closed), MIRVALE_E_VERSION (the source speaks another
    // version); E_INVALIDARG for a host that is no IPv4 text or port 0;
    // E_FAIL while receiving. Connecting again replaces the connection.
    virtual HRESULT Connect(const char* host, uint16_t port) = 0;
    // 4 (used): the next frame as a CLSID_SnapshotFrameImage with one
    // reference for the caller, who frees it with Release alone. Connected:
    // asks the source for one frame (connecting again first when the link was
    // lost). Receiving: the next frame the receiving thread reads. Fails with
    // the Connect failures, or MIRVALE_E_TIMEDOUT when no frame comes within
    // 8 s; E_FAIL when disconnected.
    virtual HRESULT GrabFrame(IUnknown** frame) = 0;
    // 5 (used): starts the one receiving thread. It reads each frame into an
    // image (CLSID_FrameImage) from a pool of 4 and calls sink->OnImage; the
    // image is lent for the call, and a sink that keeps it calls Hold and
    // AddRef (and later Done and Release). When the sink holds all 4, frames
    // are read and dropped and counted. A lost source is connected again
    // every second, and frames go on to the same sink. owner is not used.
    // E_POINTER for a null sink; E_FAIL unless connected; E_HANDLE when
    // Zendra is missing; S_FALSE when already receiving.
    virtual HRESULT StartReceiving(ICamImageCallback* sink, void* owner) = 0;
    // 6 (used): stops and joins the receiving thread within about 50 ms, even
    // while the source stalls or a sink call is running (it then waits for
    // that call); no OnImage follows. The connection is closed; the next
    // GrabFrame connects again. S_FALSE when not receiving.
    virtual HRESULT StopReceiving() = 0;
    // 7 (used): stops receiving and closes the connection; S_OK in every state.
    virtual HRESULT Disconnect() = 0;
    // 8: frames handed to the sink, frames read and dropped because the sink
    // held every image, and connections made again, since creation.
    virtual HRESULT GetCounts(uint64_t* delivered, uint64_t* dropped, uint64_t* reconnects) = 0;
};
