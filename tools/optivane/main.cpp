// optivane: a command-line host of the camera module. It loads libOptivane.so
// from its own folder, lists the cameras a search finds, opens one of any
// kind by its id through the module's manager and reads or changes settings,
// takes snapshots and streams.
#include <CLI/CLI.hpp>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "CameraCommands.h"
#include "CameraSession.h"
#include "ExitStatus.h"
#include "ListCommand.h"
#include "ModuleHost.h"
#include "ParameterTable.h"
#include "SettingAssignment.h"
#include "StreamCommand.h"

namespace optivane::tool {
namespace {

const char* const kIdHelp =
    "the camera: an id that 'optivane list' shows (for example Aravis-Fake-GV01, IDS/IdsSim/P1, "
    "SMPHCA00192.168.1.20:60000 or 127.0.0.1:45000), phone:ADDRESS, or a GigE camera's IP address";

// Reads NAME=VALUE texts; false after printing why one is wrong.
bool ReadAssignments(const std::vector<std::string>& texts, std::vector<SettingAssignment>* assignments) {
    for (const std::string& text : texts) {
        SettingAssignment assignment;
        std::string error;
        if (!SettingAssignment::Read(text, &assignment, &error)) {
            std::cerr << "optivane: " << error << "\n";
            return false;
        }
        assignments->push_back(assignment);
    }
    return true;
}

// Loads the module, opens the camera, applies the settings given and runs the
// command on it. The session is closed before the module is unloaded.
int WithCamera(const std::string& deviceId, const std::vector<SettingAssignment>& settings,
               const std::function<int(IAravisCamera*)>& command) {
    ModuleHost host;
    std::string error;
    if (!host.Load(&error)) {
        std::cerr << "optivane: " << error << "\n";
        return ExitFailure;
    }
    CameraSession session(host);
    if (!session.Open(deviceId, &error)) {
        std::cerr << "optivane: " << error << "\n";
        return ExitFailure;
    }
    if (!settings.empty()) {
        const int set = CameraCommands(session.Camera(), std::cout, std::cerr).Set(settings);
        if (set != ExitSuccess) return set;
    }
    return command(session.Camera());
}

int Main(int argc, char** argv) {
    CLI::App app("Command-line host of the Optivane camera module: lists cameras, reads and changes camera "
                 "settings, takes snapshots and streams from GigE Vision and USB3 Vision cameras, IDS peak "
                 "cameras, smartphones and virtual cameras.",
                 "optivane");
    app.require_subcommand(1);
    app.footer("Run 'optivane COMMAND --help' for the options of one command.\n" + ParameterTable::Help());

    std::string deviceId;
    std::string name;
    std::string path;
    std::vector<std::string> assignmentTexts;
    StreamOptions streamOptions;
    std::string network;
    bool json = false;

    CLI::App* list = app.add_subcommand("list", "Search for cameras of every kind and show what was found");
    list->add_option("--network", network,
                     "look for phones in the network of this IPv4 address (default: every network of this "
                     "computer)");
    list->add_flag("--json", json, "print a JSON array of device records");

    CLI::App* info = app.add_subcommand("info", "Show the camera's device record, region, pixel formats, "
                                                "exposure range and frame rate");
    info->add_option("id", deviceId, kIdHelp)->required();

    CLI::App* get = app.add_subcommand("get", "Show one setting, or every readable one");
    get->add_option("id", deviceId, kIdHelp)->required();
    get->add_option("name", name, "the setting; all readable settings when left out");
    get->footer(ParameterTable::Help());

    CLI::App* set = app.add_subcommand("set", "Change settings, in the order given, and show them as read back");
    set->add_option("id", deviceId, kIdHelp)->required();
    set->add_option("settings", assignmentTexts, "NAME=VALUE, for example frame-rate=29.97 exposure=15000")
        ->required();
    set->footer(ParameterTable::Help() +
                "rotation and flip belong to one camera object and last only as long as this program: pass\n"
                "them to snapshot or stream with --set.\n");

    CLI::App* snapshot = app.add_subcommand("snapshot", "Take one frame and write it to a picture file");
    snapshot->add_option("id", deviceId, kIdHelp)->required();
    snapshot->add_option("file", path, "the picture file; its extension (.png, .jpg, .bmp, .tiff) sets the type")
        ->required();
    snapshot->add_option("--set", assignmentTexts, "NAME=VALUE applied first (for example rotation=90)");
    snapshot->footer(ParameterTable::Help());

    CLI::App* stream = app.add_subcommand("stream", "Stream frames with a live status line and a summary");
    stream->add_option("id", deviceId, kIdHelp)->required();
    CLI::Option* frames =
        stream->add_option("--frames", streamOptions.frames, "stop after this many frames")->check(CLI::PositiveNumber);
    CLI::Option* seconds = stream->add_option("--seconds", streamOptions.seconds, "stop after this many seconds")
                               ->check(CLI::PositiveNumber);
    frames->excludes(seconds);
    CLI::Option* save =
        stream->add_option("--save", streamOptions.saveFolder, "write chosen frames as PNG files into this folder");
    stream->add_option("--every", streamOptions.every, "with --save: save frames K, 2K, 3K, ... (default 10)")
        ->check(CLI::PositiveNumber)
        ->needs(save);
    stream->add_option("--timeout", streamOptions.silenceSeconds,
                       "give up when no frame arrives for this many seconds (default 30)")
        ->check(CLI::PositiveNumber);
    stream->add_option("--set", assignmentTexts, "NAME=VALUE applied first (for example frame-rate=50)");
    stream->footer("Without --frames or --seconds the stream runs until Ctrl-C.\n" + ParameterTable::Help());

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }

