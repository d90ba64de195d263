// Conversion results against pixels worked out here, never by the same image
// library call; refused frames, failing calls, and what a task hands back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "optivane/host_framework.h"
#include "optivane/optivane.h"
#include "video/CVideoConvTask.h"

namespace optivane::test {
namespace {

constexpr uint8_t kStale = 7;  // an image buffer before conversion

// What is wrong with a fake: bad input (kNullData: a raw sample of some size
// but no data), then the failing call; kSmallBuffer: an image buffer one byte short.
enum Fault { kNone, kNullData, kGetData, kGetFormat, kSetFormat, kGetBuffer, kSmallBuffer };

// In-memory samples and images, owned by the test, whose counts show what the
// code did. A raw sample holds exactly its bytes: a read past them leaves the block.
template <typename Interface>
struct FakeCounted : Interface {
    HRESULT QueryInterface(const IID&, void** object) override { return *object = nullptr, E_NOINTERFACE; }
    ULONG AddRef() override { return static_cast<ULONG>(++references); }
    ULONG Release() override { return static_cast<ULONG>(--references); }
    HRESULT GetHoldCount(uint32_t* holders) override { return *holders = static_cast<uint32_t>(holds), S_OK; }
    HRESULT Hold() override { return ++holds, S_OK; }
    HRESULT Done() override {
        if (holds.load() == 0) return E_UNEXPECTED;
        return --holds, ++doneCalls, S_OK;
    }
    std::atomic<int> references{1}, holds{0}, doneCalls{0};
    Fault fault = kNone;
};

struct FakeRawSample : FakeCounted<IRawSample> {
    explicit FakeRawSample(std::vector<uint8_t> data) : bytes(std::move(data)) {}
    // The conversion only reads: the filling slots are not offered.
    HRESULT Prepare(uint32_t) override { return E_UNEXPECTED; }
    HRESULT GetBuffer(uint8_t**, uint32_t*) override { return E_UNEXPECTED; }
    HRESULT SetData(const uint8_t*, uint32_t) override { return E_UNEXPECTED; }
    HRESULT Reset() override { return E_UNEXPECTED; }
    HRESULT GetData(uint8_t** data, uint32_t* size) override {
        if (fault == kGetData) return E_FAIL;
        *data = fault == kNullData ? nullptr : bytes.data();
        return *size = static_cast<uint32_t>(bytes.size()), S_OK;
    }
    std::vector<uint8_t> bytes;
};

struct FakeFrameImage : FakeCounted<IFrameImage> {
    FakeFrameImage(const FrameFormat& format, size_t bytes) : buffer(bytes, kStale), format(format) {}
    HRESULT SetFormat(const FrameFormat* to) override {
        return fault == kSetFormat ? E_INVALIDARG : (format = *to, S_OK);
    }
    HRESULT GetFormat(FrameFormat* now) override { return fault == kGetFormat ? E_FAIL : (*now = format, S_OK); }
    HRESULT SetTime(const FrameTime*, const FrameTime*) override { return E_FAIL; }
    HRESULT GetTime(FrameTime*, FrameTime*) override { return E_FAIL; }
    HRESULT GetStride(uint32_t* stride) override { return *stride = format.Width * 3, S_OK; }
    HRESULT GetBuffer(uint8_t** data, uint32_t* size) override {
        if (fault == kGetBuffer) return E_OUTOFMEMORY;
        *data = buffer.data();
        return *size = static_cast<uint32_t>(buffer.size()), S_OK;
    }
    std::vector<uint8_t> buffer;
    FrameFormat format;
};

FrameFormat Format(uint32_t width, uint32_t height, uint32_t aspectX = 1, uint32_t aspectY = 1) {
    return FrameFormat{0, width, height, aspectX, aspectY, 30, 1};
}

bool AllBytes(const std::vector<uint8_t>& bytes, uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [&](uint8_t b) { return b == value; });
}

// As the deliverer hands them over: a reference and a hold each.
void HandOver(CVideoConvTask& task, FakeRawSample& raw, FakeFrameImage& image, uint32_t pixelFormat,
              uint32_t rotation, uint32_t flip) {
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

// A task holding a raw sample and an image of the format's size plus bufferSlack.
struct Job {
    Job(std::vector<uint8_t> data, const FrameFormat& format, uint32_t pixelFormat, uint32_t rotation = 0,
        uint32_t flip = 0, int bufferSlack = 0)
        : raw(std::move(data)), image(format, size_t{format.Width} * format.Height * 3 + bufferSlack) {
        HandOver(task, raw, image, pixelFormat, rotation, flip);
    }
    HRESULT Convert(bool transformed) { return transformed ? task.ConvertTransformed() : task.Convert(); }

    FakeRawSample raw;
    FakeFrameImage image;
    CVideoConvTask task;
};

void ExpectPixel(const FakeFrameImage& image, uint32_t row, uint32_t column, int blue, int green, int red) {
    const uint8_t* pixel = &image.buffer[(size_t{row} * image.format.Width + column) * 3];
    EXPECT_EQ(std::vector<int>(pixel, pixel + 3), (std::vector<int>{blue, green, red})) << row << "," << column;
}

// A colour plane: base + rowStep * row + columnStep * column.
struct Plane {
    int base, rowStep, columnStep;
    uint8_t At(uint32_t r, uint32_t c) const {
        return static_cast<uint8_t>(base + rowStep * int(r) + columnStep * int(c));
    }
};

TEST(ConvTaskColour, EveryFormatComesOutExactFromLinearPlanesInBothPaths) {
    // Linear planes: a mosaic read in the wrong order or shifted, or channels
    // swapped, give other values. Mono8 records the green plane alone.
    const Plane planes[3] = {{40, 3, 5}, {100, 7, 1}, {250, -4, -9}};  // red, green, blue
    constexpr uint32_t kW = 12, kH = 10;
    // What each mosaic records in its 2 x 2 cell, as planes: BayerRG is R G / G B.
    const std::map<uint32_t, std::array<int, 4>> mosaics{{PixelFormatBayerRG8, {0, 1, 1, 2}},
                                                         {PixelFormatBayerGB8, {1, 2, 0, 1}},
                                                         {PixelFormatBayerGR8, {1, 0, 2, 1}},
                                                         {PixelFormatBayerBG8, {2, 1, 1, 0}}};
    for (uint32_t pixelFormat : {PixelFormatBayerRG8, PixelFormatBayerGB8, PixelFormatBayerGR8, PixelFormatBayerBG8,
                                 PixelFormatRGB8, PixelFormatBGR8, PixelFormatMono8}) {
        const auto mosaic = mosaics.find(pixelFormat);
        const bool bayer = mosaic != mosaics.end();
        const bool mono = pixelFormat == PixelFormatMono8;
        std::vector<uint8_t> raw;
        for (uint32_t r = 0; r < kH; ++r) {
            for (uint32_t c = 0; c < kW; ++c) {
                const auto at = [&](int plane) { return planes[plane].At(r, c); };
                if (bayer) {
                    raw.push_back(at(mosaic->second[r % 2 * 2 + c % 2]));
                } else if (mono) {
                    raw.push_back(at(1));
                } else {
                    const int first = pixelFormat == PixelFormatRGB8 ? 0 : 2;
                    raw.insert(raw.end(), {at(first), at(1), at(2 - first)});
                }
            }
        }
        // 180 degrees goes through the work picture and keeps the format;
        // on the worker's own thread or OpenCV's pool alike.
        for (int path = 0; path < 4; ++path) {
            const uint32_t rotation = path % 2 != 0 ? 180 : 0;
            const bool ownThread = path >= 2;
            SCOPED_TRACE(testing::Message() << std::hex << pixelFormat << std::dec << " rotation " << rotation
                                            << " own thread " << ownThread);
            Job job(raw, Format(kW, kH), pixelFormat, rotation);
            job.task.SetOwnThread(ownThread);
            ASSERT_EQ(job.Convert(rotation != 0), S_OK);
            // Demosaicing is exact only where it sees all neighbours.
            const uint32_t border = bayer ? 2 : 0;
            for (uint32_t r = border; r + border < kH; ++r) {
                for (uint32_t c = border; c + border < kW; ++c) {
                    const uint32_t sr = rotation ? kH - 1 - r : r, sc = rotation ? kW - 1 - c : c;
                    const int green = planes[1].At(sr, sc);
                    ExpectPixel(job.image, r, c, mono ? green : planes[2].At(sr, sc), green,
                                mono ? green : planes[0].At(sr, sc));
                }
            }
        }
    }
}

TEST(ConvTaskRefusal, RefusedFramesTurnGreyAndFailingCallsLeaveTheImageUnwritten) {
    // Grey fills the whole buffer (larger than the picture) for formats without
    // conversion (Mono12, BayerRG12, BayerRG12Packed, Mono10Packed: S_OK), raw
    // frames shorter than needed or without data (refused unread) and a
    // rotation by 45. A failing call, or an image buffer one byte short,
    // leaves the buffer as it was.
    struct Case {
        uint32_t pixelFormat, bytes, rotation;
        Fault fault;
        HRESULT expected;
    };
    const uint32_t mono8 = PixelFormatMono8;
    for (const Case& c : {Case{0x01100005, 160, 90, kNone, S_OK}, Case{0x01100011, 160, 90, kNone, S_OK},
                          Case{0x010C002B, 160, 90, kNone, S_OK}, Case{0x010C0004, 160, 90, kNone, S_OK},
                          Case{PixelFormatBayerRG8, 79, 270, kNone, E_INVALIDARG},
                          Case{PixelFormatBayerGB8, 10, 270, kNone, E_INVALIDARG},
                          Case{PixelFormatRGB8, 239, 270, kNone, E_INVALIDARG},
                          Case{PixelFormatBGR8, 80, 270, kNone, E_INVALIDARG},
                          Case{mono8, 80, 270, kNullData, E_INVALIDARG},
                          Case{mono8, 80, 45, kNone, E_INVALIDARG},
                          Case{mono8, 80, 90, kGetData, E_FAIL}, Case{mono8, 80, 90, kGetFormat, E_FAIL},
                          Case{mono8, 80, 90, kSetFormat, E_INVALIDARG}, Case{mono8, 80, 90, kGetBuffer, E_OUTOFMEMORY},
                          Case{mono8, 80, 90, kSmallBuffer, E_FAIL}}) {
        for (int path = 0; path < 4; ++path) {
            const bool transformed = path % 2 != 0;
            const bool ownThread = path >= 2;
            if (!transformed && (c.rotation == 45 || c.fault == kSetFormat)) continue;
            SCOPED_TRACE(testing::Message() << std::hex << c.pixelFormat << std::dec << " rotation " << c.rotation
                                            << " fault " << c.fault << " transformed " << transformed
                                            << " own thread " << ownThread);
            Job job(std::vector<uint8_t>(c.bytes, 0xEE), Format(10, 8), c.pixelFormat, transformed ? c.rotation : 0, 2,
                    c.fault == kSmallBuffer ? -1 : 50);
            job.task.SetOwnThread(ownThread);
            job.raw.fault = job.image.fault = c.fault;
            EXPECT_EQ(job.Convert(transformed), c.expected);
            EXPECT_TRUE(AllBytes(job.image.buffer, c.fault < kGetData ? 128 : kStale));
            EXPECT_TRUE(c.fault >= kGetData || job.image.format.Width == (transformed ? 8u : 10u));
        }
    }
}

TEST(ConvTaskOrientation, MarkedTopLeftCornerLandsInTheRightCorner) {
    // A 4 x 2 picture of aspect 3:2, the top-left pixel white, the rest black.
    std::vector<uint8_t> source(4 * 2 * 3, 0);
    source[0] = source[1] = source[2] = 255;
    struct Case {
        uint32_t rotation, flip, row, column;
    };
    // Flip 1 turns around the horizontal axis, 2 the vertical, others both;
    // flip first: flip 1 then 90 moves the corner bottom-left, then top-left.
    for (const Case& c : {Case{0, 1, 1, 0}, Case{0, 2, 0, 3}, Case{0, 3, 1, 3}, Case{0, 9, 1, 3}, Case{90, 0, 0, 1},
                          Case{180, 0, 1, 3}, Case{270, 0, 3, 0}, Case{90, 1, 0, 0}, Case{90, 2, 3, 1},
                          Case{90, 3, 3, 0}, Case{180, 1, 0, 3}, Case{180, 3, 0, 0}, Case{270, 1, 3, 1},
                          Case{270, 2, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << "rotation " << c.rotation << " flip " << c.flip);
        Job job(source, Format(4, 2, 3, 2), PixelFormatBGR8, c.rotation, c.flip);
        job.task.Trigger();
        job.task.WaitDone();
        const bool turned = c.rotation == 90 || c.rotation == 270;
        const FrameFormat& f = job.image.format;
        ASSERT_EQ((std::vector<uint32_t>{f.Width, f.Height, f.AspectX, f.AspectY, f.FrameRateNumerator}),
                  (turned ? std::vector<uint32_t>{2, 4, 2, 3, 30} : std::vector<uint32_t>{4, 2, 3, 2, 30}));
        std::vector<uint8_t> expected(4 * 2 * 3, 0);
        std::fill_n(&expected[(c.row * f.Width + c.column) * 3], 3, 255);
        EXPECT_EQ(job.image.buffer, expected);
    }
}

TEST(ConvTaskJob, OneTaskRefusesWhenEmptyHandsBackEachFrameFollowsSizesAndReleasesWhenDeleted) {
    // Small, large (over a page), small, mirrored (each row's last pixel first): the work
    // picture grows and is reused without mixing rows. A short frame's raw
    // sample still goes back. A deleted task releases what it holds, no Done.
    FakeRawSample leftRaw(std::vector<uint8_t>(4, 1));
    FakeFrameImage leftImage(Format(2, 2), 12);
    {
        CVideoConvTask task;
        // Reserved ahead for the small frames; the large one still grows it.
        EXPECT_EQ(task.ReserveWorkPicture(0xFFFFFFFFu, 0xFFFFFFFFu), E_OUTOFMEMORY);
        EXPECT_EQ(task.ReserveWorkPicture(6, 5), S_OK);
        EXPECT_EQ(task.Convert(), E_UNEXPECTED);
        EXPECT_EQ(task.ConvertTransformed(), E_UNEXPECTED);
        task.Trigger();
        task.WaitDone();
        EXPECT_EQ(task.TakeImage(), nullptr);
        for (uint32_t width : {6u, 400u, 6u, 0u}) {
            const bool whole = width != 0;
            std::vector<uint8_t> source;
            for (uint32_t i = 0; i < width * 5 * 3; ++i) source.push_back(static_cast<uint8_t>(i * 7 + width));
            FakeRawSample raw(whole ? source : std::vector<uint8_t>(3, 60));
            FakeFrameImage image(Format(whole ? width : 4, 5), (whole ? width : 4) * 5 * 3);
            HandOver(task, raw, image, whole ? PixelFormatBGR8 : PixelFormatMono8, whole ? 0 : 90, 2);
            task.Trigger();
            task.WaitDone();
            SCOPED_TRACE(width);
            // The raw sample is done with and back to the test's own reference;
            // the image is still held and referenced for the delivery thread.
            EXPECT_EQ((std::vector<int>{raw.doneCalls, raw.references, image.holds, image.references}),
                      (std::vector<int>{1, 1, 1, 2}));
            IFrameImage* taken = task.TakeImage();
            ASSERT_EQ(taken, &image);
            EXPECT_EQ(task.TakeImage(), nullptr);
            for (uint32_t r = 0; whole && r < 5; ++r) {
                const uint8_t* last = &source[(r * width + width - 1) * 3];
                ExpectPixel(image, r, 0, last[0], last[1], last[2]);
            }
            EXPECT_TRUE(whole || AllBytes(image.buffer, 128));
            taken->Done();
            taken->Release();
        }
        HandOver(task, leftRaw, leftImage, PixelFormatMono8, 0, 0);
    }
    EXPECT_EQ((std::vector<int>{leftRaw.references, leftImage.references, leftRaw.doneCalls}),
              (std::vector<int>{1, 1, 0}));
}

}  // namespace
}  // namespace optivane::test
