#include "StreamCommand.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "ExitStatus.h"
#include "FrameSaver.h"
#include "HresultText.h"
#include "StopSignal.h"
#include "StreamReceiver.h"
#include "StreamStatus.h"
#include "platform/ProcessMemory.h"
#include "platform/Terminal.h"

namespace optivane::tool {

namespace {

using Clock = StreamStatus::Clock;

constexpr std::chrono::milliseconds kPoll(100);
constexpr std::chrono::milliseconds kTerminalRedraw(250);
constexpr std::chrono::milliseconds kLogLine(1000);
// Silent this long, the camera may be gone: stopping then waits out Aravis's
// control time-outs (several seconds), and the user is told why.
constexpr std::chrono::seconds kSilentBeforeStop(2);

enum class StreamEnd { Limit, Time, Signal, Silence };

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Stops the stream on every way out of Run once it was started.
class StreamingStopper {
public:
    explicit StreamingStopper(IAravisCamera* camera) : m_camera(camera) {}
    ~StreamingStopper() { m_camera->StopStreaming(); }
    StreamingStopper(const StreamingStopper&) = delete;
    StreamingStopper& operator=(const StreamingStopper&) = delete;

private:
    IAravisCamera* const m_camera;
};

}  // namespace

int StreamCommand::Run(const StreamOptions& options) {
    const Clock::time_point start = Clock::now();
    StreamStatus status(start);
    std::unique_ptr<FrameSaver> saver;
    if (!options.saveFolder.empty()) {
        saver = std::make_unique<FrameSaver>(options.saveFolder);
        std::string error;
        if (!saver->Start(&error)) {
            m_err << "optivane: " << error << "\n";
            return ExitFailure;
        }
    }
    StreamReceiver receiver(status, saver.get(), options.every, options.frames);

    // Each run of this program is a new camera object, which would ask the
    // device for its initial 1 frame per second: reading the rate makes the
    // stream keep the rate the device is set to.
    uint32_t rate = 0;
    const HRESULT rated = m_camera->GetParameter(CameraParameterFrameRate, &rate);
    if (SUCCEEDED(rated)) {
        char text[64];
        std::snprintf(text, sizeof(text), "%.2f", rate / 100.0);
        m_out << "streaming at " << text << " fps (the camera's frame rate); Ctrl-C stops\n";
    } else {
        m_out << "streaming (the frame rate cannot be read: " << HresultText::Describe(rated) << "); Ctrl-C stops\n";
    }
    m_out.flush();

    const bool terminal = platform::Terminal::IsStandardOutputTerminal();
    StreamEnd end = StreamEnd::Signal;
    {
        StopSignal stopSignal;
        const HRESULT started = m_camera->StartStreaming(&receiver, nullptr);
        if (FAILED(started)) {
            m_err << "optivane: cannot start streaming: " << HresultText::Describe(started) << "\n";
            return ExitFailure;
        }
        StreamingStopper stopper(m_camera);
        Clock::time_point lastPrint = start;
        for (;;) {
            std::this_thread::sleep_for(kPoll);
            const Clock::time_point now = Clock::now();
            if (receiver.LimitReached()) {
                end = StreamEnd::Limit;
                break;
            }
            if (options.seconds > 0 && Seconds(now - start) >= options.seconds) {
                end = StreamEnd::Time;
                break;
            }
            if (StopSignal::Raised()) {
                end = StreamEnd::Signal;
                break;
            }
            if (Seconds(now - status.LastActivity()) >= options.silenceSeconds) {
                end = StreamEnd::Silence;
                break;
            }
            if (terminal && now - lastPrint >= kTerminalRedraw) {
                // Redraw in place and clear what a longer line left behind.
                m_out << "\r" << status.Line(now) << "\x1b[K" << std::flush;
                lastPrint = now;
            } else if (!terminal && now - lastPrint >= kLogLine) {
                m_out << status.Line(now) << "\n" << std::flush;
                lastPrint = now;
            }
        }
        const Clock::duration silent = Clock::now() - status.LastActivity();
        if (silent >= kSilentBeforeStop) {
            StopSignal::LetNextSignalQuit();
            if (terminal) m_out << "\n";
            m_err << "optivane: stopping; no frame for " << static_cast<int>(Seconds(silent))
                  << " s, so if the camera is gone this waits out its time-outs ("
                  << (end == StreamEnd::Signal ? "Ctrl-C again" : "Ctrl-C") << " quits at once)\n"
                  << std::flush;
        }
    }
    const Clock::time_point stopped = Clock::now();
    if (terminal) m_out << "\r" << status.Line(stopped) << "\x1b[K\n";
    if (saver) saver->Finish();

    m_out << status.Summary(stopped, platform::ProcessMemory::PeakResidentBytes()) << "\n";
    if (receiver.Unreadable() > 0) {
        m_out << receiver.Unreadable() << " frames came without a readable picture and were not counted\n";
    }
    int result = ExitSuccess;
    if (saver) {
        m_out << "saved " << saver->Written().size() << " frames into " << options.saveFolder;
        if (!saver->Written().empty()) m_out << " (" << saver->Written().front() << " ...)";
        m_out << "\n";
        if (saver->Skipped() > 0) {
            m_out << saver->Skipped() << " frames chosen for saving were skipped: the writer was behind\n";
        }
        if (saver->Failed() > 0) {
            m_err << "optivane: " << saver->Failed() << " frames could not be saved: " << saver->FirstFailure()
                  << "\n";
            result = ExitFailure;
        }
    }
    switch (end) {
        case StreamEnd::Limit:
            return result;
        case StreamEnd::Time:
            if (status.Frames() == 0) {
                m_err << "optivane: no frame arrived in " << options.seconds << " s\n";
                return ExitFailure;
            }
            return result;
        case StreamEnd::Signal:
            // An open-ended stream is meant to end this way.
            if (options.frames == 0 && options.seconds == 0) return result;
            m_err << "optivane: interrupted before the requested " << (options.frames > 0 ? "frames" : "time")
                  << "\n";
            return ExitInterrupted;
        case StreamEnd::Silence:
            m_err << "optivane: no frame arrived for " << options.silenceSeconds
                  << " s: the camera stopped sending or is not reachable\n";
            return ExitFailure;
    }
    return result;
}

}  // namespace optivane::tool
