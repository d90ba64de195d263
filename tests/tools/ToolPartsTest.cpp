// The tool's parts without a camera: names and encodings of its settings, and
// the stream's frame callback, status and picture writer, fed frames made in
// the test as the module's delivery thread would hand them over.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <vector>

#include "CameraSession.h"
#include "FrameSaver.h"
#include "ParameterTable.h"
#include "PhoneId.h"
#include "PixelFormatNames.h"
#include "StreamReceiver.h"
#include "StreamStatus.h"
#include "platform/TempDir.h"

namespace optivane::tool {
namespace {

constexpr int64_t kRefused = -1;

TEST(ParameterTable, OneCaseBlindNamePerSettingAndValuesWithinTheirLimitsInHumanUnits) {
    std::set<int32_t> ids;
    for (const ParameterInfo& parameter : ParameterTable::All()) {
        // "iso" is a phone's name for the second gain channel.
        const bool alias = parameter.name == std::string("iso") && parameter.id == CameraParameterGain2;
        EXPECT_TRUE((ids.insert(parameter.id).second || alias) && ParameterTable::Find(parameter.name) == &parameter)
            << parameter.name;
    }
    EXPECT_EQ(ids.size(), 17u);
    EXPECT_EQ(ParameterTable::Find("Frame-Rate")->id, CameraParameterFrameRate);
    EXPECT_EQ(ParameterTable::Find("framerate"), nullptr);
    // The camera's list comes first; a name filling its 16 bytes has no terminator.
    std::vector<CameraPixelFormat> list = {{"Mono12", 0x01100005}, {"", PixelFormatBayerRG8}};
    std::memcpy(list[1].Name, "BayerRG8Special!", 16);
    const PixelFormatNames formats(list);
    std::string error;
    const auto parsed = [&](const char* name, const char* text) -> int64_t {
        uint32_t value = 7;
        if (ParameterTable::Parse(*ParameterTable::Find(name), text, formats, &value, &error)) return value;
        EXPECT_EQ(value, 7u) << name << "=" << text << ": a refusal must leave the output alone";
        return kRefused;
    };

    const struct { const char* name; const char* text; int64_t value; } parses[] = {
        {"frame-rate", "29.97 fps", 2997}, {"frame-rate", "0.01", 1}, {"frame-rate", "0", kRefused},
        {"gain", "1.239", 124}, {"red", "0", 0}, {"frame-rate", "0.001", kRefused}, {"frame-rate", "30 Hz", kRefused},
        {"frame-rate", "1e2", kRefused}, {"frame-rate", "0x1E", kRefused}, {"frame-rate", "30000000", kRefused},
        {"gain", "-1", kRefused}, {"gain", "", kRefused}, {"exposure", "15000", 15000}, {"exposure", "15ms", 15000},
        {"exposure", "0.5 s", 500000}, {"exposure", "250 \xC2\xB5s", 250}, {"exposure", "250us", 250},
        {"exposure", "2000s", 2000000000}, {"exposure", "3000s", kRefused}, {"exposure", "0", kRefused},
        {"exposure", "-5", kRefused}, {"exposure", "15 min", kRefused}, {"gain-auto", "Continuous", 2},
        {"exposure-auto", "1", 1}, {"gain-auto", "3", kRefused}, {"gain-auto", "always", kRefused},
        {"flip", "both", 3}, {"flip", "horizontal", 2}, {"rotation", "270", 270}, {"rotation", "45", kRefused},
        {"long-exposure", "on", 1}, {"color-correction", "AUTO", 1}, {"color-correction", "2", kRefused},
        {"brightness", "-5", 0xFFFFFFFB}, {"brightness", "2147483647", 2147483647},
        {"brightness", "2147483648", kRefused}, {"brightness", "12.5", kRefused}, {"exposure-step", "19", 19},
        {"exposure-step", "20", kRefused}, {"pixel-format", "mono12", 0x01100005},
        {"pixel-format", "0x02180015", PixelFormatBGR8}, {"pixel-format", "17301505", PixelFormatMono8},
        {"pixel-format", "0x100000000", kRefused}, {"pixel-format", "12abc", kRefused},
        {"pixel-format", "YUV422", kRefused},
    };
    for (const auto& row : parses) EXPECT_EQ(parsed(row.name, row.text), row.value) << row.name << "=" << row.text;

    const struct { const char* name; uint32_t value; const char* text; } shows[] = {
        {"frame-rate", 2997, "29.97 fps"}, {"gain2", 5, "0.05"}, {"exposure", 15000, "15000 \xC2\xB5s"},
        {"gain-auto", 9, "unknown (9)"}, {"flip", 1, "vertical"}, {"flip", 7, "both (7)"},
        {"brightness", 0xFFFFFFFB, "-5"}, {"exposure-step", 0, "0 (30 s)"}, {"exposure-step", 14, "14 (1/6 s)"},
        {"exposure-step", 25, "25"}, {"pixel-format", 0x01100005, "Mono12"}, {"pixel-format", PixelFormatBGR8, "BGR8"},
        {"pixel-format", PixelFormatBayerRG8, "BayerRG8Special!"}, {"pixel-format", 0x12345678, "0x12345678"},
    };
    for (const auto& row : shows)
        EXPECT_EQ(ParameterTable::Format(*ParameterTable::Find(row.name), row.value, formats), row.text) << row.name;
}

using Clock = StreamStatus::Clock;
using std::chrono::milliseconds;

// A 24-bit BGR frame lent to OnFrame, as the module's images are, or, when
// not an image, an object that answers no image interface.
class TestFrame : public IFrameImage {
public:
    TestFrame(uint32_t width, uint32_t height, uint8_t seed, bool image = true)
        : m_format{0, width, height, width, height, 25000, 1000}, m_pixels(size_t{width} * height * 3), m_image(image) {
        for (size_t i = 0; i < m_pixels.size(); ++i) m_pixels[i] = static_cast<uint8_t>(seed + i * 7);
    }
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!m_image || (iid != IID_IFrameImage && iid != IID_IUnknown)) return E_NOINTERFACE;
        *object = static_cast<IFrameImage*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override { return --m_references; }
    HRESULT GetFormat(FrameFormat* format) override { *format = m_format; return S_OK; }
    HRESULT GetBuffer(uint8_t** data, uint32_t* size) override {
        *data = m_pixels.data();
        *size = static_cast<uint32_t>(m_pixels.size() - m_short);
        return S_OK;
    }
    // Not used by the receiver.
    HRESULT GetHoldCount(uint32_t*) override { return E_FAIL; }
    HRESULT Hold() override { return E_FAIL; }
    HRESULT Done() override { return E_FAIL; }
    HRESULT SetFormat(const FrameFormat*) override { return E_FAIL; }
    HRESULT SetTime(const FrameTime*, const FrameTime*) override { return E_FAIL; }
    HRESULT GetTime(FrameTime*, FrameTime*) override { return E_FAIL; }
    HRESULT GetStride(uint32_t*) override { return E_FAIL; }

