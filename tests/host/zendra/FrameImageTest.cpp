// Images: formats, buffer sizes and growth, times, and the snapshot image's
// row access.
#include <gtest/gtest.h>

#include "ZendraModule.h"

namespace optivane::test {
namespace {

FrameFormat Format(uint32_t width, uint32_t height) { return FrameFormat{0, width, height, 0, 0, 0, 0}; }

bool SameFormat(const FrameFormat& a, const FrameFormat& b) {
    return a.FormatCode == b.FormatCode && a.Width == b.Width && a.Height == b.Height && a.AspectX == b.AspectX &&
           a.AspectY == b.AspectY && a.FrameRateNumerator == b.FrameRateNumerator &&
           a.FrameRateDenominator == b.FrameRateDenominator;
}

TEST(FrameImage, PooledImageStartsWithAFullSizePicture) {
    ComPtr<IFrameImage> image = ZendraModule::CreateImage();
    FrameFormat format{};
    ASSERT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_TRUE(SameFormat(format, FrameFormat{0, 4000, 3000, 4, 3, 1000, 1000}));
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    EXPECT_EQ(size, 36000000u);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(data[size - 1], 0);
    uint32_t stride = 0;
    ASSERT_EQ(image->GetStride(&stride), S_OK);
    EXPECT_EQ(stride, 12000u);
}

TEST(FrameImage, SmallerFormatsReuseTheBufferAndLargerOnesGrowItOnce) {
    ComPtr<IFrameImage> image = ZendraModule::CreateImage();
    uint8_t* initial = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&initial, &size), S_OK);

    const FrameFormat small{0, 641, 479, 641, 479, 30, 1};
    ASSERT_EQ(image->SetFormat(&small), S_OK);
    FrameFormat format{};
    ASSERT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_TRUE(SameFormat(format, small));
    uint8_t* data = nullptr;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    EXPECT_EQ(data, initial);
    EXPECT_EQ(size, 641u * 479u * 3u);
    uint32_t stride = 0;
    ASSERT_EQ(image->GetStride(&stride), S_OK);
    EXPECT_EQ(stride, 641u * 3u);

    // Rotated full size: same byte count, same buffer.
    const FrameFormat rotated = Format(3000, 4000);
    ASSERT_EQ(image->SetFormat(&rotated), S_OK);
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    EXPECT_EQ(data, initial);

    const FrameFormat large = Format(5000, 4000);
    ASSERT_EQ(image->SetFormat(&large), S_OK);
    uint8_t* grown = nullptr;
    ASSERT_EQ(image->GetBuffer(&grown, &size), S_OK);
    EXPECT_EQ(size, 60000000u);
    grown[size - 1] = 7;  // the whole picture is writable

    for (const FrameFormat& next : {Format(4000, 3000), Format(16, 16), Format(5000, 4000)}) {
        ASSERT_EQ(image->SetFormat(&next), S_OK);
        ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
        EXPECT_EQ(data, grown);
    }
    EXPECT_EQ(grown[size - 1], 7);
}

TEST(FrameImage, RefusedFormatsChangeNothing) {
    ComPtr<IFrameImage> image = ZendraModule::CreateImage();
    const FrameFormat good = Format(800, 600);
    ASSERT_EQ(image->SetFormat(&good), S_OK);

    EXPECT_EQ(image->SetFormat(nullptr), E_POINTER);
    for (const FrameFormat& bad : {Format(0, 600), Format(800, 0), Format(40000, 20000), Format(0xFFFFFFFFu, 1),
                                   Format(0x10000u, 0x10000u)}) {
        EXPECT_EQ(image->SetFormat(&bad), E_INVALIDARG) << bad.Width << " x " << bad.Height;
    }
    FrameFormat format{};
    ASSERT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_TRUE(SameFormat(format, good));
    EXPECT_EQ(image->GetFormat(nullptr), E_POINTER);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(image->GetBuffer(nullptr, &size), E_POINTER);
    EXPECT_EQ(image->GetBuffer(&data, nullptr), E_POINTER);
    EXPECT_EQ(image->GetStride(nullptr), E_POINTER);
}

