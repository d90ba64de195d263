// The optivane program as a person runs it, against one optivane-fake-camera
// on 127.0.0.2 (inside the test's private network namespace): exit status,
// standard output and error, and the files it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/TempDir.h"

extern char** environ;

namespace optivane::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// One child, its standard output and error in the files PREFIX.out and
// PREFIX.err; killed and reaped on destruction if still running.
class ToolProcess {
public:
    ToolProcess(std::vector<std::string> arguments, const std::string& prefix)
        : m_outFile(prefix + ".out"), m_errFile(prefix + ".err") {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, m_outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ToolProcess() { Wait(0s); }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    void Signal(int signal) const { if (m_pid > 0) kill(m_pid, signal); }
    // The exit status; 128 + the signal when a signal ended it; -1 when it
    // did not start, or was killed for running past the limit.
    int Wait(std::chrono::seconds limit) {
        const auto deadline = Clock::now() + limit;
        int status = 0;
        pid_t ended = 0;
        while (m_pid > 0 && (ended = waitpid(m_pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        if (m_pid > 0 && ended == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
        if (ended <= 0) return -1;
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
    // Whether text appears in the standard output (or error) within the limit.
    bool WaitFor(const std::string& text, std::chrono::seconds limit, bool inError = false) const {
        for (const auto deadline = Clock::now() + limit; Clock::now() < deadline; std::this_thread::sleep_for(50ms))
            if (Contains(inError ? Err() : Out(), text)) return true;
        return false;
    }
    std::string Out() const { return ReadFile(m_outFile); }
    std::string Err() const { return ReadFile(m_errFile); }

private:
    pid_t m_pid = -1;
    const std::string m_outFile, m_errFile;
};

const std::string kTool = OPTIVANE_TOOL, kId = "Aravis-Fake-GV01", kNone = "No-Such-Camera", kMicro = "\xC2\xB5s";

struct ToolRun { int status = -1; std::string out, err; };

// One fake camera for the suite; SIGTERM must end it cleanly.
class ToolCliTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = std::make_unique<TempDir>();
        const std::vector<std::string> camera = {OPTIVANE_FAKE_CAMERA, "--address", "127.0.0.2"};
        s_camera = std::make_unique<ToolProcess>(camera, s_folder->File("camera"));
        ASSERT_TRUE(s_camera->WaitFor("listening on 127.0.0.2", 30s)) << s_camera->Err();
    }
    static void TearDownTestSuite() {
        s_camera->Signal(SIGTERM);
        EXPECT_EQ(s_camera->Wait(30s), 0) << s_camera->Err();
    }
    ToolRun Tool(std::vector<std::string> arguments, const std::string& program = kTool) {
        arguments.insert(arguments.begin(), program);
        ToolProcess process(arguments, File("run"));
        const int status = process.Wait(180s);
        return {status, process.Out(), process.Err()};
    }
    std::string File(const std::string& name) const { return m_folder.File(name); }

    static inline std::unique_ptr<TempDir> s_folder;
    static inline std::unique_ptr<ToolProcess> s_camera;
    TempDir m_folder;
};

// Status 0 and every part in the standard output.
void ExpectOutput(const ToolRun& run, const std::vector<std::string>& parts) {
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& part : parts) EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
}

TEST_F(ToolCliTest, InfoGetAndSetWithReadBack) {
    const ToolRun info = Tool({"info", kId});
    EXPECT_EQ(info.err, "");
    ExpectOutput(info, {"GV01", "2048 x 2048", "512 x 512 at (0, 0)", "Mono8", "BayerRG8", "10 .. 10000000 " + kMicro});
    ExpectOutput(Tool({"get", "127.0.0.2", "pixel-format"}), {"pixel-format = Mono8\n"});  // by address too
    const ToolRun all = Tool({"get", kId});
    ExpectOutput(all, {"pixel-format = Mono8", "rotation = 0", "flip = none", "frame-rate = ", "red : not available"});
    EXPECT_FALSE(Contains(all.out, "long-exposure")) << "written only, never listed";

    // One microsecond above the refused lower bound is taken.
    ExpectOutput(Tool({"set", kId, "frame-rate=12.5", "exposure=11", "pixel-format=bayerrg8"}),
                 {"frame-rate = 12.50 fps\nexposure = 11 " + kMicro + "\npixel-format = BayerRG8\n"});
    ExpectOutput(Tool({"get", kId, "frame-rate"}), {"frame-rate = 12.50 fps\n"});
    ExpectOutput(Tool({"set", kId, "pixel-format=0x01080001", "frame-rate=25", "exposure=20ms"}),  // GenICam code
                 {"pixel-format = Mono8\nframe-rate = 25.00 fps\nexposure = 20000 " + kMicro + "\n"});
}

TEST_F(ToolCliTest, SnapshotTypesAndSettingsWithinOneRun) {
    for (const char* name : {"shot.png", "shot.jpg", "shot.bmp"}) {
        ExpectOutput(Tool({"snapshot", kId, File(name)}), {File(name)});
        const cv::Mat picture = cv::imread(File(name), cv::IMREAD_UNCHANGED);
        EXPECT_TRUE(picture.cols == 512 && picture.rows == 512 && picture.channels() == 3) << name;
    }
    // Rotation lives in the camera object, which ends with the program: --set
    // carries it into a snapshot (whose pixels the module's tests check).
    ExpectOutput(Tool({"snapshot", kId, File("turned.png"), "--set", "rotation=90"}), {"rotation = 90\n"});
}

TEST_F(ToolCliTest, StreamCountsSavesEveryKthAndStopsOnTimeOrInterrupt) {
    const std::string folder = File("frames");
    const ToolRun run = Tool({"stream", kId, "--frames", "20", "--save", folder, "--every", "5", "--timeout", "120"});
    ExpectOutput(run, {"received 20 frames of 512x512", "saved 4 frames"});
    EXPECT_FALSE(Contains(run.out, "\r")) << "no redrawing when the output is not a terminal";
    for (const char* name : {"frame-000005.png", "frame-000010.png", "frame-000015.png", "frame-000020.png"})
        EXPECT_EQ(cv::imread(folder + "/" + name).size(), cv::Size(512, 512)) << name;
    EXPECT_FALSE(std::filesystem::exists(folder + "/frame-000025.png")) << "nothing past the limit";
    ExpectOutput(Tool({"stream", kId, "--seconds", "1", "--timeout", "120"}), {"received "});
    // Ctrl-C ends an open-ended stream with status 0, and one short of its
    // frame limit with 130.
    for (const bool open : {true, false}) {
        const std::vector<std::string> arguments = {kTool, "stream", kId, "--timeout", "120", "--frames", "1000000"};
        ToolProcess stream({arguments.begin(), arguments.end() - (open ? 2 : 0)}, File("stream"));
        ASSERT_TRUE(stream.WaitFor("frames ", 120s)) << stream.Err();
        stream.Signal(SIGINT);
        EXPECT_EQ(stream.Wait(60s), open ? 0 : 130) << stream.Err();
    }
}

// A camera gone in mid-stream: the stream gives up after its time-out, and
// stopping waits out Aravis's control time-outs, so the program says why it
// is slow; a signal then ends it at once.
TEST_F(ToolCliTest, CameraGoneEndsTheStreamAndASignalQuitsTheStop) {
    ToolProcess camera({OPTIVANE_FAKE_CAMERA, "--address", "127.0.0.3", "--serial", "GV02"}, File("camera"));
    ASSERT_TRUE(camera.WaitFor("listening on 127.0.0.3", 30s)) << camera.Err();
    ToolProcess stream({kTool, "stream", "Aravis-Fake-GV02", "--timeout", "2"}, File("stream"));
    ASSERT_TRUE(stream.WaitFor("512x512", 120s)) << stream.Err();
    camera.Signal(SIGTERM);
    ASSERT_EQ(camera.Wait(30s), 0) << camera.Err();

    ASSERT_TRUE(stream.WaitFor("optivane: stopping; no frame for ", 30s, true)) << stream.Err();
    // The stream ended by itself, yet the first signal is not merely noted:
    // far less than the time-outs the stop is waiting out.
    stream.Signal(SIGINT);
    EXPECT_EQ(stream.Wait(3s), 128 + SIGINT) << stream.Err();
}

// The fake camera's IDS peak preset is an IDS peak camera, named by its IDS
// id: its record, and a snapshot through its own streaming thread.
TEST_F(ToolCliTest, AnIdsPeakCameraOpensByItsIdsId) {
    ToolProcess camera({OPTIVANE_FAKE_CAMERA, "--address", "127.0.0.4", "--serial", "P7", "--preset", "ids-peak"},
                       File("ids-camera"));
    ASSERT_TRUE(camera.WaitFor("listening on 127.0.0.4", 30s)) << camera.Err();
    ExpectOutput(Tool({"info", "IDS/IdsSim/P7"}), {"IDS PeakCamera", "127.0.0.4", "BayerRG12p"});
    ExpectOutput(Tool({"set", "IDS/IdsSim/P7", "pixel-format=bayerrg8"}), {});
    ExpectOutput(Tool({"snapshot", "IDS/IdsSim/P7", File("ids.png")}), {File("ids.png")});
    EXPECT_TRUE(std::filesystem::exists(File("ids.png")));
}

// Each refusal has its status and names what was refused; assignments are
// checked before a camera is opened.
TEST_F(ToolCliTest, EveryRefusalHasItsStatus) {
    // Copies of the program alone, and beside a module without camera classes.
    const std::string alone = File("alone/optivane"), classless = File("classless/optivane");
    for (const std::string& copy : {alone, classless}) {
        std::filesystem::create_directories(std::filesystem::path(copy).parent_path());
        std::filesystem::copy_file(kTool, copy);
    }
    std::filesystem::copy_file(OPTIVANE_MODULE_WITHOUT_CLASSES, File("classless/libOptivane.so"));
    // Status -1: any failure status of the argument parser.
    struct Case { std::vector<std::string> arguments; int status; std::string words, program = kTool; };
    const Case cases[] = {
        {{"info", kId}, 1, "libOptivane.so", alone}, {{"info", kId}, 1, "CLASS_E_CLASSNOTAVAILABLE", classless},
        {{"--help"}, 0, "Usage: optivane"}, {{"set", "--help"}, 0, "frame-rate"},
        {{"set", kId, "exposure=10"}, 1, "E_FAIL"}, {{"get", kId, "brightness"}, 1, "brightness"},
        {{"info", kNone}, 1, kNone}, {{"info", std::string(32, 'x')}, 1, "31"},
        {{"get", kId, "sharpness"}, 2, "sharpness"}, {{"set", kNone, "sharpness=3"}, 2, "sharpness"},
        {{"set", kNone, "frame-rate=fast"}, 2, "fast"}, {{"set", kNone, "exposure"}, 2, "NAME=VALUE"},
        {{"set", kNone, "=30"}, 2, "NAME=VALUE"}, {{"set", kNone, "pixel-format="}, 2, "pixel-format"},
        {{"set", kId, "pixel-format=Mono99"}, 2, "Mono99"}, {{"get", kId, "long-exposure"}, 2, "long-exposure"},
        {{"snapshot", kId, File("shot.xyz")}, 2, "shot.xyz"},
        {{"snapshot", kId, File("missing/shot.png")}, 2, "missing"},
        {{"stream", kId, "--frames", "5", "--seconds", "5"}, -1, "excludes"},
        {{"stream", kId, "--every", "5"}, -1, "requires --save"},
        {{"get"}, -1, "id is required"}, {{"launch", kId}, -1, "A subcommand is required"},
    };
    for (const Case& example : cases) {
        const ToolRun run = Tool(example.arguments, example.program);
        const std::string shown = example.arguments[0] + " ... " + example.arguments.back() + "\n" + run.err;
        if (example.status >= 0) EXPECT_EQ(run.status, example.status) << shown;
        else EXPECT_GT(run.status, 0) << shown;
        EXPECT_TRUE(Contains(example.status == 0 ? run.out : run.err, example.words)) << shown;
    }
}

// A phone named by either form of its id: the record its capability reply
// and first photograph give, the ISO as the phone receives it, a snapshot and
// a short stream of its photographs. Ids that name no phone fail with nothing
// sent to it; a phone that is not there fails at the connection.
TEST_F(ToolCliTest, PhoneByEitherIdAndIdsThatNameNone) {
    ToolProcess phone({OPTIVANE_FAKE_PHONE, "--address", "127.0.0.4", "--serial", "P-9", "--size", "160x120"},
                      File("phone"));
    ASSERT_TRUE(phone.WaitFor("listening on 127.0.0.4:60000", 30s)) << phone.Err();
    ExpectOutput(Tool({"info", "phone:127.0.0.4"}), {"SMPHCA00127.0.0.4:60000", "P-9", "160 x 120"});
    ExpectOutput(Tool({"get", "phone:127.0.0.4"}), {"iso = ", "exposure-step = "});
    ExpectOutput(Tool({"set", "SMPHCA00127.0.0.4:60000", "iso=400"}), {"iso = 400"});
    EXPECT_TRUE(Contains(phone.Out(), "setup iso 400 ")) << phone.Out();
    // Below the phone's range: the lowest ISO it offers is sent instead.
    ExpectOutput(Tool({"set", "phone:127.0.0.4:60000", "iso=50"}), {"iso = 100"});
    EXPECT_TRUE(Contains(phone.Out(), "setup iso 100 ")) << phone.Out();
    ExpectOutput(Tool({"snapshot", "phone:127.0.0.4", File("phone.png")}), {File("phone.png")});
    const cv::Mat picture = cv::imread(File("phone.png"), cv::IMREAD_UNCHANGED);
    EXPECT_TRUE(picture.cols == 160 && picture.rows == 120 && picture.channels() == 3);
    ExpectOutput(Tool({"stream", "phone:127.0.0.4", "--frames", "2", "--timeout", "60"}),
                 {"received 2 frames of 160x120"});

    const std::string received = phone.Out();
    for (const char* id : {"phone:127.0.0", "phone:127.0.0.4:70000", "SMPHCA00127.0.0.4", "phone:", "phone:::1"}) {
        const ToolRun run = Tool({"info", id});
        EXPECT_EQ(run.status, 1) << id;
        EXPECT_TRUE(Contains(run.err, id)) << run.err;
    }
    EXPECT_EQ(phone.Out(), received) << "a malformed id reached the phone";
    const ToolRun absent = Tool({"snapshot", "phone:127.0.0.5", File("none.png")});
    EXPECT_EQ(absent.status, 1);
    EXPECT_TRUE(Contains(absent.err, "0x8007274D")) << absent.err;
    EXPECT_FALSE(std::filesystem::exists(File("none.png")));
}

// list shows a search's records in its order, as a table and as JSON; an id
// or address it shows opens the camera of its kind; a network that is no
// address is refused before any search.
TEST_F(ToolCliTest, ListInSearchOrderAndOpenWhatItShows) {
    ToolProcess peak({OPTIVANE_FAKE_CAMERA, "--address", "127.0.0.6", "--serial", "P6", "--preset", "ids-peak"},
                     File("ids-camera"));
    ToolProcess phone({OPTIVANE_FAKE_PHONE, "--address", "127.0.0.7", "--size", "64x48"}, File("phone"));
    ASSERT_TRUE(peak.WaitFor("listening on 127.0.0.6", 30s) && phone.WaitFor("listening on 127.0.0.7", 30s));
    const ToolRun table = Tool({"list", "--network", "127.0.0.1"});
    ExpectOutput(table, {"IDS/IdsSim/P6", kId, "SMPHCA00127.0.0.7:60000"});
    EXPECT_LT(table.out.find("peak "), table.out.find("aravis ")) << table.out;
    EXPECT_LT(table.out.find("aravis "), table.out.find("phone ")) << table.out;

    const ToolRun json = Tool({"list", "--network", "127.0.0.1", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    std::vector<std::string> kinds;
    for (const auto& record : nlohmann::json::parse(json.out)) kinds.push_back(record.at("Kind"));
    EXPECT_EQ(kinds, (std::vector<std::string>{"peak", "aravis", "phone"})) << json.out;
    EXPECT_EQ(nlohmann::json::parse(json.out).at(0).at("IpAddress"), "127.0.0.6");

    ExpectOutput(Tool({"info", "127.0.0.6"}), {"IDS PeakCamera", "IDS/IdsSim/P6"});
    EXPECT_EQ(Tool({"list", "--network", "127.0.0"}).status, 2);
}

}  // namespace
}  // namespace optivane::test
