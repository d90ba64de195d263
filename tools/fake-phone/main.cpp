// optivane-fake-phone: a simulated phone running the camera application, on
// one address and port until SIGINT or SIGTERM, with faults on request. Run
// it where the address is private (a network namespace with loopback alone).
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <iostream>
#include <string>

#include "FakePhone.h"
#include "platform/Ipv4Text.h"

namespace {

// Set by the signal handler, read by every connection's thread: an atomic,
// lock-free and so safe in a handler, where a sig_atomic_t would race.
std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStop(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("A simulated phone answering the camera application's commands until Ctrl-C or SIGTERM. "
                 "Prints \"listening on A:P\", then every command received.",
                 "optivane-fake-phone");
    std::string address = "127.0.0.1";
    uint16_t port = 60000;
    std::string size = "640x480";
    optivane::tool::PhoneIdentity identity;
    optivane::tool::PhoneFaults faults;
    std::vector<std::string> faultList;
    app.add_option("-a,--address", address, "IPv4 address to listen on (default 127.0.0.1)");
    app.add_option("-p,--port", port, "TCP port (default 60000; 0 picks a free one)");
    app.add_option("--model", identity.model, "Model element");
    app.add_option("--manufacture", identity.manufacture, "Manufacture element");
    app.add_option("--serial", identity.serial, "Serial element");
    app.add_option("--exposure-range", identity.exposureRange, "Exposure_Time_Range element (nanoseconds)");
    app.add_option("--iso-range", identity.isoRange, "Sensitivity_Range element");
    app.add_option("--size", size, "photograph size WxH (default 640x480)");
    app.add_option("--capture-delay", identity.captureDelayMs, "milliseconds before each photograph is sent");
    app.add_option("--fault", faultList,
                   "split-xml, split-header, chunked-jpg, bad-xml, missing=NAME, empty=NAME, xml-file=PATH, "
                   "xml-length=N, tag=TEXT, status=TEXT, length=N, truncate=K, drop=K, short-jpg=K, extra=K, "
                   "not-jpeg, no-capture, trickle=MS, no-accept (repeatable)");
    app.add_option("--fault-every", faults.every, "faults apply to every K-th reply of their kind (default 1)")
        ->check(CLI::PositiveNumber);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    for (const std::string& fault : faultList) {
        if (!faults.Add(fault)) {
            std::cerr << "optivane-fake-phone: unknown fault " << fault << "\n";
            return 2;
        }
    }
    unsigned width = 0, height = 0;
    char separator = 0;
    if (std::sscanf(size.c_str(), "%u%c%u", &width, &separator, &height) != 3 || separator != 'x' || width == 0 ||
        height == 0 || width > 8000 || height > 8000) {
        std::cerr << "optivane-fake-phone: --size must be WxH\n";
        return 2;
    }
    identity.width = width;
    identity.height = height;
    uint32_t host = 0;
    if (!optivane::platform::Ipv4Text::Parse(address.c_str(), &host)) {
        std::cerr << "optivane-fake-phone: not an IPv4 address: " << address << "\n";
        return 2;
    }
    for (int signal : {SIGINT, SIGTERM}) {
        if (std::signal(signal, OnStop) == SIG_IGN) std::signal(signal, SIG_IGN);
    }
    optivane::tool::FakePhone phone(identity, faults);
    if (!phone.Run(host, port, g_stop)) {
        std::cerr << "optivane-fake-phone: cannot listen on " << address << ":" << port << "\n";
        return 1;
    }
    return 0;
}
