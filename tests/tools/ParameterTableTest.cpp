// Names, encodings and wording of the tool's settings, without a camera.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "HresultText.h"
#include "ParameterTable.h"
#include "PixelFormatNames.h"
#include "SettingAssignment.h"

namespace optivane::tool {
namespace {

uint32_t Parsed(const char* name, const std::string& text, const PixelFormatNames& formats = PixelFormatNames()) {
    uint32_t value = 0xDEADBEEF;
    std::string error;
    EXPECT_TRUE(ParameterTable::Parse(*ParameterTable::Find(name), text, formats, &value, &error))
        << name << "=" << text << ": " << error;
    return value;
}

std::string Refusal(const char* name, const std::string& text) {
    uint32_t value = 7;
    std::string error;
    EXPECT_FALSE(ParameterTable::Parse(*ParameterTable::Find(name), text, PixelFormatNames(), &value, &error))
        << name << "=" << text << " was taken as " << value;
    EXPECT_EQ(value, 7u) << "a refused value leaves the output alone";
    return error;
}

std::string Shown(const char* name, uint32_t value, const PixelFormatNames& formats = PixelFormatNames()) {
    return ParameterTable::Format(*ParameterTable::Find(name), value, formats);
}

TEST(ParameterTable, EverySettingOfTheModuleHasOneName) {
    std::set<int32_t> ids;
    for (const ParameterInfo& parameter : ParameterTable::All()) {
        EXPECT_TRUE(ids.insert(parameter.id).second) << parameter.name;
        EXPECT_EQ(ParameterTable::Find(parameter.name), &parameter);
    }
    EXPECT_EQ(ids.size(), 17u);
    EXPECT_EQ(*ids.begin(), CameraParameterBrightness);
    EXPECT_EQ(*ids.rbegin(), CameraParameterColorCorrection);
    EXPECT_EQ(ParameterTable::Find("Frame-Rate")->id, CameraParameterFrameRate);
    EXPECT_EQ(ParameterTable::Find("framerate"), nullptr);
    EXPECT_FALSE(ParameterTable::Find("long-exposure")->readable);
}

TEST(ParameterTable, ScaledValuesTravelAsHundredthsAndShowAsDecimals) {
    EXPECT_EQ(Parsed("frame-rate", "29.97"), 2997u);
    EXPECT_EQ(Parsed("frame-rate", "29.97 fps"), 2997u);
    EXPECT_EQ(Parsed("frame-rate", "0.01"), 1u);
    EXPECT_EQ(Shown("frame-rate", 2997), "29.97 fps");
    EXPECT_EQ(Parsed("gain", "1.239"), 124u) << "rounded to the nearest hundredth";
    EXPECT_EQ(Parsed("red", "0"), 0u);
    EXPECT_EQ(Shown("blue", 124), "1.24");
    EXPECT_EQ(Shown("gain2", 5), "0.05");
    EXPECT_EQ(Refusal("frame-rate", "0"), "bad value '0' for frame-rate: expected frames per second, e.g. 29.97");
    Refusal("frame-rate", "0.001");
    Refusal("frame-rate", "fast");
    Refusal("frame-rate", "30 Hz");
    Refusal("frame-rate", "1e2");
    Refusal("frame-rate", "0x1E");
    Refusal("frame-rate", "30000000");
    Refusal("gain", "-1");
    Refusal("gain", "");
}

TEST(ParameterTable, ExposureTakesMicrosecondsOrAUnit) {
    EXPECT_EQ(Parsed("exposure", "15000"), 15000u);
    EXPECT_EQ(Parsed("exposure", "15ms"), 15000u);
    EXPECT_EQ(Parsed("exposure", "0.5 s"), 500000u);
    EXPECT_EQ(Parsed("exposure", "250us"), 250u);
    EXPECT_EQ(Parsed("exposure", "250 \xC2\xB5s"), 250u);
    EXPECT_EQ(Shown("exposure", 15000), "15000 \xC2\xB5s");
    Refusal("exposure", "0");
    Refusal("exposure", "-5");
    Refusal("exposure", "15 min");
    Refusal("exposure", "3000s");  // beyond what the module takes as a signed count
    EXPECT_EQ(Parsed("exposure", "2000s"), 2000000000u);
}

TEST(ParameterTable, ChoicesTakeWordsOrTheirNumbers) {
    EXPECT_EQ(Parsed("gain-auto", "Continuous"), 2u);
    EXPECT_EQ(Parsed("exposure-auto", "1"), 1u);
    EXPECT_EQ(Parsed("white-balance-auto", "off"), 0u);
    Refusal("gain-auto", "3");
    Refusal("gain-auto", "always");
    EXPECT_EQ(Shown("gain-auto", 2), "continuous");
    EXPECT_EQ(Shown("gain-auto", 9), "unknown (9)");

    EXPECT_EQ(Parsed("flip", "both"), 3u);
    EXPECT_EQ(Parsed("flip", "horizontal"), 2u);
    EXPECT_EQ(Shown("flip", 1), "vertical");
    EXPECT_EQ(Shown("flip", 7), "both (7)") << "any other non-zero value flips both ways";

    EXPECT_EQ(Parsed("rotation", "270"), 270u);
    EXPECT_EQ(Refusal("rotation", "45"), "bad value '45' for rotation: expected 0 | 90 | 180 | 270 (degrees)");
    EXPECT_EQ(Parsed("long-exposure", "on"), 1u);
    EXPECT_EQ(Parsed("long-exposure", "0"), 0u);
    EXPECT_EQ(Parsed("color-correction", "AUTO"), 1u);
    Refusal("color-correction", "2");
}

TEST(ParameterTable, IntegersAndStepsKeepTheirRanges) {
    EXPECT_EQ(Parsed("brightness", "-5"), 0xFFFFFFFBu);
    EXPECT_EQ(Shown("brightness", 0xFFFFFFFBu), "-5");
    EXPECT_EQ(Parsed("brightness", "2147483647"), 2147483647u);
    Refusal("brightness", "2147483648");
    Refusal("brightness", "12.5");
    EXPECT_EQ(Parsed("exposure-step", "19"), 19u);
    Refusal("exposure-step", "20");
    EXPECT_EQ(Shown("exposure-step", 0), "0 (30 s)");
    EXPECT_EQ(Shown("exposure-step", 14), "14 (1/6 s)");
    EXPECT_EQ(Shown("exposure-step", 25), "25");
}

TEST(PixelFormatNames, TheCameraListComesFirstThenTheConvertedFormats) {
    std::vector<CameraPixelFormat> list(2);
    std::strcpy(list[0].Name, "Mono12");
    list[0].Code = 0x01100005;
    // A name that fills its 16 bytes has no terminator.
    std::memcpy(list[1].Name, "BayerRG8Special!", 16);
    list[1].Code = PixelFormatBayerRG8;
    const PixelFormatNames formats(list);
    EXPECT_EQ(formats.Name(0x01100005), "Mono12");
    EXPECT_EQ(formats.Name(PixelFormatBayerRG8), "BayerRG8Special!");
    EXPECT_EQ(formats.Name(PixelFormatMono8), "Mono8");
    EXPECT_EQ(formats.Name(0x12345678), "0x12345678");
    EXPECT_EQ(Parsed("pixel-format", "mono12", formats), 0x01100005u);
    EXPECT_EQ(Parsed("pixel-format", "0x02180015", formats), PixelFormatBGR8);
    EXPECT_EQ(Parsed("pixel-format", "17301505", formats), PixelFormatMono8);
    EXPECT_EQ(Shown("pixel-format", PixelFormatBGR8, formats), "BGR8");

    uint32_t code = 0;
    std::string error;
    EXPECT_FALSE(ParameterTable::Parse(*ParameterTable::Find("pixel-format"), "YUV422", formats, &code, &error));
    EXPECT_EQ(error.find("unknown pixel format 'YUV422' for pixel-format: expected one of Mono12, "), 0u) << error;
    EXPECT_FALSE(formats.Code("0x100000000", &code));
    EXPECT_FALSE(formats.Code("12abc", &code));
}

TEST(SettingAssignment, NamesAndValuesAreCheckedBeforeACameraIsOpened) {
    SettingAssignment assignment;
    std::string error;
    ASSERT_TRUE(SettingAssignment::Read("frame-rate=30", &assignment, &error)) << error;
    EXPECT_EQ(assignment.Parameter().id, CameraParameterFrameRate);
    EXPECT_EQ(assignment.ValueText(), "30");
    // Pixel-format names wait for the camera's own list.
    EXPECT_TRUE(SettingAssignment::Read("pixel-format=Mono12Packed", &assignment, &error)) << error;

    EXPECT_FALSE(SettingAssignment::Read("frame-rate", &assignment, &error));
    EXPECT_EQ(error, "'frame-rate' is not NAME=VALUE (for example frame-rate=29.97)");
    EXPECT_FALSE(SettingAssignment::Read("=30", &assignment, &error));
    EXPECT_FALSE(SettingAssignment::Read("zoom=2", &assignment, &error));
    EXPECT_EQ(error.find("unknown parameter 'zoom'; known parameters: brightness, gain-auto, red,"), 0u) << error;
    EXPECT_FALSE(SettingAssignment::Read("exposure=soon", &assignment, &error));
    EXPECT_EQ(error.find("bad value 'soon' for exposure"), 0u) << error;
    EXPECT_FALSE(SettingAssignment::Read("pixel-format=", &assignment, &error));
}

TEST(HresultText, StatusesAreNamedAndExplained) {
    EXPECT_EQ(HresultText::Describe(E_FAIL),
              "E_FAIL (0x80004005): the camera refused the operation or is not reachable");
    EXPECT_EQ(HresultText::Describe(CLASS_E_CLASSNOTAVAILABLE).find("CLASS_E_CLASSNOTAVAILABLE (0x80040111): "), 0u);
    EXPECT_EQ(HresultText::Describe(E_HANDLE).find("E_HANDLE (0x80070006): a host-framework module"), 0u);
    EXPECT_EQ(HresultText::Describe(static_cast<HRESULT>(0x80001234u)),
              "unnamed status 0x80001234: a failure the module does not document");
    EXPECT_EQ(HresultText::Describe(0x13C), "status 0x0000013C: a success code without a name");
}

}  // namespace
}  // namespace optivane::tool
