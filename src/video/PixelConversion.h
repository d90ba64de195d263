// How a camera's raw pixels become a 24-bit blue-green-red picture, top row
// first, and how that picture is flipped and rotated. The conversion tasks
// and every snapshot use this one mapping.
#pragma once

#include <cstddef>
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "optivane/com.h"

namespace optivane {

class PixelConversion {
public:
    // The conversion of a GenICam pixel format code; IsKnown() is false for
    // formats without one (only Mono8, the four 8-bit Bayer mosaics, RGB8 and BGR8 have one).
    static PixelConversion For(uint32_t pixelFormat);
    static bool IsConvertible(uint32_t pixelFormat) { return For(pixelFormat).IsKnown(); }

    bool IsKnown() const { return m_bytesPerPixel != 0; }
    // Bytes a raw frame of width x height pixels needs.
    uint64_t RawBytes(uint32_t width, uint32_t height) const;
    // Whether data of that size holds a whole raw frame of width x height.
    bool RawFits(const uint8_t* data, size_t size, uint32_t width, uint32_t height) const {
        return data != nullptr && width != 0 && height != 0 && RawBytes(width, height) <= size;
    }
    // True for a colour conversion (which OpenCV spreads over its pool),
    // false for a plain copy.
    bool UsesThreadPool() const { return m_colorCode >= 0; }

    // Converts rows x cols raw pixels into out. When out already is a
    // picture of that size (rows x cols, 8-bit, three channels) it is written
    // in place, so a caller-owned buffer is never replaced; otherwise out is
    // allocated. E_INVALIDARG when data holds fewer bytes than the frame
    // needs (nothing is read), E_UNEXPECTED for an unknown format, E_FAIL
    // when the picture could not be written in place. OpenCV's exceptions
    // pass through.
    HRESULT ToBgr(const uint8_t* data, size_t size, int rows, int cols, cv::Mat& out) const;
    // ToBgr kept on the calling thread, off OpenCV's pool, whatever number
    // of threads the host gave OpenCV: OpenCV runs a parallel loop that
    // starts inside another one on the thread that started it, so the
    // conversion runs inside a loop of one step.
    HRESULT ToBgrOnThisThread(const uint8_t* data, size_t size, int rows, int cols, cv::Mat& out) const;

private:
    PixelConversion(int sourceType, uint32_t bytesPerPixel, int colorCode)
        : m_sourceType(sourceType), m_bytesPerPixel(bytesPerPixel), m_colorCode(colorCode) {}

    int m_sourceType;          // OpenCV type of the raw matrix
    uint32_t m_bytesPerPixel;  // raw bytes per pixel; 0 for an unknown format
    int m_colorCode;           // cv::cvtColor code, or -1 for a plain copy
};

// A flip and a clockwise rotation, applied in that order. Flip 1 turns the
// picture around its horizontal axis, 2 around its vertical axis, any other
// non-zero value around both. Rotations other than 0, 90, 180 and 270 have
// no rotation code.
class FrameTransform {
public:
    FrameTransform(uint32_t rotation, uint32_t flip) : m_rotation(rotation), m_flip(flip) {}

    bool IsIdentity() const { return m_rotation == 0 && m_flip == 0; }
    bool HasRotationCode() const { return RotateCode() >= 0; }
    // A quarter turn either way exchanges width and height.
    bool SwapsSides() const { return m_rotation != 0 && m_rotation != 180; }

    // Flips picture (in place) and rotates it into out, or flips or copies it
    // into out when no rotation applies; a rotation without code is left
    // out. out keeps its buffer when it already has the result's shape.
    void Apply(cv::Mat& picture, cv::Mat& out) const;

private:
    int RotateCode() const;
    int FlipCode() const;

    uint32_t m_rotation;
    uint32_t m_flip;
};

}  // namespace optivane
