// Snapshots of an Aravis camera: one frame, from the live stream while a run
// is going or grabbed on its own otherwise, converted and turned as streamed
// frames are, written to a file or handed out as an image object.
//
// Threads: the calling host thread does all the work. It holds the
// streamer's stream lock for the whole capture, so a run never tears down
// the stream a snapshot is popping from.
//
// Ownership: the snapshot image handed out belongs to the caller; the code
// behind it (the Zendra module) stays loaded for the life of the process.
#pragma once

#include <arv.h>

#include <cstdint>

#include "aravis/AravisDevice.h"
#include "aravis/AravisStreamSettings.h"
#include "aravis/AravisStreamer.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"

namespace cv {
class Mat;
}

namespace optivane {

class AravisSnapshot {
public:
    AravisSnapshot(AravisDevice& device, AravisStreamer& streamer, const AravisStreamSettings& settings);

    // Takes one frame and writes it to path (the file type follows its
    // extension) when path is given, and hands it out as an image object
    // when frame is given. E_FAIL without a device, for a pixel format
    // without conversion, when no frame comes within the exposure plus ten
    // seconds, or when the image library fails; E_HANDLE without Zendra.
    HRESULT Capture(const char* path, IUnknown** frame);

private:
    HRESULT Render(ArvBuffer* buffer, uint32_t width, uint32_t height, uint32_t pixelFormat, int64_t frameTime,
                   const char* path, IUnknown** frame);
    HRESULT MakeImage(const cv::Mat& picture, int64_t frameTime, IUnknown** frame);

    AravisDevice& m_device;
    AravisStreamer& m_streamer;
    const AravisStreamSettings& m_settings;
    ModuleLoader m_zendra;
};

}  // namespace optivane
