#include <tessera/scaler.h>

#include <gtest/gtest.h>

#include <vector>

TEST(UpscaleFrame, OnePixelGivesItsBlock) {
    const Pixel source = 0xFF123456u;
    std::vector<Pixel> target(16, 0);
    upscale(4, &source, target.data(), 1, 1, ScaleSettings{}, INT32_MAX);
    for (Pixel p : target)
        EXPECT_EQ(p, source);
}
