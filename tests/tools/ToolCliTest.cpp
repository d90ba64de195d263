// The optivane program as a person runs it, against optivane-fake-camera on
// 127.0.0.2 (inside the test's private network namespace): what it prints,
// what it writes and how it exits, for good and bad input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "ToolProcess.h"
#include "platform/TempDir.h"

namespace optivane::test {
namespace {

const std::string kTool = OPTIVANE_TOOL;
const std::string kFakeCamera = OPTIVANE_FAKE_CAMERA;
const std::string kModuleWithoutClasses = OPTIVANE_MODULE_WITHOUT_CLASSES;
const std::string kId = "Aravis-Fake-GV01";
const std::string kMicro = "\xC2\xB5s";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ToolCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = std::make_unique<TempDir>();
        s_camera = std::make_unique<ToolProcess>();
        ASSERT_TRUE(s_camera->Start({kFakeCamera, "--address", "127.0.0.2"}, s_folder->File("camera.out"),
                                    s_folder->File("camera.err")));
        ASSERT_TRUE(s_camera->WaitForOutput("listening on 127.0.0.2", std::chrono::seconds(30)))
            << s_camera->Err();
    }
    static void TearDownTestSuite() {
        // SIGTERM ends the fake camera cleanly, with exit status 0.
        s_camera->Signal(SIGTERM);
        EXPECT_EQ(s_camera->Wait(std::chrono::seconds(30)), 0) << s_camera->Err();
        EXPECT_TRUE(Contains(s_camera->Out(), "fake camera stopped"));
        s_camera.reset();
        s_folder.reset();
    }

    // Runs optivane with the arguments in a folder of this test.
    ToolRun Tool(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), kTool);
        return RunTool(arguments, m_folder.Path());
    }
    std::string File(const std::string& name) const { return m_folder.File(name); }

    static std::unique_ptr<TempDir> s_folder;
    static std::unique_ptr<ToolProcess> s_camera;
    TempDir m_folder;
};

std::unique_ptr<TempDir> ToolCliTest::s_folder;
std::unique_ptr<ToolProcess> ToolCliTest::s_camera;

TEST_F(ToolCliTest, InfoShowsTheDeviceRecordAndCapabilities) {
    const ToolRun run = Tool({"info", kId});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "Vendor            Aravis")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Serial number     GV01")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Sensor            2048 x 2048")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Region            512 x 512 at (0, 0)")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Pixel format      Mono8")) << run.out;
    EXPECT_TRUE(Contains(run.out, "BayerRG8")) << run.out;
    EXPECT_TRUE(Contains(run.out, "Exposure range    10 .. 10000000 " + kMicro)) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST_F(ToolCliTest, TheAddressOpensTheCameraToo) {
    const ToolRun run = Tool({"get", "127.0.0.2", "pixel-format"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "pixel-format = Mono8\n");
}

TEST_F(ToolCliTest, GetListsEveryReadableSettingAndSaysWhyOthersAreMissing) {
    const ToolRun run = Tool({"get", kId});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* line : {"pixel-format = Mono8", "rotation = 0", "flip = none", "frame-rate = "}) {
        EXPECT_TRUE(Contains(run.out, line)) << line << "\n" << run.out;
    }
    // The fake camera has no vendor rules for colour channels.
    EXPECT_TRUE(Contains(run.out, "red : not available: E_FAIL (0x80004005): the camera refused the operation"))
        << run.out;
    EXPECT_FALSE(Contains(run.out, "long-exposure")) << "written only, never listed";
}

