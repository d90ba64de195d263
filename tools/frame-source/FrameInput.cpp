#include "FrameInput.h"

#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace optivane::tool {

namespace {

constexpr uint32_t kPatternWidth = 1920;
constexpr uint32_t kPatternHeight = 1080;

// Byte i of frame n is (n + i) mod 256: one ramp 255 bytes longer than a
// picture serves every frame by its offset, so any rate costs nothing.
class CounterInput final : public FrameInput {
public:
    CounterInput(uint32_t width, uint32_t height) : m_width(width), m_height(height) {
        m_ramp.resize(static_cast<size_t>(width) * height * 3 + 255);
        for (size_t i = 0; i < m_ramp.size(); ++i) m_ramp[i] = static_cast<uint8_t>(i);
    }
    uint32_t Width() const override { return m_width; }
    uint32_t Height() const override { return m_height; }
    const uint8_t* Picture(uint64_t n) override { return m_ramp.data() + n % 256; }

private:
    uint32_t m_width, m_height;
    std::vector<uint8_t> m_ramp;
};

// A colour gradient with a white bar moving across, for people to look at.
class MovingInput final : public FrameInput {
public:
    MovingInput(uint32_t width, uint32_t height) : m_picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3) {}
    uint32_t Width() const override { return static_cast<uint32_t>(m_picture.cols); }
    uint32_t Height() const override { return static_cast<uint32_t>(m_picture.rows); }
    const uint8_t* Picture(uint64_t n) override {
        const int bar = static_cast<int>((n * 8) % static_cast<uint64_t>(m_picture.cols));
        for (int y = 0; y < m_picture.rows; ++y) {
            cv::Vec3b* row = m_picture.ptr<cv::Vec3b>(y);
            for (int x = 0; x < m_picture.cols; ++x) {
                const bool onBar = x >= bar && x < bar + 16;
                row[x] = onBar ? cv::Vec3b(255, 255, 255)
                               : cv::Vec3b(static_cast<uint8_t>(x * 255 / m_picture.cols),
                                           static_cast<uint8_t>(y * 255 / m_picture.rows), static_cast<uint8_t>(n));
            }
        }
        return m_picture.data;
    }

private:
    cv::Mat m_picture;
};

cv::Mat Sized(const cv::Mat& picture, uint32_t width, uint32_t height) {
    if (width == 0 || (picture.cols == static_cast<int>(width) && picture.rows == static_cast<int>(height))) {
        return picture.isContinuous() ? picture : picture.clone();
    }
    cv::Mat sized;
    cv::resize(picture, sized, cv::Size(static_cast<int>(width), static_cast<int>(height)));
    return sized;
}

// Image files, each read once, shown in turn.
class ImageInput final : public FrameInput {
public:
    explicit ImageInput(std::vector<cv::Mat> pictures) : m_pictures(std::move(pictures)) {}
    uint32_t Width() const override { return static_cast<uint32_t>(m_pictures[0].cols); }
    uint32_t Height() const override { return static_cast<uint32_t>(m_pictures[0].rows); }
    const uint8_t* Picture(uint64_t n) override { return m_pictures[n % m_pictures.size()].data; }

private:
    std::vector<cv::Mat> m_pictures;
};

// A local video file, from its start again at its end.
class VideoInput final : public FrameInput {
public:
    VideoInput(std::string path, uint32_t width, uint32_t height, cv::Mat first)
        : m_path(std::move(path)), m_width(width), m_height(height), m_picture(std::move(first)) {}
    bool Open() { return m_video.open(m_path, cv::CAP_ANY); }
    uint32_t Width() const override { return static_cast<uint32_t>(m_picture.cols); }
    uint32_t Height() const override { return static_cast<uint32_t>(m_picture.rows); }
    const uint8_t* Picture(uint64_t) override {
        cv::Mat frame;
        if (!m_video.read(frame) || frame.empty()) {
            if (!m_video.open(m_path, cv::CAP_ANY) || !m_video.read(frame) || frame.empty()) return nullptr;
        }
        if (frame.type() != CV_8UC3) return nullptr;
        m_picture = Sized(frame, Width(), Height());
        return m_picture.data;
    }

private:
    std::string m_path;
    uint32_t m_width, m_height;
    cv::Mat m_picture;
    cv::VideoCapture m_video;
};

bool Fits(const cv::Mat& picture) { return picture.cols <= 4000 && picture.rows <= 3000; }

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
                if (!Fits(pictures.back())) {
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
            if (!Fits(first)) {
                *error = "--video: " + path + " is larger than 4000x3000; give --size";
                return nullptr;
            }
            auto video = std::make_unique<VideoInput>(path, options.width, options.height, first);
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
