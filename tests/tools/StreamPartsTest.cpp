// The stream's frame callback, status and picture writer, fed by frames made
// in the test, as the module's delivery thread would hand them over.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <thread>
#include <vector>

#include "FrameSaver.h"
#include "StreamReceiver.h"
#include "StreamStatus.h"
#include "platform/TempDir.h"

namespace optivane::tool {
namespace {

using Clock = StreamStatus::Clock;
using std::chrono::milliseconds;

// A 24-bit BGR frame lent to OnFrame, as the module's images are.
class TestFrame : public IFrameImage {
public:
    TestFrame(uint32_t width, uint32_t height, uint8_t seed) : m_width(width), m_height(height) {
        m_pixels.resize(static_cast<size_t>(width) * height * 3);
        for (size_t i = 0; i < m_pixels.size(); ++i) m_pixels[i] = static_cast<uint8_t>(seed + i * 7);
    }
    void Shrink(size_t bytes) { m_size = bytes; }

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (iid != IID_IFrameImage && iid != IID_IUnknown) return E_NOINTERFACE;
        *object = static_cast<IFrameImage*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return --m_references; }
    HRESULT GetHoldCount(uint32_t* holders) override { return E_FAIL; }
    HRESULT Hold() override { return E_FAIL; }
    HRESULT Done() override { return E_FAIL; }
    HRESULT SetFormat(const FrameFormat*) override { return E_FAIL; }
    HRESULT GetFormat(FrameFormat* format) override {
        *format = FrameFormat{0, m_width, m_height, m_width, m_height, 25000, 1000};
        return S_OK;
    }
    HRESULT SetTime(const FrameTime*, const FrameTime*) override { return E_FAIL; }
    HRESULT GetTime(FrameTime*, FrameTime*) override { return E_FAIL; }
    HRESULT GetStride(uint32_t* stride) override { return E_FAIL; }
    HRESULT GetBuffer(uint8_t** data, uint32_t* size) override {
        *data = m_pixels.data();
        *size = static_cast<uint32_t>(m_size != 0 ? m_size : m_pixels.size());
        return S_OK;
    }

    const std::vector<uint8_t>& Pixels() const { return m_pixels; }
    ULONG References() const { return m_references; }

private:
    const uint32_t m_width;
    const uint32_t m_height;
    std::vector<uint8_t> m_pixels;
    size_t m_size = 0;
    std::atomic<ULONG> m_references{1};
};

// An object that is no image at all.
class NotAFrame : public IUnknown {
public:
    HRESULT QueryInterface(const IID&, void** object) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
};

TEST(StreamReceiver, CountsUpToTheLimitAndSavesEveryKthFrame) {
    test::TempDir folder;
    FrameSaver saver(folder.File("frames"));
    std::string error;
    ASSERT_TRUE(saver.Start(&error)) << error;
    StreamStatus status(Clock::now());
    StreamReceiver receiver(status, &saver, 5, 12);

    std::vector<std::unique_ptr<TestFrame>> frames;
    for (int i = 1; i <= 15; ++i) {
        frames.push_back(std::make_unique<TestFrame>(6, 4, static_cast<uint8_t>(i)));
        EXPECT_EQ(receiver.OnFrame(0, nullptr, frames.back().get()), S_OK);
        EXPECT_EQ(frames.back()->References(), 1u) << "a lent frame is given back as it came";
        // The writer may lag; give it the time a real stream's frame gap gives.
        std::this_thread::sleep_for(milliseconds(20));
    }
    EXPECT_TRUE(receiver.LimitReached());
    EXPECT_EQ(status.Frames(), 12u) << "frames past the limit are not counted";
    saver.Finish();

    ASSERT_EQ(saver.Written().size() + saver.Skipped(), 2u) << "frames 5 and 10";
    for (const std::string& path : saver.Written()) {
        const int number = std::stoi(path.substr(path.size() - 10, 6));
        ASSERT_TRUE(number == 5 || number == 10) << path;
        const cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(picture.cols, 6);
        ASSERT_EQ(picture.rows, 4);
        ASSERT_EQ(picture.type(), CV_8UC3);
        const std::vector<uint8_t>& sent = frames[number - 1]->Pixels();
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), picture.data)) << "blue-green-red bytes kept in order";
    }
    EXPECT_EQ(saver.Failed(), 0u);
}

