// Conversion results checked against pixels worked out here by hand: uniform
// colour fields and linear colour planes sampled into Bayer mosaics (whose
// bilinear reconstruction is exact), channel orders, mid grey for formats
// without conversion, and where each pixel lands after flips and rotations.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "optivane/optivane.h"
#include "video/CVideoConvTask.h"
#include "video/FakeFrameImage.h"
#include "video/FakeRawSample.h"

namespace optivane::test {
namespace {

constexpr uint32_t PixelFormatMono12 = 0x01100005;
constexpr uint32_t PixelFormatBayerRG12 = 0x01100011;
constexpr uint32_t PixelFormatBayerRG12Packed = 0x010C002B;
constexpr uint32_t PixelFormatMono10Packed = 0x010C0004;
constexpr uint8_t kStale = 7;  // what an image buffer holds before conversion

FrameFormat Format(uint32_t width, uint32_t height, uint32_t aspectX = 1, uint32_t aspectY = 1) {
    return FrameFormat{0, width, height, aspectX, aspectY, 30, 1};
}

using Plane = std::function<uint8_t(uint32_t row, uint32_t column)>;

enum class BayerOrder { RG, GB };

// The mosaic a sensor of that order records of the three colour planes.
std::vector<uint8_t> Mosaic(BayerOrder order, uint32_t width, uint32_t height, const Plane& red, const Plane& green,
                            const Plane& blue) {
    std::vector<uint8_t> mosaic(static_cast<size_t>(width) * height);
    for (uint32_t r = 0; r < height; ++r) {
        for (uint32_t c = 0; c < width; ++c) {
            const bool evenRow = r % 2 == 0;
            const bool evenColumn = c % 2 == 0;
            const Plane* plane;
            if (order == BayerOrder::RG) {
                // R G / G B
                plane = evenRow ? (evenColumn ? &red : &green) : (evenColumn ? &green : &blue);
            } else {
                // G B / R G
                plane = evenRow ? (evenColumn ? &green : &blue) : (evenColumn ? &red : &green);
            }
            mosaic[static_cast<size_t>(r) * width + c] = (*plane)(r, c);
        }
    }
    return mosaic;
}

// One task with a raw sample and an image handed over as the deliverer does
// (a reference and a hold each). The fakes outlive the task.
struct BufferBytes {
    size_t value;
};

struct Job {
    Job(std::vector<uint8_t> data, const FrameFormat& format, BufferBytes buffer, uint32_t pixelFormat,
        uint32_t rotation = 0, uint32_t flip = 0)
        : raw(std::move(data)), image(format, buffer.value, kStale) {
        raw.AddRef();
        raw.Hold();
        task.SetRawSample(&raw);
        image.AddRef();
        image.Hold();
        task.SetImage(&image);
        task.SetPixelFormat(pixelFormat);
        task.SetRotation(rotation);
        task.SetFlip(flip);
    }
    Job(std::vector<uint8_t> data, const FrameFormat& format, uint32_t pixelFormat, uint32_t rotation = 0,
        uint32_t flip = 0)
        : Job(std::move(data), format, BufferBytes{static_cast<size_t>(format.Width) * format.Height * 3}, pixelFormat,
              rotation, flip) {}

    // Through the worker thread, as the deliverer runs it.
    void RunOnWorker() {
        task.Trigger();
        task.WaitDone();
    }

    bool BufferHoldsOnly(uint8_t value) const {
        for (uint8_t byte : image.buffer) {
            if (byte != value) return false;
        }
        return true;
    }

