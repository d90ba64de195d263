// optivane-fake-camera: runs Aravis's simulated GigE Vision camera on one
// address until SIGINT or SIGTERM. Run it only where that address is private
// (a network namespace with loopback alone): it answers discovery broadcasts.
#include <CLI/CLI.hpp>
#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <thread>

#include "FakeCamera.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStop(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("A simulated GigE Vision camera (Aravis's fake camera) answering on one address until "
                 "Ctrl-C or SIGTERM. Its device id is \"Aravis-Fake-\" followed by the serial number.",
                 "optivane-fake-camera");
    std::string address = "127.0.0.1";
    std::string serial = "GV01";
    std::string genicam;
    app.add_option("-a,--address", address, "the IPv4 address (or interface name) to answer on (default 127.0.0.1)");
    app.add_option("-s,--serial", serial, "serial number (default GV01)");
    app.add_option("-g,--genicam", genicam,
                   "a GenICam file to present instead of Aravis's own (its registers must be the fake camera's)")
        ->check(CLI::ExistingFile);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    // A signal that whoever started us ignores stays ignored, as with any
    // background job: a script's Ctrl-C then reaches its foreground program
    // first, and the script stops the camera afterwards.
    for (int signal : {SIGINT, SIGTERM}) {
        if (std::signal(signal, OnStop) == SIG_IGN) std::signal(signal, SIG_IGN);
    }
    optivane::tool::FakeCamera camera;
    std::string error;
    if (!camera.Start(address, serial, genicam, &error)) {
        std::cerr << "optivane-fake-camera: " << error << "\n";
        return 1;
    }
    // Whoever started this program waits for this line before connecting.
    std::cout << "fake camera Aravis-Fake-" << serial << " listening on " << address << std::endl;
    while (g_stop == 0) {
        if (!camera.IsRunning()) {
            std::cerr << "optivane-fake-camera: the simulated camera stopped by itself\n";
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::cout << "fake camera stopped" << std::endl;
    return 0;
}
