// One opened IDS peak device: found by its identifier, opened with control,
// its record and settings read, and its data stream run one finished buffer
// at a time into a deliverer. Every exception of the SDK layer is caught here
// and becomes an HRESULT; nothing of it reaches the camera.
//
// Calling order: OpenCamera once (an instance is never reopened); then any
// settings call; for streaming OpenDataStream, StartLiveStreaming,
// LiveStreaming repeatedly, StopLiveStreaming. The state enforces it: a call
// out of order returns E_UNEXPECTED and changes nothing.
//
// Threads: the camera's host threads call the settings operations and its
// streaming thread runs the stream operations. The instance lock (recursive)
// guards the handles and everything read at opening, and is held by every
// settings operation and by OpenDataStream and StartLiveStreaming; the camera
// also holds it around its gain calls. LiveStreaming, StopLiveStreaming and
// StopDataStream take no instance lock: StopDataStream comes from the thread
// that stops streaming while LiveStreaming waits, and ends that wait at once.
// The stream lock guards only the data-stream handle, which each of them
// copies out; no wait runs under it. The state is atomic for the same
// reason. The lock is never held while the library initialises or
// closes, and is taken after the camera's device lock, never before.
//
// Ownership: owns its handles; the SDK closes the device when the last one
// goes. The destructor does not stop acquisition: StopLiveStreaming first.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "optivane/optivane.h"
#include "peak/PeakTimings.h"
#include "peak/sdk/DataStream.h"
#include "peak/sdk/Device.h"
#include "peak/sdk/NodeMap.h"
#include "runtime/CDebugLog.h"
#include "runtime/CVrelLock.h"
#include "video/CVideoCallbacker.h"

namespace optivane {

class CPeakCamInstance {
public:
    enum class State { Created, Opened, StreamPrepared, Acquiring, Stopped };
    static constexpr int32_t kGainCount = 5;

    explicit CPeakCamInstance(const PeakTimings& timings = PeakTimings());
    virtual ~CPeakCamInstance() = default;
    CPeakCamInstance(const CPeakCamInstance&) = delete;
    CPeakCamInstance& operator=(const CPeakCamInstance&) = delete;

    // E_NOINTERFACE when no device matches or a step fails; the record is
    // written only on success.
    HRESULT OpenCamera(const char* deviceId, CameraDeviceInfo* record);
    // The liveness probe: reads the exposure's bounds and value.
    HRESULT CheckAlive();

    HRESULT GetExposure(double* minimum, double* maximum, double* value);
    HRESULT SetExposure(double microseconds);
    // Index 0 red, 1 green, 2 blue, 3 overall analog, 4 overall digital;
    // E_INVALIDARG outside.
    HRESULT GetGainByIndex(int32_t index, double* minimum, double* maximum, double* value);
    HRESULT GetGain(const std::string& selector, double* minimum, double* maximum, double* value);
    HRESULT SetGain(const std::string& selector, double value);
    HRESULT GetFrameRate(double* minimum, double* maximum, double* value);
    HRESULT SetFrameRate(double framesPerSecond);
    HRESULT GetPixelFormat(std::string* name);
    HRESULT SetPixelFormat(const std::string& name);
    HRESULT GetColorCorrectionMode(std::string* name);
    HRESULT SetColorCorrectionMode(const std::string& name);
    HRESULT GetUserSet(std::string* name);
    // Selects and loads the user set and reads the exposure range again.
    HRESULT SelectUserSet(const std::string& name);
    // The GenICam code of a format frames can be delivered in; E_UNEXPECTED
    // for any other.
    static HRESULT PixelFormatCode(const std::string& name, uint32_t* code);

    // Opens the data stream and announces and queues its minimum of buffers.
    HRESULT OpenDataStream(uint32_t* bufferCount);
    HRESULT StartLiveStreaming();
    // Waits for one finished buffer and hands a complete, non-empty one to
    // the deliverer (when given), then queues it again. E_FAIL after the
    // third time-out in a row, on a kill, or on any other failure.
    HRESULT LiveStreaming(uint32_t pixelFormatCode, CVideoCallbacker* delivery);
    // Stops the device's acquisition, the data stream and its buffers and
    // unlocks the transport parameters, each stage whatever the one before
    // did. E_FAIL when any failed.
    HRESULT StopLiveStreaming();
    // Ends a pending LiveStreaming wait at once (and the next wait when none
    // is pending).
    HRESULT StopDataStream();

    // What opening read; under the instance lock (the camera copies them).
    CVrelLock& InstanceLock() { return m_lock; }
    State CurrentState();
    const std::string& GainSelectorName(int32_t index) const { return m_gainSelectors[index]; }
    const std::vector<std::string>& PixelFormats() const { return m_pixelFormats; }
    const std::vector<std::string>& UserSets() const { return m_userSets; }
    const std::string& DefaultUserSet() const { return m_defaultUserSet; }
    const std::string& LongExposureUserSet() const { return m_longExposureUserSet; }
    const std::string& CurrentUserSet() const { return m_currentUserSet; }
    double ExposureMinimum() const { return m_exposureMinimum; }
    double ExposureMaximum() const { return m_exposureMaximum; }

private:
    // The usable entries of an enumeration (neither unimplemented nor
    // unavailable), in its order.
    std::vector<std::string> UsableEntries(const char* enumeration) const;
    HRESULT InitGainSelectors();
    void ListPixelFormats();
    void ListUserSets();
    // Minimum, maximum and value of a float node.
    void ReadFloat(const char* node, double* minimum, double* maximum, double* value) const;
    // Runs a settings step under the lock, in an opened instance
    // (E_UNEXPECTED otherwise), with SDK errors as E_FAIL.
    template <typename Step>
    HRESULT OnOpenedDevice(Step&& step);
    // An enumeration's current entry read or selected.
    HRESULT ReadEntry(const char* enumeration, std::string* name);
    HRESULT WriteEntry(const char* enumeration, const std::string& name);
    std::string CurrentEntry(const char* enumeration) const;
    void SelectEntry(const char* enumeration, const std::string& name);
    void Execute(const char* command);
    // Whether the state allows a settings call (opened in any way).
    bool IsOpened() const { return m_state != State::Created; }
    std::shared_ptr<peak::DataStream> Stream();
    void SetStream(std::shared_ptr<peak::DataStream> stream);

    const PeakTimings m_timings;
    CVrelLock m_lock;
    std::atomic<State> m_state{State::Created};
    int64_t m_deviceIndex = -1;
    std::string m_deviceId;
    std::shared_ptr<peak::Device> m_device;
    std::mutex m_streamLock;
    std::shared_ptr<peak::DataStream> m_dataStream;  // under m_streamLock
    std::shared_ptr<peak::NodeMap> m_nodeMap;
    std::array<std::string, kGainCount> m_gainSelectors;
    CameraDeviceInfo m_record{};
    std::vector<std::string> m_pixelFormats;
    std::vector<std::string> m_userSets;
    std::string m_defaultUserSet;
    std::string m_longExposureUserSet;
    std::string m_currentUserSet;
    double m_exposureMinimum = 0;
    double m_exposureMaximum = 0;
    CDebugLog m_log;
};

}  // namespace optivane
