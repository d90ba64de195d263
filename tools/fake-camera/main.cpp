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
#include "platform/SharedLibrary.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStop(int) { g_stop = 1; }

// Presets name a device kind: its GenICam file (beside this program, where
// the build and the installation put it), vendor and model.
struct Preset {
    const char* name;
    const char* genicamFile;
    const char* vendor;
    const char* model;
};
constexpr Preset kPresets[] = {
    {"ids-peak", "ids-peak.xml", "IDS Imaging Development Systems GmbH", "IdsSim"},
};

std::string BesideThisProgram(const std::string& fileName) {
    const std::string program = optivane::platform::SharedLibrary::PathOfThisBinary();
    const size_t folderEnd = program.find_last_of(optivane::platform::SharedLibrary::PathSeparator());
    if (folderEnd == std::string::npos) return fileName;
    return program.substr(0, folderEnd + 1) + fileName;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("A simulated GigE Vision camera (Aravis's fake camera) answering on one address until "
                 "Ctrl-C or SIGTERM. Its Aravis device id is vendor, model and serial number joined by '-' "
                 "(\"Aravis-Fake-GV01\" by default).",
                 "optivane-fake-camera");
    std::string address = "127.0.0.1";
    std::string serial = "GV01";
    std::string genicam;
    std::string vendor;
    std::string model;
    std::string preset;
    app.add_option("-a,--address", address, "the IPv4 address (or interface name) to answer on (default 127.0.0.1)");
    app.add_option("-s,--serial", serial, "serial number (default GV01)");
    app.add_option("-g,--genicam", genicam,
                   "a GenICam file to present instead of Aravis's own (its registers must be the fake camera's)")
        ->check(CLI::ExistingFile);
    app.add_option("--vendor", vendor, "vendor text the camera reports (Aravis's fake camera says \"Aravis\")");
    app.add_option("--model", model, "model text the camera reports");
    app.add_option("--preset", preset,
                   "a device kind: ids-peak (an IDS peak camera, \"IDS/<model>/<serial>\"; vendor \"IDS Imaging "
                   "Development Systems GmbH\", model IdsSim, and its GenICam file)")
        ->check(CLI::IsMember({"ids-peak"}))
        ->excludes("--genicam");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    for (const Preset& known : kPresets) {
        if (preset != known.name) continue;
        genicam = BesideThisProgram(known.genicamFile);
        if (vendor.empty()) vendor = known.vendor;
        if (model.empty()) model = known.model;
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
    if (!vendor.empty()) camera.SetVendor(vendor);
    if (!model.empty()) camera.SetModel(model);
    // Whoever started this program waits for this line before connecting.
    std::cout << "fake camera " << (vendor.empty() ? "Aravis" : vendor) << "-" << (model.empty() ? "Fake" : model) << "-"
              << serial << " listening on " << address << std::endl;
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
