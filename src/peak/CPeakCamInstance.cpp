#include "peak/CPeakCamInstance.h"

#include <algorithm>
#include <utility>

#include "peak/PeakDeviceRecord.h"
#include "peak/sdk/CommandNode.h"
#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/EnumerationNode.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/FloatNode.h"
#include "peak/sdk/IntegerNode.h"
#include "platform/Clock.h"
#include "runtime/CTimeUtil.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "CPeakCamInstance";
constexpr uint64_t kCommandTimeoutMs = 500;
constexpr int kFrameRateAttempts = 5;
constexpr int kWaitAttempts = 3;

struct PixelFormatEntry {
    const char* name;
    uint32_t code;
};
// The formats frames can be delivered in, with their GenICam codes.
constexpr PixelFormatEntry kDeliverableFormats[] = {
    {"Mono8", 0x01080001},    {"BayerGR8", 0x01080008}, {"BayerRG8", 0x01080009}, {"BayerGB8", 0x0108000A},
    {"BayerBG8", 0x0108000B}, {"RGB8", 0x02180014},     {"BGR8", 0x02180015},
};

}  // namespace

CPeakCamInstance::CPeakCamInstance(const PeakTimings& timings) : m_timings(timings) {}

CPeakCamInstance::State CPeakCamInstance::CurrentState() { return m_state.load(); }

std::shared_ptr<peak::DataStream> CPeakCamInstance::Stream() {
    std::lock_guard<std::mutex> guard(m_streamLock);
    return m_dataStream;
}

void CPeakCamInstance::SetStream(std::shared_ptr<peak::DataStream> stream) {
    std::lock_guard<std::mutex> guard(m_streamLock);
    m_dataStream = std::move(stream);
}

HRESULT CPeakCamInstance::OpenCamera(const char* deviceId, CameraDeviceInfo* record) {
    if (deviceId == nullptr || record == nullptr) return E_POINTER;
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::Created) return E_UNEXPECTED;
    try {
        peak::DeviceManager& manager = peak::DeviceManager::Instance();
        manager.Update();
        const auto devices = manager.Devices();
        std::shared_ptr<peak::DeviceDescriptor> match;
        for (size_t i = 0; i < devices.size() && !match; ++i) {
            if (peak_record::DeviceIdOf(devices[i]->Identifier()) != deviceId) continue;
            match = devices[i];
            m_deviceIndex = static_cast<int64_t>(i);
            m_deviceId = deviceId;
        }
        if (!match) return E_NOINTERFACE;

        std::shared_ptr<peak::Device> device;
        try {
            device = match->OpenDevice(peak::DeviceDescriptor::kAccessControl);
        } catch (const std::exception& error) {
            // Held by another camera of this process: share its device.
            m_log.Error(kClassName, "OpenCamera failed...  EXCEPTION: %s, DeviceID: %s, Get opened device.\n",
                        error.what(), m_deviceId.c_str());
            device = match->OpenedDevice();
        }
        const auto nodeMaps = device->NodeMaps();
        if (nodeMaps.empty()) throw peak::Exception("device without a node map");
        m_device = device;
        m_nodeMap = nodeMaps.front();
        CameraDeviceInfo filled{};
        peak_record::Fill(m_deviceId, *m_nodeMap, &filled);
        m_record = filled;
        m_state = State::Opened;

        // What these cannot read stays empty; the camera copes.
        InitGainSelectors();
        ListPixelFormats();
        ListUserSets();
        GetUserSet(&m_currentUserSet);
        double value = 0;
        GetExposure(&m_exposureMinimum, &m_exposureMaximum, &value);
        *record = m_record;
        return S_OK;
    } catch (const std::exception& error) {
        m_log.Error(kClassName, "OpenCamera failed...  EXCEPTION: %s, DeviceID: %s\n", error.what(), m_deviceId.c_str());
        m_state = State::Created;
        m_nodeMap.reset();
        m_device.reset();
        m_deviceIndex = -1;
        return E_NOINTERFACE;
    }
}

std::vector<std::string> CPeakCamInstance::UsableEntries(const char* enumeration) const {
    std::vector<std::string> names;
    for (const auto& entry : m_nodeMap->FindNode<peak::EnumerationNode>(enumeration)->Entries()) {
        const auto access = entry->Access();
        if (access != peak::EnumerationEntryNode::NotImplemented && access != peak::EnumerationEntryNode::NotAvailable)
            names.push_back(entry->SymbolicName());
    }
    return names;
}

