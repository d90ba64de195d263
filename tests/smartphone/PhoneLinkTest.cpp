// One exchange with a simulated phone per case, each with a fault: the result
// and how long it took. Short limits stand in for the real ones, so every
// time-out here is a fraction of a second.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "FakePhoneProcess.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "platform/Ipv4Text.h"
#include "smartphone/CPhoneLink.h"
#include "smartphone/JpegHeader.h"
#include "smartphone/PhoneCommands.h"

namespace optivane::phone {
namespace {

using Clock = std::chrono::steady_clock;
using test::FakePhoneProcess;

// Receive limits well above what a sanitizer build of the simulator needs to
// answer, so that "answered" and "timed out" stay apart.
constexpr PhoneTimings kShort{1000, 1000, 1000, 1000, 1000, 2500, 2500, 1000, 10};
const ModuleLoader g_linquet = ModuleLoader::ForSibling("Linquet");

enum class Exchange { Query, Capture, Setup };

struct Outcome {
    HRESULT status;
    int64_t ms;
    bool jpeg;  // a capture's image passed the header check
};

Outcome RunExchange(int port, Exchange exchange, const std::string& setup = "") {
    ComPtr<ITcpConnection> connection;
    EXPECT_EQ(g_linquet.CreateInstance(CLSID_TcpConnection, IID_ITcpConnection, connection.ReceiveVoid()), S_OK);
    EXPECT_EQ(connection->Init(), S_OK);
    uint32_t address = 0;
    platform::Ipv4Text::Parse("127.0.0.2", &address);
    static std::vector<char> buffer(ImageReplyReader::kBufferSize);
    const auto start = Clock::now();
    Outcome outcome{E_UNEXPECTED, 0, false};
    {
        CPhoneLink link(*connection.Get(), kShort);
        outcome.status = link.Connect(address, static_cast<uint16_t>(port));
        if (SUCCEEDED(outcome.status) && exchange == Exchange::Query) {
            CapabilityReply reply;
            outcome.status = link.QueryCapabilities(reply);
        } else if (SUCCEEDED(outcome.status) && exchange == Exchange::Capture) {
            ImageReplyReader reader(buffer.data(), buffer.size());
            outcome.status = link.Capture(reader);
            JpegSize size{};
            outcome.jpeg = SUCCEEDED(outcome.status) && ScanJpegHeader(reader.Image(), reader.ImageSize(), size);
        } else if (SUCCEEDED(outcome.status)) {
            outcome.status = link.Setup(setup);
        }
    }
    outcome.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    connection->Uninit();
    return outcome;
}

TEST(PhoneLinkFaults, EachFaultEndsTheExchangeWithItsResultInTime) {
    struct Row {
        std::vector<std::string> faults;
        Exchange exchange;
        HRESULT status;
        bool jpeg;
        int64_t minMs, maxMs;
    };
    const std::string setup = ExposureCommand(16666666);
    const Row rows[] = {
        {{}, Exchange::Query, S_OK, false, 0, 900},
        {{}, Exchange::Capture, S_OK, true, 0, 900},
        {{}, Exchange::Setup, S_OK, false, 0, 900},
        {{"split-xml"}, Exchange::Query, E_FAIL, false, 0, 900},
        {{"xml-length=5"}, Exchange::Query, E_FAIL, false, 0, 900},
        {{"split-header"}, Exchange::Capture, E_FAIL, false, 0, 900},
        {{"chunked-jpg"}, Exchange::Capture, S_OK, true, 0, 900},
        {{"tag=png"}, Exchange::Capture, E_FAIL, false, 0, 900},
        {{"length=0"}, Exchange::Capture, E_FAIL, false, 0, 900},
        {{"length=10485754"}, Exchange::Capture, E_FAIL, false, 0, 900},
        {{"extra=5000"}, Exchange::Capture, S_OK, true, 0, 900},
        {{"short-jpg=300"}, Exchange::Capture, S_OK, true, 0, 900},
        {{"not-jpeg"}, Exchange::Capture, S_OK, false, 0, 900},
        {{"status=ok"}, Exchange::Setup, E_FAIL, false, 0, 900},
        {{"status=OKAY"}, Exchange::Setup, S_OK, false, 0, 900},
        {{"drop=100"}, Exchange::Capture, E_FAIL, false, 0, 900},
        // Silent phones: one receive limit each.
        {{"truncate=100"}, Exchange::Capture, LINQUET_E_TIMEDOUT, false, 950, 1700},
        {{"no-capture"}, Exchange::Capture, LINQUET_E_TIMEDOUT, false, 950, 1700},
        {{"no-accept"}, Exchange::Query, LINQUET_E_TIMEDOUT, false, 950, 1700},
        // Bytes just inside every receive limit: the overall deadline ends it.
        {{"trickle=100"}, Exchange::Capture, LINQUET_E_TIMEDOUT, false, 2450, 3500},
    };
    int port = 61000;
    for (const Row& row : rows) {
        std::vector<std::string> arguments{"--size", "64x48"};
        for (const std::string& fault : row.faults) arguments.insert(arguments.end(), {"--fault", fault});
        FakePhoneProcess phone("127.0.0.2", ++port, arguments);
        ASSERT_TRUE(phone.IsRunning());
        const std::string what = row.faults.empty() ? "no fault" : row.faults[0];
        const Outcome outcome = RunExchange(port, row.exchange, setup);
        EXPECT_EQ(outcome.status, row.status) << what;
        EXPECT_EQ(outcome.jpeg, row.jpeg) << what;
        EXPECT_GE(outcome.ms, row.minMs) << what;
        EXPECT_LE(outcome.ms, row.maxMs) << what;
    }
}

TEST(PhoneLinkFaults, NothingListeningIsRefusedAndCommandsArriveExact) {
    EXPECT_EQ(RunExchange(60999, Exchange::Query).status, LINQUET_E_REFUSED);
    FakePhoneProcess phone("127.0.0.2", 60998);
    ASSERT_TRUE(phone.IsRunning());
    ASSERT_EQ(RunExchange(60998, Exchange::Setup, SensitivityCommand(400)).status, S_OK);
    ASSERT_EQ(RunExchange(60998, Exchange::Query).status, S_OK);
    const std::string log = phone.Log();
    EXPECT_NE(log.find("received \"command string : setup iso 400 dur 166666666 zoom 1.0 lens wide\\r\""),
              std::string::npos) << log;
    EXPECT_NE(log.find("received \"command string : search\\r\""), std::string::npos) << log;
    EXPECT_EQ(log.find("bad command"), std::string::npos) << log;
}

}  // namespace
}  // namespace optivane::phone
