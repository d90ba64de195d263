// Names and encodings of the tool's settings, without a camera.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "ParameterTable.h"
#include "PixelFormatNames.h"

namespace optivane::tool {
namespace {

constexpr int64_t kRefused = -1;

TEST(ParameterTable, OneCaseBlindNamePerSettingAndValuesWithinTheirLimitsInHumanUnits) {
    std::set<int32_t> ids;
    for (const ParameterInfo& parameter : ParameterTable::All())
        EXPECT_TRUE(ids.insert(parameter.id).second && ParameterTable::Find(parameter.name) == &parameter)
            << parameter.name;
    EXPECT_EQ(ids.size(), 17u);
    EXPECT_EQ(ParameterTable::Find("Frame-Rate")->id, CameraParameterFrameRate);
    EXPECT_EQ(ParameterTable::Find("framerate"), nullptr);
    // The camera's list comes first; a name filling its 16 bytes has no terminator.
    std::vector<CameraPixelFormat> list(2);
    std::strcpy(list[0].Name, "Mono12");
    std::memcpy(list[1].Name, "BayerRG8Special!", 16);
    list[0].Code = 0x01100005;
    list[1].Code = PixelFormatBayerRG8;
    const PixelFormatNames formats(list);
    std::string error;
    const auto parsed = [&](const char* name, const char* text) -> int64_t {
        uint32_t value = 7;
        if (ParameterTable::Parse(*ParameterTable::Find(name), text, formats, &value, &error)) return value;
        EXPECT_EQ(value, 7u) << name << "=" << text << ": a refusal must leave the output alone";
        return kRefused;
    };

    const struct { const char* name; const char* text; int64_t value; } parses[] = {
        {"frame-rate", "29.97 fps", 2997}, {"frame-rate", "0.01", 1}, {"frame-rate", "0", kRefused},
        {"gain", "1.239", 124}, {"red", "0", 0}, {"frame-rate", "0.001", kRefused}, {"frame-rate", "30 Hz", kRefused},
        {"frame-rate", "1e2", kRefused}, {"frame-rate", "0x1E", kRefused}, {"frame-rate", "30000000", kRefused},
        {"gain", "-1", kRefused}, {"gain", "", kRefused}, {"exposure", "15000", 15000}, {"exposure", "15ms", 15000},
        {"exposure", "0.5 s", 500000}, {"exposure", "250 \xC2\xB5s", 250}, {"exposure", "250us", 250},
        {"exposure", "2000s", 2000000000}, {"exposure", "3000s", kRefused}, {"exposure", "0", kRefused},
        {"exposure", "-5", kRefused}, {"exposure", "15 min", kRefused}, {"gain-auto", "Continuous", 2},
        {"exposure-auto", "1", 1}, {"gain-auto", "3", kRefused}, {"gain-auto", "always", kRefused},
        {"flip", "both", 3}, {"flip", "horizontal", 2}, {"rotation", "270", 270}, {"rotation", "45", kRefused},
        {"long-exposure", "on", 1}, {"color-correction", "AUTO", 1}, {"color-correction", "2", kRefused},
        {"brightness", "-5", 0xFFFFFFFB}, {"brightness", "2147483647", 2147483647},
        {"brightness", "2147483648", kRefused}, {"brightness", "12.5", kRefused}, {"exposure-step", "19", 19},
        {"exposure-step", "20", kRefused}, {"pixel-format", "mono12", 0x01100005},
        {"pixel-format", "0x02180015", PixelFormatBGR8}, {"pixel-format", "17301505", PixelFormatMono8},
        {"pixel-format", "0x100000000", kRefused}, {"pixel-format", "12abc", kRefused},
        {"pixel-format", "YUV422", kRefused},
    };
    for (const auto& row : parses) EXPECT_EQ(parsed(row.name, row.text), row.value) << row.name << "=" << row.text;

    const struct { const char* name; uint32_t value; const char* text; } shows[] = {
        {"frame-rate", 2997, "29.97 fps"}, {"gain2", 5, "0.05"}, {"exposure", 15000, "15000 \xC2\xB5s"},
        {"gain-auto", 9, "unknown (9)"}, {"flip", 1, "vertical"}, {"flip", 7, "both (7)"},
        {"brightness", 0xFFFFFFFB, "-5"}, {"exposure-step", 0, "0 (30 s)"}, {"exposure-step", 14, "14 (1/6 s)"},
        {"exposure-step", 25, "25"}, {"pixel-format", 0x01100005, "Mono12"}, {"pixel-format", PixelFormatBGR8, "BGR8"},
        {"pixel-format", PixelFormatBayerRG8, "BayerRG8Special!"}, {"pixel-format", 0x12345678, "0x12345678"},
    };
    for (const auto& row : shows)
        EXPECT_EQ(ParameterTable::Format(*ParameterTable::Find(row.name), row.value, formats), row.text) << row.name;
}

}  // namespace
}  // namespace optivane::tool