    if (list->parsed()) {
        ModuleHost host;
        std::string error;
        if (!host.Load(&error)) {
            std::cerr << "optivane: " << error << "\n";
            return ExitFailure;
        }
        return ListCommand(std::cout, std::cerr).Run(host, network, json);
    }
    std::vector<SettingAssignment> assignments;
    if (!ReadAssignments(assignmentTexts, &assignments)) return ExitUsage;

    if (info->parsed()) {
        return WithCamera(deviceId, {}, [](IAravisCamera* camera) {
            return CameraCommands(camera, std::cout, std::cerr).Info();
        });
    }
    if (get->parsed()) {
        if (!name.empty()) {
            const ParameterInfo* parameter = ParameterTable::Find(name);
            if (parameter == nullptr) {
                std::cerr << "optivane: unknown parameter '" << name
                          << "'; known parameters: " << ParameterTable::Names() << "\n";
                return ExitUsage;
            }
            if (!parameter->readable) {
                std::cerr << "optivane: " << parameter->name << " can only be written, not read\n";
                return ExitUsage;
            }
        }
        return WithCamera(deviceId, {}, [&](IAravisCamera* camera) {
            return CameraCommands(camera, std::cout, std::cerr).Get(name);
        });
    }
    if (set->parsed()) {
        const int status =
            WithCamera(deviceId, assignments, [](IAravisCamera*) { return static_cast<int>(ExitSuccess); });
        for (const SettingAssignment& assignment : assignments) {
            const ParameterKind kind = assignment.Parameter().kind;
            if (status == ExitSuccess && (kind == ParameterKind::Rotation || kind == ParameterKind::Flip)) {
                std::cerr << "optivane: note: " << assignment.Parameter().name
                          << " lasts only while this program runs; give it to snapshot or stream with --set\n";
            }
        }
        return status;
    }
    if (snapshot->parsed()) {
        std::string error;
        if (!CameraCommands::CheckSnapshotPath(path, &error)) {
            std::cerr << "optivane: " << error << "\n";
            return ExitUsage;
        }
        return WithCamera(deviceId, assignments, [&](IAravisCamera* camera) {
            return CameraCommands(camera, std::cout, std::cerr).Snapshot(path);
        });
    }
    return WithCamera(deviceId, assignments, [&](IAravisCamera* camera) {
        return StreamCommand(camera, std::cout, std::cerr).Run(streamOptions);
    });
}

}  // namespace
}  // namespace optivane::tool

int main(int argc, char** argv) {
    // Nothing is expected to throw past the commands; if it does, say so in
    // words rather than abort.
    try {
        return optivane::tool::Main(argc, argv);
    } catch (const std::exception& thrown) {
        std::cerr << "optivane: unexpected failure: " << thrown.what() << "\n";
    } catch (...) {
        std::cerr << "optivane: unexpected failure\n";
    }
    return optivane::tool::ExitFailure;
}
