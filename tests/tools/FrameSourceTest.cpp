// optivane-frame-source as a person runs it, against libMirvale's receiver:
// options and their errors, the counter pattern byte for byte, images and a
// video made with cv::VideoWriter, several clients, and each fault.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <thread>

#include "SourceProcess.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "platform/TempDir.h"

namespace optivane::test {
namespace {

const ModuleLoader g_mirvale = ModuleLoader::ForSibling("Mirvale");

struct Grabbed {
    HRESULT status;
    FrameFormat format;
    std::vector<uint8_t> pixels;
};

// Connects a new receiver to port and grabs `count` frames one by one.
std::vector<Grabbed> Grab(uint16_t port, int count, HRESULT* connect = nullptr) {
    ComPtr<IFrameReceiver> receiver;
    EXPECT_EQ(g_mirvale.CreateInstance(CLSID_FrameReceiver, IID_IFrameReceiver, receiver.ReceiveVoid()), S_OK);
    const HRESULT status = receiver->Connect("127.0.0.1", port);
    if (connect != nullptr) *connect = status;
    std::vector<Grabbed> frames;
    for (int i = 0; SUCCEEDED(status) && i < count; ++i) {
        ComPtr<IUnknown> frame;
        Grabbed grabbed{receiver->GrabFrame(frame.Receive()), {}, {}};
        ComPtr<IFrameImage> image;
        if (SUCCEEDED(grabbed.status) && SUCCEEDED(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid()))) {
            uint8_t* data = nullptr;
            uint32_t size = 0;
            image->GetFormat(&grabbed.format);
            image->GetBuffer(&data, &size);
            grabbed.pixels.assign(data, data + size);
        }
        frames.push_back(std::move(grabbed));
    }
    return frames;
}

std::unique_ptr<SourceProcess> Start(std::vector<std::string> arguments, uint16_t port) {
    arguments.push_back("--port");
    arguments.push_back(std::to_string(port));
    auto source = std::make_unique<SourceProcess>(OPTIVANE_FRAME_SOURCE, arguments);
    const std::string line = source->FirstLine();
    EXPECT_EQ(line, "listening on 127.0.0.1:" + std::to_string(port) + "\n");
    return source;
}

TEST(FrameSource, OptionErrorsAreClearAndExitNonZero) {
    const std::vector<std::vector<std::string>> bad = {
        {"--address", "192.168.1.2"}, {"--address", "localhost"}, {"--size", "0x10"}, {"--size", "4001x10"},
        {"--fault", "melt"}, {"--pattern", "stripes"}, {"--image", "/nonexistent.png"},
        {"--video", "http://example.invalid/a.avi"}, {"--pattern", "moving", "--image", "x"}, {"--port", "70000"}};
    for (const auto& arguments : bad) {
        SourceProcess source(OPTIVANE_FRAME_SOURCE, arguments);
        const std::string line = source.FirstLine();
        EXPECT_EQ(line.find("listening"), std::string::npos) << arguments[0];
        EXPECT_NE(source.Wait(), 0) << arguments[0];
    }
    // The port is taken.
    auto first = Start({}, 45010);
    SourceProcess second(OPTIVANE_FRAME_SOURCE, {"--port", "45010"});
    EXPECT_NE(second.FirstLine().find("cannot listen"), std::string::npos);
    EXPECT_NE(second.Wait(), 0);
}

TEST(FrameSource, CounterFramesForSeveralClientsAtOnce) {
    auto source = Start({"--size", "33x7", "--fps", "0"}, 45011);
    std::vector<Grabbed> a, b;
    std::thread other([&] { b = Grab(45011, 3); });
    a = Grab(45011, 3);
    other.join();
    for (const auto* frames : {&a, &b}) {
        ASSERT_EQ(frames->size(), 3u);
        for (size_t n = 0; n < 3; ++n) {
            const Grabbed& g = (*frames)[n];
            std::vector<uint8_t> counter(33 * 7 * 3);
            for (size_t i = 0; i < counter.size(); ++i) counter[i] = static_cast<uint8_t>(n + i);
            EXPECT_TRUE(g.status == S_OK && g.format.Width == 33 && g.format.Height == 7 && g.pixels == counter) << n;
        }
    }
}

TEST(FrameSource, ImagesAndAVideoMadeWithVideoWriter) {
    TempDir folder;
    const cv::Mat red(6, 10, CV_8UC3, cv::Scalar(0, 0, 255)), blue(6, 10, CV_8UC3, cv::Scalar(255, 0, 0));
    ASSERT_TRUE(cv::imwrite(folder.File("red.png"), red));
    ASSERT_TRUE(cv::imwrite(folder.File("blue.png"), blue));
    {
        auto source = Start({"--image", folder.File("red.png"), folder.File("blue.png")}, 45012);
        const std::vector<Grabbed> frames = Grab(45012, 3);
        ASSERT_EQ(frames.size(), 3u);
        EXPECT_EQ(frames[0].pixels, std::vector<uint8_t>(red.data, red.data + red.total() * 3));
        EXPECT_EQ(frames[1].pixels, std::vector<uint8_t>(blue.data, blue.data + blue.total() * 3));
        EXPECT_EQ(frames[2].pixels, frames[0].pixels);
    }
    cv::VideoWriter writer(folder.File("clip.avi"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10, cv::Size(64, 48));
    ASSERT_TRUE(writer.isOpened());
    for (int i = 0; i < 5; ++i) writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(i * 40, 100, 200)));
    writer.release();
    auto source = Start({"--video", folder.File("clip.avi"), "--size", "32x24"}, 45013);
    const std::vector<Grabbed> frames = Grab(45013, 7);  // past its end: from the start again
    ASSERT_EQ(frames.size(), 7u);
    for (const Grabbed& g : frames) {
        EXPECT_EQ(g.status, S_OK);
        EXPECT_EQ(g.format.Width, 32u);
        EXPECT_EQ(g.format.Height, 24u);
    }
}

