// optivane-frame-source: a frame source for the virtual camera on a loopback
// address, serving the counter or moving pattern, image files or a video
// file to every receiver that connects, until SIGINT or SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <functional>
#include <iostream>
#include <string>

#include "FrameInput.h"
#include "FrameServer.h"
#include "SourceOptions.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStop(int) { g_stop = 1; }

// A CLI11 check from one of the option parsers.
template <typename Parse>
std::function<std::string(const std::string&)> Check(optivane::tool::SourceOptions* options, Parse parse) {
    return [options, parse](const std::string& text) {
        std::string error;
        return parse(text, options, &error) ? std::string() : error;
    };
}

}  // namespace

int main(int argc, char** argv) {
    using optivane::tool::SourceOptions;
    CLI::App app("Serves frames over the Mirvale protocol (version 1) on a loopback address until Ctrl-C or "
                 "SIGTERM. Prints \"listening on HOST:PORT\" when ready.",
                 "optivane-frame-source");
    SourceOptions options;
    std::string address = "127.0.0.1", pattern = "counter", size, fault;
    std::vector<std::string> images;
    std::string video;
    app.add_option("--address", address, "IPv4 address inside 127.0.0.0/8 (default 127.0.0.1)")
        ->check(Check(&options, &SourceOptions::ParseAddress), "IPV4");
    app.add_option("--port", options.port, "TCP port (default 45000)")->check(CLI::Range(1, 65535));
    auto* patternOption = app.add_option("--pattern", pattern,
                                         "counter (byte i of frame n is (n + i) mod 256; the default) or moving")
                              ->check(Check(&options, &SourceOptions::ParsePattern), "PATTERN");
    auto* imageOption = app.add_option("--image", images, "image files, shown in turn")->check(CLI::ExistingFile);
    auto* videoOption = app.add_option("--video", video, "a local video file, from the start again at its end");
    patternOption->excludes(imageOption)->excludes(videoOption);
    imageOption->excludes(videoOption);
    app.add_option("--size", size, "WxH (default: the input's own size, 1920x1080 for patterns)")
        ->check(Check(&options, &SourceOptions::ParseSize), "WxH");
    app.add_option("--fps", options.fps, "frames per second; 0 means as fast as the receiver reads (default 30)")
        ->check(CLI::Range(0.0, 1000.0));
    app.add_option("--frames", options.frames, "frames per connection, then it closes (default: no end)");
    app.add_option("--fault", fault, "truncate|garbage|wrong-size|bad-version|stall[:AFTER]: spoil the frame after "
                                     "AFTER good ones (default 0)")
        ->check(Check(&options, &SourceOptions::ParseFault), "FAULT");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (!images.empty()) {
        options.input = SourceOptions::Input::Images;
        options.files = images;
    } else if (!video.empty()) {
        options.input = SourceOptions::Input::Video;
        options.files = {video};
    }

    for (int signal : {SIGINT, SIGTERM}) {
        if (std::signal(signal, OnStop) == SIG_IGN) std::signal(signal, SIG_IGN);
    }
    std::string error;
    // Inputs that cannot be read are refused now, not at the first client.
    if (!optivane::tool::FrameInput::Open(options, &error)) {
        std::cerr << "optivane-frame-source: " << error << "\n";
        return 1;
    }
    optivane::tool::FrameServer server(options);
    if (!server.Listen(&error)) {
        std::cerr << "optivane-frame-source: " << error << "\n";
        return 1;
    }
    // Whoever started this program waits for this line before connecting.
    std::cout << "listening on " << options.addressText << ":" << server.Port() << std::endl;
    server.Run(&g_stop);
    return 0;
}
