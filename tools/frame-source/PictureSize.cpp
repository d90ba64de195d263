#include "PictureSize.h"

#include <opencv2/imgproc.hpp>

#include "host/mirvale/protocol/MirvaleProtocol.h"

namespace optivane::tool {

cv::Mat Sized(const cv::Mat& picture, uint32_t width, uint32_t height) {
    if (width == 0 || (picture.cols == static_cast<int>(width) && picture.rows == static_cast<int>(height))) {
        return picture.isContinuous() ? picture : picture.clone();
    }
    cv::Mat sized;
    cv::resize(picture, sized, cv::Size(static_cast<int>(width), static_cast<int>(height)));
    return sized;
}

bool FitsProtocol(const cv::Mat& picture) {
    return picture.cols <= static_cast<int>(mirvale::kMaxWidth) && picture.rows <= static_cast<int>(mirvale::kMaxHeight);
}

}  // namespace optivane::tool