    const FrameFormat m_format;
    std::vector<uint8_t> m_pixels;
    const bool m_image;
    size_t m_short = 0;  // bytes missing from the buffer
    std::atomic<ULONG> m_references{1};
};

TEST(StreamReceiver, CountsToTheLimitSavesEveryKthAndSetsAsideUnreadableFrames) {
    test::TempDir folder;
    FrameSaver saver(folder.File("frames"));
    std::string error;
    ASSERT_TRUE(saver.Start(&error)) << error;
    StreamStatus status(Clock::now());
    StreamReceiver receiver(status, &saver, 5, 12);
    TestFrame stranger(8, 8, 1, false), cut(8, 8, 1);
    cut.m_short = 1;
    for (IUnknown* bad : std::initializer_list<IUnknown*>{nullptr, &stranger, &cut})
        EXPECT_EQ(receiver.OnFrame(0, nullptr, bad), S_OK);
    EXPECT_EQ(receiver.Unreadable(), 3u);
    std::vector<std::unique_ptr<TestFrame>> frames;
    for (int i = 1; i <= 15; ++i) {
        EXPECT_EQ(receiver.LimitReached(), i > 12) << i;
        TestFrame* frame = frames.emplace_back(std::make_unique<TestFrame>(6, 4, static_cast<uint8_t>(i))).get();
        EXPECT_EQ(receiver.OnFrame(0, nullptr, frame), S_OK);
        EXPECT_EQ(frame->m_references, 1u) << "a lent frame is given back as it came";
    }
    EXPECT_EQ(status.Frames(), 12u) << "frames past the limit are not counted";
    saver.Finish();
    ASSERT_EQ(saver.Written().size(), 2u) << "frames 5 and 10, within the saver's queue";
    for (const std::string& path : saver.Written()) {
        const int number = std::stoi(path.substr(path.size() - 10, 6));
        ASSERT_TRUE(number == 5 || number == 10) << path;
        const cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_TRUE(picture.cols == 6 && picture.rows == 4 && picture.type() == CV_8UC3) << path;
        const std::vector<uint8_t>& sent = frames[number - 1]->m_pixels;
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), picture.data)) << "BGR bytes kept in order";
    }
}