TEST_F(ToolCliTest, SetEncodesHumanUnitsAndReadsThemBack) {
    ToolRun run = Tool({"set", kId, "frame-rate=12.5", "exposure=20ms", "pixel-format=bayerrg8"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "frame-rate = 12.50 fps\nexposure = 20000 " + kMicro + "\npixel-format = BayerRG8\n");

    run = Tool({"get", kId, "frame-rate"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "frame-rate = 12.50 fps\n");

    // Numbers are GenICam codes; the camera keeps the setting between runs.
    run = Tool({"set", kId, "pixel-format=0x01080001", "frame-rate=25"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "pixel-format = Mono8\nframe-rate = 25.00 fps\n");
}

TEST_F(ToolCliTest, RefusalsOfTheCameraAreExplainedInWords) {
    // The lower exposure bound itself is refused; one microsecond above is not.
    ToolRun run = Tool({"set", kId, "exposure=10"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "cannot set exposure to 10 " + kMicro + ": E_FAIL (0x80004005)")) << run.err;
    run = Tool({"set", kId, "exposure=11"});
    EXPECT_EQ(run.status, 0) << run.err;
    run = Tool({"set", kId, "exposure=10000"});
    EXPECT_EQ(run.status, 0) << run.err;

    run = Tool({"get", kId, "brightness"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "cannot read brightness: E_FAIL (0x80004005)")) << run.err;

    run = Tool({"info", "No-Such-Camera"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "cannot open camera 'No-Such-Camera': E_FAIL (0x80004005)")) << run.err;
}

TEST_F(ToolCliTest, SnapshotWritesThePictureTypeOfTheExtension) {
    for (const char* name : {"shot.png", "shot.jpg", "shot.bmp"}) {
        const ToolRun run = Tool({"snapshot", kId, File(name)});
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_TRUE(Contains(run.out, "snapshot written to " + File(name))) << run.out;
        const cv::Mat picture = cv::imread(File(name), cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(picture.empty()) << name;
        EXPECT_EQ(picture.cols, 512);
        EXPECT_EQ(picture.rows, 512);
        EXPECT_EQ(picture.channels(), 3);
    }
}

// Mean grey difference between sampled pixels and their neighbour one row
// down and dx columns across.
double Difference(const cv::Mat& picture, int dx) {
    cv::Mat gray;
    cv::extractChannel(picture, gray, 1);
    double sum = 0;
    int count = 0;
    for (int row = 8; row + 1 < gray.rows - 8; row += 7) {
        for (int column = 8; column < gray.cols - 8; column += 7) {
            sum += std::abs(gray.at<uint8_t>(row, column) - gray.at<uint8_t>(row + 1, column + dx));
            ++count;
        }
    }
    return count == 0 ? 0 : sum / count;
}

TEST_F(ToolCliTest, SettingsOfTheCameraObjectApplyWithinOneRun) {
    // Rotation lives in the camera object, which ends with the program.
    ToolRun run = Tool({"set", kId, "rotation=90"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "rotation lasts only while this program runs; give it to snapshot or stream "
                                  "with --set"))
        << run.err;
    // --set carries it into the snapshot.
    run = Tool({"snapshot", kId, File("straight.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    run = Tool({"snapshot", kId, File("turned.png"), "--set", "rotation=90"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "rotation = 90\n")) << run.out;
    const cv::Mat straight = cv::imread(File("straight.png"));
    const cv::Mat turned = cv::imread(File("turned.png"));
    ASSERT_FALSE(straight.empty());
    ASSERT_FALSE(turned.empty());
    // The fake camera draws diagonal bands; a quarter turn swaps the diagonal
    // along which the grey stays the same.
    EXPECT_LT(Difference(straight, -1) * 4, Difference(straight, 1));
    EXPECT_LT(Difference(turned, 1) * 4, Difference(turned, -1));
}

TEST_F(ToolCliTest, StreamCountsFramesAndSavesEveryKth) {
    const std::string folder = File("frames");
    const ToolRun run =
        Tool({"stream", kId, "--frames", "20", "--save", folder, "--every", "5", "--timeout", "120"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "received 20 frames of 512x512")) << run.out;
    EXPECT_TRUE(Contains(run.out, "saved 4 frames into " + folder)) << run.out;
    EXPECT_FALSE(Contains(run.out, "\r")) << "no redrawing when the output is not a terminal";
    for (const char* name : {"frame-000005.png", "frame-000010.png", "frame-000015.png", "frame-000020.png"}) {
        const cv::Mat picture = cv::imread(folder + "/" + name);
        ASSERT_FALSE(picture.empty()) << name;
        EXPECT_EQ(picture.cols, 512);
        EXPECT_EQ(picture.rows, 512);
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/frame-000025.png")) << "nothing past the limit";
}

TEST_F(ToolCliTest, StreamForSecondsAndStopOnInterrupt) {
    ToolRun run = Tool({"stream", kId, "--seconds", "6", "--timeout", "120"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "received ")) << run.out;

    // An open-ended stream ends cleanly on Ctrl-C with its summary.
    ToolProcess stream;
    ASSERT_TRUE(stream.Start({kTool, "stream", kId, "--timeout", "120"}, File("stream.out"), File("stream.err")));
    ASSERT_TRUE(stream.WaitForOutput("frames ", std::chrono::seconds(120))) << stream.Err();
    stream.Signal(SIGINT);
    EXPECT_EQ(stream.Wait(std::chrono::seconds(60)), 0) << stream.Err();
    EXPECT_TRUE(Contains(stream.Out(), "received ")) << stream.Out();

    // With a limit not reached, the interruption is reported as such.
    ToolProcess limited;
    ASSERT_TRUE(limited.Start({kTool, "stream", kId, "--frames", "1000000", "--timeout", "120"}, File("limited.out"),
                              File("limited.err")));
    ASSERT_TRUE(limited.WaitForOutput("frames ", std::chrono::seconds(120))) << limited.Err();
    limited.Signal(SIGINT);
    EXPECT_EQ(limited.Wait(std::chrono::seconds(60)), 130);
    EXPECT_TRUE(Contains(limited.Err(), "interrupted before the requested frames")) << limited.Err();
}

TEST_F(ToolCliTest, BadInputIsRefusedWithWords) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string words;
    };
    const Case cases[] = {
        {{"get", kId, "sharpness"}, 2, "unknown parameter 'sharpness'; known parameters: brightness, gain-auto"},
        {{"set", kId, "sharpness=3"}, 2, "unknown parameter 'sharpness'"},
        {{"set", kId, "frame-rate=fast"}, 2, "bad value 'fast' for frame-rate: expected frames per second"},
        {{"set", kId, "rotation=45"}, 2, "bad value '45' for rotation"},
        {{"set", kId, "exposure"}, 2, "'exposure' is not NAME=VALUE"},
        {{"set", kId, "pixel-format=Mono99"}, 2, "unknown pixel format 'Mono99'"},
        {{"get", kId, "long-exposure"}, 2, "long-exposure can only be written"},
        {{"snapshot", kId, File("shot.xyz")}, 2, "cannot tell the picture type"},
        {{"snapshot", kId, File("missing/shot.png")}, 2, "does not exist"},
        {{"stream", kId, "--frames", "5", "--seconds", "5"}, -2, "excludes"},
        {{"stream", kId, "--every", "5"}, -2, "requires --save"},
        {{"get"}, -2, "id is required"},
        {{"info", std::string(32, 'x')}, 1, "is too long: at most 31 characters fit the device record"},
        {{"launch", kId}, -2, "A subcommand is required"},
    };
    for (const Case& example : cases) {
        const ToolRun run = Tool(example.arguments);
        const std::string shown = example.arguments[0] + " ... " + example.arguments.back();
        if (example.status >= 0) {
            EXPECT_EQ(run.status, example.status) << shown << "\n" << run.err;
        } else {
            EXPECT_GT(run.status, 0) << shown;
        }
        EXPECT_TRUE(Contains(run.err, example.words)) << shown << "\n" << run.err;
    }
}

TEST_F(ToolCliTest, HelpIsEverywhere) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"info", "--help"}, {"get", "--help"}, {"set", "--help"}, {"snapshot", "--help"},
             {"stream", "--help"}}) {
        const ToolRun run = Tool(arguments);
        EXPECT_EQ(run.status, 0) << arguments[0];
        EXPECT_TRUE(Contains(run.out, "Usage: optivane")) << run.out;
    }
    EXPECT_TRUE(Contains(Tool({"set", "--help"}).out, "frame-rate          frames per second"));
    EXPECT_TRUE(Contains(Tool({"stream", "--help"}).out, "--every"));
}

TEST_F(ToolCliTest, TheModuleIsLookedForBesideTheProgram) {
    // Alone in a folder, the program says where it looked.
    const std::string alone = File("alone");
    std::filesystem::create_directories(alone);
    std::filesystem::copy_file(kTool, alone + "/optivane");
    ToolRun run = RunTool({alone + "/optivane", "info", kId}, m_folder.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "libOptivane.so is not beside this program (looked for " + alone +
                                      "/libOptivane.so)"))
        << run.err;

    // Beside a module that has no camera classes, the factory's answer is
    // named and explained.
    std::filesystem::copy_file(kModuleWithoutClasses, alone + "/libOptivane.so");
    run = RunTool({alone + "/optivane", "info", kId}, m_folder.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "cannot create the Aravis camera: CLASS_E_CLASSNOTAVAILABLE (0x80040111): this "
                                  "libOptivane.so does not provide that kind of camera"))
        << run.err;
}

}  // namespace
}  // namespace optivane::test
