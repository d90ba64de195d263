#include "FrameInput.h"

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "CounterInput.h"
#include "ImageInput.h"
#include "MovingInput.h"
#include "PictureSize.h"
#include "VideoInput.h"

namespace optivane::tool {

namespace {

constexpr uint32_t kPatternWidth = 1920;
constexpr uint32_t kPatternHeight = 1080;

}  // namespace

std::unique_ptr<FrameInput> FrameInput::Open(const SourceOptions& options, std::string* error) {
    const uint32_t width = options.width != 0 ? options.width : kPatternWidth;
    const uint32_t height = options.height != 0 ? options.height : kPatternHeight;
    switch (options.input) {
        case SourceOptions::Input::Counter: return std::make_unique<CounterInput>(width, height);
        case SourceOptions::Input::Moving: return std::make_unique<MovingInput>(width, height);
        case SourceOptions::Input::Images: {
            std::vector<cv::Mat> pictures;
            for (const std::string& file : options.files) {
                const cv::Mat picture = cv::imread(file, cv::IMREAD_COLOR);
                if (picture.empty()) {
                    *error = "--image: cannot read " + file + " as an image";
                    return nullptr;
                }
                // Every picture takes the first one's size unless --size says otherwise.
                const uint32_t w = options.width != 0 ? options.width : (pictures.empty() ? picture.cols : pictures[0].cols);
                const uint32_t h = options.height != 0 ? options.height : (pictures.empty() ? picture.rows : pictures[0].rows);
                pictures.push_back(Sized(picture, w, h));
                if (!FitsProtocol(pictures.back())) {
                    *error = "--image: " + file + " is larger than 4000x3000; give --size";
                    return nullptr;
                }
            }
            return std::make_unique<ImageInput>(std::move(pictures));
        }
        case SourceOptions::Input::Video: {
            const std::string& path = options.files[0];
            std::error_code ignored;
            // Local files only: never a URL or a device.
            if (path.find("://") != std::string::npos || !std::filesystem::is_regular_file(path, ignored)) {
                *error = "--video: " + path + " is not a local file";
                return nullptr;
            }
            cv::VideoCapture probe(path, cv::CAP_ANY);
            cv::Mat first;
            if (!probe.isOpened() || !probe.read(first) || first.empty() || first.type() != CV_8UC3) {
                *error = "--video: cannot read frames from " + path;
                return nullptr;
            }
            first = Sized(first, options.width, options.height);
            if (!FitsProtocol(first)) {
                *error = "--video: " + path + " is larger than 4000x3000; give --size";
                return nullptr;
            }
            auto video = std::make_unique<VideoInput>(path, first);
            if (!video->Open()) {
                *error = "--video: cannot open " + path;
                return nullptr;
            }
            return video;
        }
    }
    return nullptr;
}

}  // namespace optivane::tool