    FakeRawSample raw;
    FakeFrameImage image;
    CVideoConvTask task;
};

void ExpectPixel(const FakeFrameImage& image, uint32_t row, uint32_t column, uint8_t blue, uint8_t green, uint8_t red) {
    const uint8_t* pixel = image.Pixel(row, column);
    EXPECT_EQ(pixel[0], blue) << "blue at " << row << "," << column;
    EXPECT_EQ(pixel[1], green) << "green at " << row << "," << column;
    EXPECT_EQ(pixel[2], red) << "red at " << row << "," << column;
}

// Pixels one or more away from the border, where demosaicing sees all
// neighbours.
void ExpectInterior(const FakeFrameImage& image, uint32_t width, uint32_t height, const Plane& red, const Plane& green,
                    const Plane& blue) {
    for (uint32_t r = 2; r + 2 < height; ++r) {
        for (uint32_t c = 2; c + 2 < width; ++c) ExpectPixel(image, r, c, blue(r, c), green(r, c), red(r, c));
    }
}

// --- colour conversions -----------------------------------------------------

TEST(ConvTaskColour, UniformBayerFieldsGiveTheirColourInBothOrders) {
    const Plane red = [](uint32_t, uint32_t) { return uint8_t{200}; };
    const Plane green = [](uint32_t, uint32_t) { return uint8_t{100}; };
    const Plane blue = [](uint32_t, uint32_t) { return uint8_t{50}; };
    for (auto [order, pixelFormat] : {std::pair{BayerOrder::RG, PixelFormatBayerRG8},
                                      std::pair{BayerOrder::GB, PixelFormatBayerGB8}}) {
        Job job(Mosaic(order, 16, 12, red, green, blue), Format(16, 12), pixelFormat);
        ASSERT_EQ(job.task.Convert(), S_OK);
        ExpectInterior(job.image, 16, 12, red, green, blue);
    }
}

TEST(ConvTaskColour, LinearPlanesSurviveDemosaicingExactlyInBothOrders) {
    // Every plane changes along rows and columns differently, so a mosaic
    // read with the wrong order or shifted by a pixel gives other values.
    const Plane red = [](uint32_t r, uint32_t c) { return static_cast<uint8_t>(40 + 3 * r + 5 * c); };
    const Plane green = [](uint32_t r, uint32_t c) { return static_cast<uint8_t>(100 + 7 * r + 1 * c); };
    const Plane blue = [](uint32_t r, uint32_t c) { return static_cast<uint8_t>(250 - 4 * r - 9 * c); };
    for (auto [order, pixelFormat] : {std::pair{BayerOrder::RG, PixelFormatBayerRG8},
                                      std::pair{BayerOrder::GB, PixelFormatBayerGB8}}) {
        Job job(Mosaic(order, 12, 10, red, green, blue), Format(12, 10), pixelFormat);
        ASSERT_EQ(job.task.Convert(), S_OK);
        ExpectInterior(job.image, 12, 10, red, green, blue);
        // One site worked through by hand: (4,5) of an RG mosaic is a green
        // site in a red row; red is the mean of its left and right
        // neighbours (40+12+20=72, 40+12+30=82), blue of those above and
        // below (250-12-45=193, 250-20-45=185).
        if (order == BayerOrder::RG) ExpectPixel(job.image, 4, 5, 189, 133, 77);
    }
}

TEST(ConvTaskColour, Mono8GivesEqualChannels) {
    std::vector<uint8_t> grey(8 * 4);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<uint8_t>(i * 8);
    Job job(grey, Format(8, 4), PixelFormatMono8);
    ASSERT_EQ(job.task.Convert(), S_OK);
    for (uint32_t r = 0; r < 4; ++r) {
        for (uint32_t c = 0; c < 8; ++c) {
            const uint8_t value = grey[r * 8 + c];
            ExpectPixel(job.image, r, c, value, value, value);
        }
    }
}

TEST(ConvTaskColour, Rgb8IsSwappedAndBgr8Copied) {
    std::vector<uint8_t> pixels(5 * 3 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(3 + i * 5);

    Job rgb(pixels, Format(5, 3), PixelFormatRGB8);
    ASSERT_EQ(rgb.task.Convert(), S_OK);
    for (size_t p = 0; p < 15; ++p) {
        EXPECT_EQ(rgb.image.buffer[p * 3 + 0], pixels[p * 3 + 2]);
        EXPECT_EQ(rgb.image.buffer[p * 3 + 1], pixels[p * 3 + 1]);
        EXPECT_EQ(rgb.image.buffer[p * 3 + 2], pixels[p * 3 + 0]);
    }

    Job bgr(pixels, Format(5, 3), PixelFormatBGR8);
    ASSERT_EQ(bgr.task.Convert(), S_OK);
    EXPECT_EQ(bgr.image.buffer, pixels);
}

TEST(ConvTaskColour, FormatsWithoutConversionFillTheWholeBufferWithMidGrey) {
    // The buffer is larger than the picture: all of it is grey.
    for (uint32_t pixelFormat : {PixelFormatMono12, PixelFormatBayerRG12, PixelFormatBayerRG12Packed,
                                 PixelFormatMono10Packed}) {
        Job plain(std::vector<uint8_t>(8 * 6 * 2, 0xFF), Format(8, 6), BufferBytes{8 * 6 * 3 + 50}, pixelFormat);
        EXPECT_EQ(plain.task.Convert(), S_OK);
        EXPECT_TRUE(plain.BufferHoldsOnly(128)) << std::hex << pixelFormat;

        Job turned(std::vector<uint8_t>(8 * 6 * 2, 0xFF), Format(8, 6), BufferBytes{8 * 6 * 3 + 50}, pixelFormat, 90, 1);
        EXPECT_EQ(turned.task.ConvertTransformed(), S_OK);
        EXPECT_TRUE(turned.BufferHoldsOnly(128)) << std::hex << pixelFormat;
    }
}

// --- refused frames and failing calls ----------------------------------------

TEST(ConvTaskRefusal, ShortRawFrameIsRefusedAndTheImageTurnsGrey) {
    // The raw data is exactly as long as given: AddressSanitizer reports any
    // read beyond it.
    struct Case {
        uint32_t pixelFormat;
        size_t bytes;
    };
    for (const Case& c : {Case{PixelFormatBayerRG8, 10 * 8 - 1}, Case{PixelFormatBayerGB8, 10}, Case{PixelFormatMono8, 0},
                          Case{PixelFormatRGB8, 10 * 8 * 3 - 1}, Case{PixelFormatBGR8, 10 * 8}}) {
        Job plain(std::vector<uint8_t>(c.bytes, 0xEE), Format(10, 8), c.pixelFormat);
        EXPECT_EQ(plain.task.Convert(), E_INVALIDARG) << std::hex << c.pixelFormat;
        EXPECT_TRUE(plain.BufferHoldsOnly(128));

        Job turned(std::vector<uint8_t>(c.bytes, 0xEE), Format(10, 8), c.pixelFormat, 270, 2);
        EXPECT_EQ(turned.task.ConvertTransformed(), E_INVALIDARG) << std::hex << c.pixelFormat;
        EXPECT_TRUE(turned.BufferHoldsOnly(128));
    }
}

TEST(ConvTaskRefusal, RawFrameOfExactLengthIsAccepted) {
    Job job(std::vector<uint8_t>(10 * 8 * 3, 0x20), Format(10, 8), PixelFormatBGR8);
    EXPECT_EQ(job.task.Convert(), S_OK);
    EXPECT_TRUE(job.BufferHoldsOnly(0x20));
}

TEST(ConvTaskRefusal, FailingSampleOrImageCallEndsTheConversionWithItsStatus) {
    const std::vector<uint8_t> mono(6 * 4, 90);
    {
        Job job(mono, Format(6, 4), PixelFormatMono8);
        job.raw.failGetData = true;
        EXPECT_EQ(job.task.Convert(), E_FAIL);
        EXPECT_TRUE(job.BufferHoldsOnly(kStale));
    }
    {
        Job job(mono, Format(6, 4), PixelFormatMono8, 90);
        job.image.failGetFormat = true;
        EXPECT_EQ(job.task.ConvertTransformed(), E_FAIL);
        EXPECT_TRUE(job.BufferHoldsOnly(kStale));
    }
    {
        Job job(mono, Format(6, 4), PixelFormatMono8, 90);
        job.image.failSetFormat = true;
        EXPECT_EQ(job.task.ConvertTransformed(), E_INVALIDARG);
        EXPECT_TRUE(job.BufferHoldsOnly(kStale));
    }
    {
        Job job(mono, Format(6, 4), PixelFormatMono8);
        job.image.failGetBuffer = true;
        EXPECT_EQ(job.task.Convert(), E_OUTOFMEMORY);
    }
}

TEST(ConvTaskRefusal, ImageBufferSmallerThanItsFormatIsNotWritten) {
    Job job(std::vector<uint8_t>(6 * 4, 90), Format(6, 4), BufferBytes{6 * 4 * 3 - 1}, PixelFormatMono8);
    EXPECT_EQ(job.task.Convert(), E_FAIL);
    EXPECT_TRUE(job.BufferHoldsOnly(kStale));
}

TEST(ConvTaskRefusal, UnsupportedRotationTurnsTheFormatAndGivesGrey) {
    Job job(std::vector<uint8_t>(6 * 4, 90), Format(6, 4, 3, 2), PixelFormatMono8, 45);
    EXPECT_EQ(job.task.ConvertTransformed(), E_INVALIDARG);
    EXPECT_EQ(job.image.Format().Width, 4u);
    EXPECT_EQ(job.image.Format().Height, 6u);
    EXPECT_TRUE(job.BufferHoldsOnly(128));
}

// --- orientation ----------------------------------------------------------

// Every source pixel is unique: blue carries the row and column.
std::vector<uint8_t> LabelledBgr(uint32_t width, uint32_t height) {
    std::vector<uint8_t> pixels;
    for (uint32_t r = 0; r < height; ++r) {
        for (uint32_t c = 0; c < width; ++c) {
            pixels.push_back(static_cast<uint8_t>(r * 16 + c));
            pixels.push_back(static_cast<uint8_t>(100 + r));
            pixels.push_back(static_cast<uint8_t>(200 + c));
        }
    }
    return pixels;
}

TEST(ConvTaskOrientation, MarkedTopLeftCornerLandsInTheRightCorner) {
    // 4 x 2 picture, the top-left pixel white, the rest black.
    std::vector<uint8_t> source(4 * 2 * 3, 0);
    source[0] = source[1] = source[2] = 255;
    struct Case {
        uint32_t rotation;
        uint32_t flip;
        uint32_t row;
        uint32_t column;
    };
    // Flip 1 turns around the horizontal axis, 2 around the vertical, other
    // non-zero values around both. Flip before rotation: flip 1 then 90
    // moves the corner to the bottom-left first and then to the top-left.
    for (const Case& c : {Case{0, 1, 1, 0}, Case{0, 2, 0, 3}, Case{0, 3, 1, 3}, Case{0, 9, 1, 3}, Case{90, 0, 0, 1},
                          Case{180, 0, 1, 3}, Case{270, 0, 3, 0}, Case{90, 1, 0, 0}, Case{90, 2, 3, 1},
                          Case{90, 3, 3, 0}, Case{180, 1, 0, 3}, Case{180, 3, 0, 0}, Case{270, 1, 3, 1},
                          Case{270, 2, 0, 0}}) {
        Job job(source, Format(4, 2), PixelFormatBGR8, c.rotation, c.flip);
        job.RunOnWorker();
        const FrameFormat& format = job.image.Format();
        const bool turned = c.rotation == 90 || c.rotation == 270;
        ASSERT_EQ(format.Width, turned ? 2u : 4u);
        ASSERT_EQ(format.Height, turned ? 4u : 2u);
        for (uint32_t r = 0; r < format.Height; ++r) {
            for (uint32_t col = 0; col < format.Width; ++col) {
                const uint8_t expected = (r == c.row && col == c.column) ? 255 : 0;
                EXPECT_EQ(job.image.Pixel(r, col)[0], expected)
                    << "rotation " << c.rotation << " flip " << c.flip << " at " << r << "," << col;
            }
        }
    }
}

TEST(ConvTaskOrientation, BayerFrameRotatedByNinetyReportsTurnedFormat) {
    const Plane red = [](uint32_t, uint32_t) { return uint8_t{200}; };
    const Plane green = [](uint32_t, uint32_t) { return uint8_t{100}; };
    const Plane blue = [](uint32_t, uint32_t) { return uint8_t{50}; };
    Job job(Mosaic(BayerOrder::RG, 640, 480, red, green, blue), Format(640, 480, 4, 3), PixelFormatBayerRG8, 90);
    job.RunOnWorker();
    const FrameFormat& format = job.image.Format();
    EXPECT_EQ(format.Width, 480u);
    EXPECT_EQ(format.Height, 640u);
    EXPECT_EQ(format.AspectX, 3u);
    EXPECT_EQ(format.AspectY, 4u);
    EXPECT_EQ(format.FrameRateNumerator, 30u);
    ExpectInterior(job.image, 480, 640, red, green, blue);
}

TEST(ConvTaskOrientation, RotationByHalfATurnKeepsTheFormat) {
    const std::vector<uint8_t> source = LabelledBgr(6, 4);
    Job job(source, Format(6, 4, 3, 2), PixelFormatBGR8, 180);
    job.RunOnWorker();
    EXPECT_EQ(job.image.setFormatCalls, 0);
    EXPECT_EQ(job.image.Format().Width, 6u);
    // The last source pixel comes first.
    ExpectPixel(job.image, 0, 0, source[source.size() - 3], source[source.size() - 2], source[source.size() - 1]);
}

TEST(ConvTaskOrientation, OneTaskFollowsChangingFrameSizes) {
    // A larger frame after a smaller one, then the smaller again, through the
    // same task: its work picture grows and is reused without mixing rows.
    std::vector<std::unique_ptr<FakeRawSample>> raws;
    std::vector<std::unique_ptr<FakeFrameImage>> images;
    CVideoConvTask task;
    task.SetPixelFormat(PixelFormatBGR8);
    task.SetFlip(2);
    for (uint32_t width : {6u, 40u, 6u}) {
        const std::vector<uint8_t> source = LabelledBgr(width, 5);
        raws.push_back(std::make_unique<FakeRawSample>(source));
        images.push_back(std::make_unique<FakeFrameImage>(Format(width, 5), width * 5 * 3, kStale));
        raws.back()->AddRef();
        raws.back()->Hold();
        task.SetRawSample(raws.back().get());
        images.back()->AddRef();
        images.back()->Hold();
        task.SetImage(images.back().get());
        task.Trigger();
        task.WaitDone();
        IFrameImage* taken = task.TakeImage();
        ASSERT_EQ(taken, images.back().get());
        // Mirrored: the last pixel of each row comes first.
        for (uint32_t r = 0; r < 5; ++r) {
            const uint8_t* last = &source[(r * width + width - 1) * 3];
            ExpectPixel(*images.back(), r, 0, last[0], last[1], last[2]);
        }
        taken->Done();
        taken->Release();
    }
}

// --- the job itself --------------------------------------------------------

TEST(ConvTaskJob, RunHandsBackTheRawSampleAndKeepsTheImageForDelivery) {
    Job job(std::vector<uint8_t>(4 * 4, 60), Format(4, 4), PixelFormatMono8);
    job.RunOnWorker();
    EXPECT_EQ(job.raw.doneCalls.load(), 1);
    EXPECT_EQ(job.raw.holds.load(), 0);
    EXPECT_EQ(job.raw.references.load(), 1);  // only the test's own
    EXPECT_EQ(job.image.holds.load(), 1);
    EXPECT_EQ(job.image.references.load(), 2);

    IFrameImage* taken = job.task.TakeImage();
    EXPECT_EQ(taken, &job.image);
    EXPECT_EQ(job.task.TakeImage(), nullptr);
    EXPECT_TRUE(job.BufferHoldsOnly(60));
    taken->Done();
    taken->Release();
}

TEST(ConvTaskJob, RefusedFrameStillHandsBackTheRawSample) {
    Job job(std::vector<uint8_t>(3, 60), Format(4, 4), PixelFormatMono8, 90, 1);
    job.RunOnWorker();
    EXPECT_EQ(job.raw.doneCalls.load(), 1);
    EXPECT_EQ(job.raw.references.load(), 1);
    EXPECT_TRUE(job.BufferHoldsOnly(128));
}

TEST(ConvTaskJob, DeletingATaskReleasesWhatItHoldsWithoutDone) {
    FakeRawSample raw(std::vector<uint8_t>(4, 1));
    FakeFrameImage image(Format(2, 2), 12, kStale);
    {
        CVideoConvTask task;
        raw.AddRef();
        raw.Hold();
        task.SetRawSample(&raw);
        image.AddRef();
        image.Hold();
        task.SetImage(&image);
    }
    EXPECT_EQ(raw.references.load(), 1);
    EXPECT_EQ(image.references.load(), 1);
    EXPECT_EQ(raw.doneCalls.load(), 0);
}

TEST(ConvTaskJob, ConversionWithoutSampleOrImageIsRefused) {
    CVideoConvTask task;
    EXPECT_EQ(task.Convert(), E_UNEXPECTED);
    EXPECT_EQ(task.ConvertTransformed(), E_UNEXPECTED);
    task.Trigger();
    task.WaitDone();
    EXPECT_EQ(task.TakeImage(), nullptr);
}

}  // namespace
}  // namespace optivane::test
