// The per-run choice of how the conversions share the cores.
#include <gtest/gtest.h>

#include "video/ConversionSharing.h"

namespace optivane::test {
namespace {

TEST(ConversionSharingRule, SmallFramesOnOwnThreadsOneACoreLargeOrUnknownOnesTakeTurnsOnThePool) {
    struct Row {
        uint32_t width, height;
        int cores, openCvThreads;
        bool ownThreads;
        int width_;
    };
    const Row rows[] = {
        {1920, 1080, 2, 2, true, 2},
        {1920, 1200, 2, 2, true, 2},     // the largest small frame
        {1920, 1201, 2, 2, false, 1},    // one row more: the pool
        {4000, 3000, 2, 2, false, 1},
        {4000, 3000, 16, 4, false, 4},   // the pool's turns follow OpenCV's threads
        {0, 0, 2, 2, false, 1},          // size not known before the first frame
        {1920, 1080, 16, 16, true, 4},   // never more than the ring holds
        {1920, 1080, 1, 1, true, 1},
        {1920, 1080, 0, 2, true, 2},     // unknown core count
        {0xFFFFFFFF, 0xFFFFFFFF, 2, 2, false, 1},
    };
    for (const Row& row : rows) {
        const ConversionSharing sharing = ConversionSharing::For(row.width, row.height, row.cores, row.openCvThreads, 4);
        EXPECT_EQ(sharing.OwnThreads(), row.ownThreads) << row.width << "x" << row.height << " on " << row.cores;
        EXPECT_EQ(sharing.Width(), row.width_) << row.width << "x" << row.height << " on " << row.cores;
    }
}

}  // namespace
}  // namespace optivane::test