TEST(FrameImage, TimesComeBackAsSet) {
    for (auto create : {&ZendraModule::CreateImage, &ZendraModule::CreateSnapshotImage}) {
        ComPtr<IFrameImage> image = create();
        FrameTime start{-1, -1};
        FrameTime end{-1, -1};
        ASSERT_EQ(image->GetTime(&start, &end), S_OK);
        EXPECT_EQ(start.Value, 0);
        EXPECT_EQ(end.UnitsPerSecond, 0);

        const FrameTime setStart{1733400000123456, 1000000};
        const FrameTime setEnd{1733400000156789, 1000000};
        ASSERT_EQ(image->SetTime(&setStart, &setEnd), S_OK);
        ASSERT_EQ(image->GetTime(&start, &end), S_OK);
        EXPECT_EQ(start.Value, setStart.Value);
        EXPECT_EQ(start.UnitsPerSecond, 1000000);
        EXPECT_EQ(end.Value, setEnd.Value);
        EXPECT_EQ(end.UnitsPerSecond, 1000000);

        EXPECT_EQ(image->SetTime(nullptr, &setEnd), E_POINTER);
        EXPECT_EQ(image->SetTime(&setStart, nullptr), E_POINTER);
        EXPECT_EQ(image->GetTime(&start, nullptr), E_POINTER);
        EXPECT_EQ(image->GetTime(nullptr, &end), E_POINTER);
    }
}

TEST(SnapshotFrameImage, StartsEmptyAndIsSizedByItsFormat) {
    ComPtr<IFrameImage> image = ZendraModule::CreateSnapshotImage();
    FrameFormat format{1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_TRUE(SameFormat(format, Format(0, 0)));
    uint8_t* data = reinterpret_cast<uint8_t*>(&format);
    uint32_t size = 1;
    EXPECT_EQ(image->GetBuffer(&data, &size), E_FAIL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);

    const FrameFormat picture = Format(5, 3);
    ASSERT_EQ(image->SetFormat(&picture), S_OK);
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    EXPECT_EQ(size, 45u);
    ASSERT_NE(data, nullptr);
}

TEST(SnapshotFrameImage, RowAccessPointsAtBlueGreenRedPixels) {
    ComPtr<IFrameImage> image = ZendraModule::CreateSnapshotImage();
    ComPtr<IImageRowAccess> rows;
    ASSERT_EQ(image->QueryInterface(IID_IImageRowAccess, rows.ReceiveVoid()), S_OK);
    uint8_t* red = nullptr;
    uint8_t* green = nullptr;
    uint8_t* blue = nullptr;
    EXPECT_EQ(rows->GetRow(0, 0, &red, &green, &blue), E_INVALIDARG);  // no picture yet

    constexpr uint32_t kWidth = 4;
    constexpr uint32_t kHeight = 3;
    const FrameFormat picture = Format(kWidth, kHeight);
    ASSERT_EQ(image->SetFormat(&picture), S_OK);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);

    // Written as a snapshot writer does: component pointers stepping by 3.
    for (uint32_t y = 0; y < kHeight; ++y) {
        ASSERT_EQ(rows->GetRow(0, y, &red, &green, &blue), S_OK);
        EXPECT_EQ(blue, data + y * kWidth * 3);
        EXPECT_EQ(green, blue + 1);
        EXPECT_EQ(red, blue + 2);
        for (uint32_t x = 0; x < kWidth; ++x) {
            red[3 * x] = static_cast<uint8_t>(100 + 10 * y + x);
            green[3 * x] = static_cast<uint8_t>(50 + 10 * y + x);
            blue[3 * x] = static_cast<uint8_t>(10 * y + x);
        }
    }
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint8_t* pixel = data + (y * kWidth + x) * 3;
            EXPECT_EQ(pixel[0], 10 * y + x);
            EXPECT_EQ(pixel[1], 50 + 10 * y + x);
            EXPECT_EQ(pixel[2], 100 + 10 * y + x);
        }
    }

    EXPECT_EQ(rows->GetRow(0, kHeight, &red, &green, &blue), E_INVALIDARG);
    EXPECT_EQ(rows->GetRow(1, 0, &red, &green, &blue), E_INVALIDARG);
    EXPECT_EQ(rows->GetRow(0, 0, nullptr, &green, &blue), E_POINTER);
}

}  // namespace
}  // namespace optivane::test