TEST(StreamReceiver, FramesWithoutAReadablePictureAreSetAside) {
    StreamStatus status(Clock::now());
    StreamReceiver receiver(status, nullptr, 1, 0);
    NotAFrame stranger;
    TestFrame shortFrame(8, 8, 1);
    shortFrame.Shrink(8 * 8 * 3 - 1);
    TestFrame good(8, 8, 1);
    EXPECT_EQ(receiver.OnFrame(0, nullptr, nullptr), S_OK);
    EXPECT_EQ(receiver.OnFrame(0, nullptr, &stranger), S_OK);
    EXPECT_EQ(receiver.OnFrame(0, nullptr, &shortFrame), S_OK);
    EXPECT_EQ(receiver.OnFrame(0, nullptr, &good), S_OK);
    EXPECT_EQ(receiver.Unreadable(), 3u);
    EXPECT_EQ(status.Frames(), 1u);
    EXPECT_FALSE(receiver.LimitReached()) << "no limit given";
}

TEST(FrameSaver, RefusesWhenNotRunningAndExplainsAFolderItCannotMake) {
    test::TempDir folder;
    const uint8_t pixels[3] = {1, 2, 3};
    FrameSaver idle(folder.File("idle"));
    EXPECT_FALSE(idle.Offer(1, 1, 1, pixels)) << "not started";
    EXPECT_EQ(idle.Skipped(), 1u);

    std::ofstream(folder.File("plain-file")) << "x";
    FrameSaver blocked(folder.File("plain-file"));
    std::string error;
    EXPECT_FALSE(blocked.Start(&error));
    EXPECT_EQ(error.find("cannot make the folder '" + folder.File("plain-file") + "' for frames"), 0u) << error;

    FrameSaver saver(folder.File("nested/frames"));
    ASSERT_TRUE(saver.Start(&error)) << error;
    EXPECT_TRUE(saver.Offer(7, 1, 1, pixels));
    saver.Finish();
    saver.Finish();
    EXPECT_FALSE(saver.Offer(8, 1, 1, pixels)) << "finished";
    ASSERT_EQ(saver.Written().size(), 1u);
    EXPECT_EQ(saver.Written()[0], folder.File("nested/frames") + "/frame-000007.png");
}

TEST(FrameSaver, EveryOfferIsEitherWrittenOrCountedAsSkipped) {
    // Offers from a tight loop: beyond the few pending pictures they are
    // skipped instead of queueing without bound, and none is lost unnoticed.
    test::TempDir folder;
    FrameSaver saver(folder.File("burst"));
    std::string error;
    ASSERT_TRUE(saver.Start(&error)) << error;
    std::vector<uint8_t> pixels(640 * 480 * 3, 90);
    for (uint64_t number = 1; number <= 200; ++number) saver.Offer(number, 640, 480, pixels.data());
    saver.Finish();
    EXPECT_EQ(saver.Written().size() + saver.Skipped(), 200u);
    EXPECT_GE(saver.Written().size(), 1u);
    EXPECT_EQ(saver.Failed(), 0u);
}

TEST(StreamStatus, RatesComeFromFrameArrivalTimes) {
    const Clock::time_point start = Clock::now();
    StreamStatus status(start);
    EXPECT_EQ(status.Summary(start + milliseconds(1500)), "received no frames in 1.5 s");
    EXPECT_EQ(status.LastActivity(), start);
    EXPECT_EQ(status.Line(start + milliseconds(100)), "frames 0  0.0 fps  00:00.1");

    // Eleven frames 100 ms apart, the first one second after the start.
    for (int i = 0; i <= 10; ++i) status.RecordFrame(start + milliseconds(1000 + 100 * i), 2048, 1536);
    EXPECT_EQ(status.Frames(), 11u);
    EXPECT_EQ(status.LastActivity(), start + milliseconds(2000));
    EXPECT_EQ(status.Line(start + milliseconds(2200)), "frames 11  5.0 fps  00:02.2  2048x1536");
    EXPECT_EQ(status.Summary(start + milliseconds(2500)),
              "received 11 frames of 2048x1536 (24-bit BGR, 9.0 MiB each): 10.00 fps on average; first frame "
              "after 1.0 s, 2.5 s in all");
    // The live rate is kept between redraws closer than half a second.
    EXPECT_EQ(status.Line(start + milliseconds(2300)), "frames 11  5.0 fps  00:02.3  2048x1536");
    EXPECT_EQ(status.Line(start + milliseconds(62300)), "frames 11  0.0 fps  01:02.3  2048x1536");
}

}  // namespace
}  // namespace optivane::tool