HRESULT CPeakCamInstance::InitGainSelectors() {
    try {
        if (!m_nodeMap->HasNode("GainSelector")) return E_FAIL;
        const std::vector<std::string> listed = UsableEntries("GainSelector");
        const auto isListed = [&listed](const std::string& name) {
            return std::find(listed.begin(), listed.end(), name) != listed.end();
        };
        // Colour gains: digital, else analog, else the plain name unchecked.
        const char* colours[] = {"Red", "Green", "Blue"};
        for (int32_t index = 0; index < 3; ++index) {
            const std::string colour = colours[index];
            m_gainSelectors[index] = isListed("Digital" + colour)  ? "Digital" + colour
                                     : isListed("Analog" + colour) ? "Analog" + colour
                                                                   : colour;
        }
        if (isListed("AnalogAll")) m_gainSelectors[3] = "AnalogAll";
        if (isListed("DigitalAll")) m_gainSelectors[4] = "DigitalAll";
        return S_OK;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

void CPeakCamInstance::ListPixelFormats() {
    try {
        for (const std::string& name : UsableEntries("PixelFormat")) m_pixelFormats.push_back(name);
    } catch (const std::exception&) {
    }
}

void CPeakCamInstance::ListUserSets() {
    m_userSets.clear();
    m_defaultUserSet.clear();
    m_longExposureUserSet.clear();
    try {
        for (const std::string& name : UsableEntries("UserSetSelector")) {
            m_userSets.push_back(name);
            if (name.find("Default") != std::string::npos)
                m_defaultUserSet = name;
            else if (name.find("LongExposure") != std::string::npos)
                m_longExposureUserSet = name;
        }
    } catch (const std::exception&) {
    }
}

void CPeakCamInstance::ReadFloat(const char* node, double* minimum, double* maximum, double* value) const {
    *minimum = m_nodeMap->FindNode<peak::FloatNode>(node)->Minimum();
    *maximum = m_nodeMap->FindNode<peak::FloatNode>(node)->Maximum();
    *value = m_nodeMap->FindNode<peak::FloatNode>(node)->Value();
}

std::string CPeakCamInstance::CurrentEntry(const char* enumeration) const {
    return m_nodeMap->FindNode<peak::EnumerationNode>(enumeration)->CurrentEntry()->SymbolicName();
}

void CPeakCamInstance::SelectEntry(const char* enumeration, const std::string& name) {
    m_nodeMap->FindNode<peak::EnumerationNode>(enumeration)->SetCurrentEntry(name);
}

void CPeakCamInstance::Execute(const char* command) {
    m_nodeMap->FindNode<peak::CommandNode>(command)->Execute();
    m_nodeMap->FindNode<peak::CommandNode>(command)->WaitUntilDone(kCommandTimeoutMs);
}

HRESULT CPeakCamInstance::CheckAlive() {
    double minimum = 0, maximum = 0, value = 0;
    return GetExposure(&minimum, &maximum, &value);
}

template <typename Step>
HRESULT CPeakCamInstance::OnOpenedDevice(Step&& step) {
    CVrelAutoLock lock(&m_lock);
    if (!IsOpened()) return E_UNEXPECTED;
    try {
        step();
        return S_OK;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT CPeakCamInstance::GetExposure(double* minimum, double* maximum, double* value) {
    if (minimum == nullptr || maximum == nullptr || value == nullptr) return E_POINTER;
    return OnOpenedDevice([&] { ReadFloat("ExposureTime", minimum, maximum, value); });
}

HRESULT CPeakCamInstance::SetExposure(double microseconds) {
    return OnOpenedDevice([&] { m_nodeMap->FindNode<peak::FloatNode>("ExposureTime")->SetValue(microseconds); });
}

HRESULT CPeakCamInstance::GetGainByIndex(int32_t index, double* minimum, double* maximum, double* value) {
    if (index < 0 || index >= kGainCount) return E_INVALIDARG;
    CVrelAutoLock lock(&m_lock);
    return GetGain(m_gainSelectors[index], minimum, maximum, value);
}

HRESULT CPeakCamInstance::GetGain(const std::string& selector, double* minimum, double* maximum, double* value) {
    if (minimum == nullptr || maximum == nullptr || value == nullptr) return E_POINTER;
    return OnOpenedDevice([&] {
        SelectEntry("GainSelector", selector);
        ReadFloat("Gain", minimum, maximum, value);
    });
}

HRESULT CPeakCamInstance::SetGain(const std::string& selector, double value) {
    return OnOpenedDevice([&] {
        SelectEntry("GainSelector", selector);
        m_nodeMap->FindNode<peak::FloatNode>("Gain")->SetValue(value);
    });
}

HRESULT CPeakCamInstance::GetFrameRate(double* minimum, double* maximum, double* value) {
    if (minimum == nullptr || maximum == nullptr || value == nullptr) return E_POINTER;
    return OnOpenedDevice([&] { ReadFloat("AcquisitionFrameRate", minimum, maximum, value); });
}

HRESULT CPeakCamInstance::SetFrameRate(double framesPerSecond) {
    return OnOpenedDevice(
        [&] { m_nodeMap->FindNode<peak::FloatNode>("AcquisitionFrameRate")->SetValue(framesPerSecond); });
}

HRESULT CPeakCamInstance::ReadEntry(const char* enumeration, std::string* name) {
    if (name == nullptr) return E_POINTER;
    return OnOpenedDevice([&] { *name = CurrentEntry(enumeration); });
}

HRESULT CPeakCamInstance::WriteEntry(const char* enumeration, const std::string& name) {
    return OnOpenedDevice([&] { SelectEntry(enumeration, name); });
}

HRESULT CPeakCamInstance::GetPixelFormat(std::string* name) { return ReadEntry("PixelFormat", name); }

HRESULT CPeakCamInstance::SetPixelFormat(const std::string& name) { return WriteEntry("PixelFormat", name); }

HRESULT CPeakCamInstance::GetColorCorrectionMode(std::string* name) { return ReadEntry("ColorCorrectionMode", name); }

HRESULT CPeakCamInstance::SetColorCorrectionMode(const std::string& name) { return WriteEntry("ColorCorrectionMode", name); }

HRESULT CPeakCamInstance::GetUserSet(std::string* name) { return ReadEntry("UserSetSelector", name); }

HRESULT CPeakCamInstance::SelectUserSet(const std::string& name) {
    CVrelAutoLock lock(&m_lock);
    const HRESULT loaded = OnOpenedDevice([&] {
        SelectEntry("UserSetSelector", name);
        Execute("UserSetLoad");
    });
    if (FAILED(loaded)) return loaded;
    m_currentUserSet = name;
    double value = 0;
    return GetExposure(&m_exposureMinimum, &m_exposureMaximum, &value);
}

HRESULT CPeakCamInstance::PixelFormatCode(const std::string& name, uint32_t* code) {
    if (code == nullptr) return E_POINTER;
    for (const PixelFormatEntry& format : kDeliverableFormats) {
        if (name != format.name) continue;
        *code = format.code;
        return S_OK;
    }
    return E_UNEXPECTED;
}

HRESULT CPeakCamInstance::OpenDataStream(uint32_t* bufferCount) {
    if (bufferCount == nullptr) return E_POINTER;
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::Opened && m_state != State::Stopped) return E_UNEXPECTED;
    // The device opens one data stream at a time: the old one goes first.
    SetStream(nullptr);
    try {
        if (m_device->DataStreams().empty()) throw peak::Exception("Device has no DataStream");
        auto stream = m_device->OpenDataStream();
        const auto payload = static_cast<size_t>(m_nodeMap->FindNode<peak::IntegerNode>("PayloadSize")->Value());
        const size_t count = stream->NumBuffersAnnouncedMinRequired();
        for (size_t i = 0; i < count; ++i) stream->QueueBuffer(stream->AllocAndAnnounceBuffer(payload));
        SetStream(std::move(stream));
        *bufferCount = static_cast<uint32_t>(count);
        m_state = State::StreamPrepared;
        return S_OK;
    } catch (const std::exception&) {
        SetStream(nullptr);
        return E_FAIL;
    }
}

HRESULT CPeakCamInstance::StartLiveStreaming() {
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::StreamPrepared) return E_UNEXPECTED;
    try {
        m_nodeMap->FindNode<peak::IntegerNode>("TLParamsLocked")->SetValue(1);
        Stream()->StartAcquisition(peak::DataStream::kStartDefault, peak::DataStream::kInfiniteCount);
        Execute("AcquisitionStart");
        m_state = State::Acquiring;
        return S_OK;
    } catch (const std::exception& error) {
        m_log.Error(kClassName, "StartLiveStreaming(): Exception: %s (SN:%s)\n", error.what(), m_record.SerialNumber);
        return E_FAIL;
    }
}

HRESULT CPeakCamInstance::LiveStreaming(uint32_t pixelFormatCode, CVideoCallbacker* delivery) {
    if (m_state != State::Acquiring) return E_UNEXPECTED;
    const std::shared_ptr<peak::DataStream> stream = Stream();
    double minimum = 0, maximum = 0, rate = 0;
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < kFrameRateAttempts; ++attempt) {
        result = GetFrameRate(&minimum, &maximum, &rate);
        if (SUCCEEDED(result)) break;
        platform::Clock::SleepMilliseconds(m_timings.frameRateRetryPauseMs);
    }
    if (FAILED(result)) return result;
    if (!(rate > 0)) return E_FAIL;
    const auto periodUs = static_cast<int64_t>(1000000 / rate);
    // Ten frame periods, and never less than the minimum.
    const uint64_t waitMs = std::max<uint64_t>(static_cast<uint64_t>(periodUs / 100), m_timings.minimumBufferWaitMs);

    for (int timeouts = 0;;) {
        try {
            const std::shared_ptr<peak::Buffer> buffer = stream->WaitForFinishedBuffer(waitMs);
            const void* data = buffer->BasePtr();
            const auto size = static_cast<uint32_t>(buffer->Size());
            const auto width = static_cast<uint32_t>(buffer->Width());
            const auto height = static_cast<uint32_t>(buffer->Height());
            if (!buffer->IsIncomplete() && delivery != nullptr && width != 0 && height != 0 && size != 0) {
                const int64_t frameTime = CTimeUtil().NowMicroseconds() - periodUs;
                const FrameFormat format{0, width, height, width, height, static_cast<uint32_t>(rate * 1000), 1000};
                // Copies the frame, so the buffer may be filled again at once.
                delivery->PushFrame(&format, pixelFormatCode, data, size, frameTime);
            }
            stream->QueueBuffer(buffer);
            return S_OK;
        } catch (const peak::TimeoutException& error) {
            if (++timeouts < kWaitAttempts) {
                m_log.Error(kClassName, "LiveStreaming(): Exception: %s (SN:%s), Retry(%d)\n", error.what(),
                            m_record.SerialNumber, timeouts);
                continue;
            }
            m_log.Error(kClassName, "LiveStreaming(): Exception: %s (SN:%s), Retry failed(%d)\n", error.what(),
                        m_record.SerialNumber, timeouts);
            return E_FAIL;
        } catch (const std::exception& error) {
            m_log.Error(kClassName, "LiveStreaming(): Exception: %s (SN:%s)\n", error.what(), m_record.SerialNumber);
            return E_FAIL;
        }
    }
}

HRESULT CPeakCamInstance::StopLiveStreaming() {
    if (m_state == State::Created) return E_UNEXPECTED;
    HRESULT result = S_OK;
    try {
        Execute("AcquisitionStop");
    } catch (const std::exception& error) {
        m_log.Error(kClassName, "StopLiveStreaming()_1: Exception: %s (SN:%s)\n", error.what(), m_record.SerialNumber);
        result = E_FAIL;
    }
    if (const std::shared_ptr<peak::DataStream> stream = Stream()) {
        try {
            stream->KillWait();
            if (stream->IsGrabbing()) stream->StopAcquisition(peak::DataStream::kStopDefault);
            stream->Flush(peak::DataStream::kFlushDiscardAll);
        } catch (const std::exception& error) {
            m_log.Error(kClassName, "StopLiveStreaming()_2: Exception: %s (SN:%s)\n", error.what(),
                        m_record.SerialNumber);
            result = E_FAIL;
        }
        try {
            for (const auto& buffer : stream->AnnouncedBuffers()) stream->RevokeBuffer(buffer);
        } catch (const std::exception& error) {
            m_log.Error(kClassName, "StopLiveStreaming()_2: Exception: %s (SN:%s)\n", error.what(),
                        m_record.SerialNumber);
            result = E_FAIL;
        }
    }
    try {
        m_nodeMap->FindNode<peak::IntegerNode>("TLParamsLocked")->SetValue(0);
    } catch (const std::exception& error) {
        m_log.Error(kClassName, "StopLiveStreaming()_3: Exception: %s (SN:%s)\n", error.what(), m_record.SerialNumber);
        result = E_FAIL;
    }
    m_state = State::Stopped;
    return result;
}

HRESULT CPeakCamInstance::StopDataStream() {
    const std::shared_ptr<peak::DataStream> stream = Stream();
    if (!stream) return S_OK;
    try {
        stream->KillWait();
        return S_OK;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

}  // namespace optivane
