// The commands that talk to one opened camera and end at once: info, get,
// set and snapshot. Each returns an exit status and explains failures in
// words on the error stream.
//
// Threads: the caller's only. The camera is borrowed from a CameraSession.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "PixelFormatNames.h"
#include "SettingAssignment.h"
#include "optivane/optivane.h"

namespace optivane::tool {

class CameraCommands {
public:
    CameraCommands(IAravisCamera* camera, std::ostream& out, std::ostream& err)
        : m_camera(camera), m_out(out), m_err(err) {}

    // Before a camera is opened: false, with the reason in words, for a
    // snapshot path whose extension names no picture type or whose folder
    // does not exist.
    static bool CheckSnapshotPath(const std::string& path, std::string* error);

    int Info();
    // All readable settings when name is empty.
    int Get(const std::string& name);
    int Set(const std::vector<SettingAssignment>& assignments);
    int Snapshot(const std::string& path);

    // The camera's pixel-format list; its status when the camera gives none.
    HRESULT ReadPixelFormats(std::vector<CameraPixelFormat>* list);
    // Names of the camera's formats and of those the module converts.
    PixelFormatNames Formats();

private:
    // The size and rate of one frame grabbed from a virtual camera's source.
    std::string DescribeSource();
    IAravisCamera* const m_camera;
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace optivane::tool