TEST(FrameSaver, StateGuardsFolderErrorsAndABoundedQueue) {
    test::TempDir folder;
    const uint8_t pixel[3] = {1, 2, 3};
    FrameSaver blocked(folder.File("plain-file"));
    EXPECT_FALSE(blocked.Offer(1, 1, 1, pixel)) << "not started";
    EXPECT_EQ(blocked.Skipped(), 1u);
    std::ofstream(folder.File("plain-file")) << "x";
    std::string error;
    EXPECT_FALSE(blocked.Start(&error));

    // A burst from a tight loop: past the few pending pictures offers are
    // skipped rather than queued without bound, and none is lost unnoticed.
    FrameSaver saver(folder.File("nested/frames"));
    ASSERT_TRUE(saver.Start(&error)) << error;
    EXPECT_TRUE(saver.Offer(7, 1, 1, pixel));
    std::vector<uint8_t> pixels(640 * 480 * 3, 90);
    for (uint64_t number = 8; number <= 200; ++number) saver.Offer(number, 640, 480, pixels.data());
    saver.Finish();
    saver.Finish();  // harmless twice
    EXPECT_FALSE(saver.Offer(201, 1, 1, pixel)) << "finished";
    EXPECT_EQ(saver.Written().size() + saver.Skipped(), 195u);
    ASSERT_GE(saver.Written().size(), 1u);
    EXPECT_EQ(saver.Written()[0], folder.File("nested/frames") + "/frame-000007.png");
    EXPECT_EQ(saver.Failed(), 0u);
}