TEST(FrameSource, EachFaultFailsTheGrabAfterTheGoodFrames) {
    const std::pair<const char*, HRESULT> faults[] = {{"truncate:1", MIRVALE_E_BADDATA},
                                                      {"garbage:1", MIRVALE_E_BADDATA},
                                                      {"wrong-size:1", MIRVALE_E_BADDATA},
                                                      {"bad-version:1", MIRVALE_E_VERSION}};
    uint16_t port = 45014;
    for (const auto& fault : faults) {
        auto source = Start({"--size", "8x8", "--fault", fault.first}, port);
        const std::vector<Grabbed> frames = Grab(port, 2);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].status, S_OK) << fault.first;
        EXPECT_EQ(frames[1].status, fault.second) << fault.first;
        EXPECT_TRUE(frames[1].pixels.empty());
        ++port;
    }
}

std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), pipe) != nullptr) text += buffer;
    pclose(pipe);
    return text;
}

TEST(FrameSource, OptivaneOpensItByAddressAndPort) {
    auto source = Start({"--size", "33x7", "--fps", "12.5"}, 45018);
    EXPECT_NE(Output(std::string(OPTIVANE_TOOL) + " info 127.0.0.1:45018").find("33 x 7 BGR, 12.50 fps"),
              std::string::npos);
    EXPECT_NE(Output(std::string(OPTIVANE_TOOL) + " info 127.0.0.1:45019").find("MIRVALE_E_REFUSED"), std::string::npos);
    TempDir folder;
    Output(std::string(OPTIVANE_TOOL) + " snapshot 127.0.0.1:45018 " + folder.File("shot.png"));
    const cv::Mat shot = cv::imread(folder.File("shot.png"), cv::IMREAD_COLOR);
    ASSERT_EQ(shot.cols, 33);
    ASSERT_EQ(shot.rows, 7);
    EXPECT_EQ(shot.data[5], 5) << "frame 0 of the counter pattern";
}

}  // namespace
}  // namespace optivane::test
