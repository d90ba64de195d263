#include "video/PixelConversion.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "optivane/optivane.h"

namespace optivane {

namespace {

// The one step of the enclosing loop: the conversion itself.
class ConversionStep : public cv::ParallelLoopBody {
public:
    ConversionStep(const PixelConversion& conversion, const uint8_t* data, size_t size, int rows, int cols,
                   cv::Mat& out)
        : m_conversion(conversion), m_data(data), m_size(size), m_rows(rows), m_cols(cols), m_out(out) {}

    void operator()(const cv::Range&) const override {
        m_status = m_conversion.ToBgr(m_data, m_size, m_rows, m_cols, m_out);
    }
    HRESULT Status() const { return m_status; }

private:
    const PixelConversion& m_conversion;
    const uint8_t* m_data;
    size_t m_size;
    int m_rows;
    int m_cols;
    cv::Mat& m_out;
    mutable HRESULT m_status = E_FAIL;
};

}  // namespace

PixelConversion PixelConversion::For(uint32_t pixelFormat) {
    // OpenCV names a mosaic by its second row's first two colours, GenICam by
    // its first row's.
    switch (pixelFormat) {
    case PixelFormatBayerGR8:
        return {CV_8UC1, 1, cv::COLOR_BayerGB2BGR};
    case PixelFormatBayerRG8:
        return {CV_8UC1, 1, cv::COLOR_BayerBG2BGR};
    case PixelFormatBayerGB8:
        return {CV_8UC1, 1, cv::COLOR_BayerGR2BGR};
    case PixelFormatBayerBG8:
        return {CV_8UC1, 1, cv::COLOR_BayerRG2BGR};
    case PixelFormatRGB8:
        return {CV_8UC3, 3, cv::COLOR_RGB2BGR};
    case PixelFormatBGR8:
        return {CV_8UC3, 3, -1};
    case PixelFormatMono8:
        return {CV_8UC1, 1, cv::COLOR_GRAY2BGR};
    default:
        return {0, 0, -1};
    }
}

uint64_t PixelConversion::RawBytes(uint32_t width, uint32_t height) const {
    return static_cast<uint64_t>(width) * height * m_bytesPerPixel;
}

HRESULT PixelConversion::ToBgr(const uint8_t* data, size_t size, int rows, int cols, cv::Mat& out) const {
    if (!IsKnown()) return E_UNEXPECTED;
    if (rows <= 0 || cols <= 0 || !RawFits(data, size, static_cast<uint32_t>(cols), static_cast<uint32_t>(rows))) {
        return E_INVALIDARG;
    }
    const bool inPlace = out.rows == rows && out.cols == cols && out.type() == CV_8UC3;
    uint8_t* const target = inPlace ? out.data : nullptr;
    const cv::Mat source(rows, cols, m_sourceType, const_cast<uint8_t*>(data));
    if (m_colorCode < 0) {
        source.copyTo(out);
    } else {
        cv::cvtColor(source, out, m_colorCode);
    }
    return !inPlace || out.data == target ? S_OK : E_FAIL;
}

HRESULT PixelConversion::ToBgrOnThisThread(const uint8_t* data, size_t size, int rows, int cols, cv::Mat& out) const {
    const ConversionStep step(*this, data, size, rows, cols, out);
    // A range of one step is never handed to the pool.
    cv::parallel_for_(cv::Range(0, 1), step);
    return step.Status();
}

int FrameTransform::RotateCode() const {
    switch (m_rotation) {
    case 90:
        return cv::ROTATE_90_CLOCKWISE;
    case 180:
        return cv::ROTATE_180;
    case 270:
        return cv::ROTATE_90_COUNTERCLOCKWISE;
    default:
        return -1;
    }
}

int FrameTransform::FlipCode() const {
    if (m_flip == 1) return 0;
    if (m_flip == 2) return 1;
    return -1;
}

void FrameTransform::Apply(cv::Mat& picture, cv::Mat& out) const {
    // The last step writes into out, so it doubles as the final copy;
    // cv::rotate cannot work in place, and here it never has to.
    const int rotateCode = RotateCode();
    if (rotateCode >= 0) {
        if (m_flip != 0) cv::flip(picture, picture, FlipCode());
        cv::rotate(picture, out, rotateCode);
    } else if (m_flip != 0) {
        cv::flip(picture, out, FlipCode());
    } else {
        picture.copyTo(out);
    }
}

}  // namespace optivane