// Times are given, not waited for.
TEST(StreamStatus, RatesComeFromFrameArrivalTimes) {
    const Clock::time_point start = Clock::now();
    StreamStatus status(start);
    EXPECT_EQ(status.LastActivity(), start);
    EXPECT_NE(status.Summary(start + milliseconds(1500), 0).find("no frames"), std::string::npos);
    // Eleven frames 100 ms apart, the first one second after the start.
    for (int i = 0; i <= 10; ++i) status.RecordFrame(start + milliseconds(1000 + 100 * i), 2048, 1536);
    EXPECT_EQ(status.LastActivity(), start + milliseconds(2000));
    // The average runs from the first frame to the last.
    const std::string summary = status.Summary(start + milliseconds(2500), 0);
    EXPECT_NE(summary.find(" 10.00 fps"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("memory"), std::string::npos) << "an unknown peak is left out";
    // Whole megabytes, rounded up: one byte over 60 MB is 61.
    const std::string withPeak = status.Summary(start + milliseconds(2500), 60 * 1024 * 1024 + 1);
    EXPECT_NE(withPeak.find(" 61 MB"), std::string::npos) << withPeak;
    EXPECT_EQ(status.Summary(start + milliseconds(2500), 60 * 1024 * 1024).find(" 61 MB"), std::string::npos);
    // The live rate covers the time since the previous line, and is kept
    // between lines closer than half a second.
    EXPECT_EQ(status.Line(start + milliseconds(2200)), "frames 11  5.0 fps  00:02.2  2048x1536");
    EXPECT_EQ(status.Line(start + milliseconds(2300)), "frames 11  5.0 fps  00:02.3  2048x1536");
    EXPECT_EQ(status.Line(start + milliseconds(62300)), "frames 11  0.0 fps  01:02.3  2048x1536");
}

TEST(PhoneIdText, BothFormsGiveTheModulesIdAndOtherIdsPassThrough) {
    struct Row { const char* text; bool phone; const char* id; };
    const Row rows[] = {
        {"phone:127.0.0.3", true, "SMPHCA00127.0.0.3:60000"},
        {"phone:127.0.0.3:6001", true, "SMPHCA00127.0.0.3:6001"},
        {"SMPHCA00192.168.1.20:60000", true, "SMPHCA00192.168.1.20:60000"},
        {"SMPHCA00192.168.1.20", true, ""},  // the module's form always names its port
        {"phone:127.0.0.3:0", true, ""},
        {"phone:127.0.0.3:65536", true, ""},
        {"phone:localhost", true, ""},
        {"phone:", true, ""},
        {"Aravis-Fake-GV01", false, ""},
        {"127.0.0.3", false, ""},
    };
    for (const Row& row : rows) {
        std::string id = "stale", error;
        EXPECT_EQ(PhoneId::Recognise(row.text, &id, &error), row.phone) << row.text;
        EXPECT_EQ(id, row.id) << row.text;
        EXPECT_EQ(error.empty(), !row.phone || row.id[0] != '\0') << row.text;
    }
}

TEST(CameraSessionIds, IdsPeakIdsHaveModelAndSerialAfterIds) {
    for (const char* id : {"IDS/IdsSim/P1", "IDS/U3-3800CP/4104"}) EXPECT_TRUE(CameraSession::IsIdsPeakId(id)) << id;
    for (const char* id : {"IDS/IdsSim", "IDS//P1", "IDS/IdsSim/", "IDS/IdsSim/P1/x", "IDS-IdsSim-P1", "ids/IdsSim/P1",
                           "Aravis-Fake-GV01"})
        EXPECT_FALSE(CameraSession::IsIdsPeakId(id)) << id;
}

// A search's record is chosen by device id or address; two kinds under one
// id are refused; an id nobody lists opens as its own form says.
TEST(CameraSessionIds, ChoosesTheListedRecordAndRefusesAnIdOfTwoKinds) {
    std::vector<CameraDeviceInfo> found(4);
    const char* const fields[][3] = {{"IDS/IdsSim/P1", "127.0.0.3", "IDS PeakCamera"},
                                     {"Aravis-Fake-G2", "127.0.0.2", "Aravis"},
                                     {"SMPHCA00127.0.0.2:60000", "127.0.0.2", "Corvalent"},
                                     {"Aravis-Fake-G4", "127.0.0.4", "Aravis"}};
    for (size_t at = 0; at < found.size(); ++at) {
        std::strcpy(found[at].DeviceId, fields[at][0]);
        std::strcpy(found[at].IpAddress, fields[at][1]);
        std::strcpy(found[at].VendorName, fields[at][2]);
    }
    CameraDeviceInfo chosen{};
    std::string error;
    EXPECT_TRUE(CameraSession::Choose("127.0.0.3", found, &chosen, &error));
    EXPECT_STREQ(chosen.DeviceId, "IDS/IdsSim/P1");
    EXPECT_FALSE(CameraSession::Choose("127.0.0.2", found, &chosen, &error));
    EXPECT_TRUE(CameraSession::Choose("IDS/IdsSim/P9", found, &chosen, &error));
    EXPECT_STREQ(chosen.VendorName, "IDS PeakCamera");
    EXPECT_TRUE(CameraSession::Choose("Aravis-Fake-G9", found, &chosen, &error));
    EXPECT_STREQ(chosen.VendorName, "");
}

}  // namespace
}  // namespace optivane::tool
