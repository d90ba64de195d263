// The phone's wire protocol on the receiving side: commands, framing, the
// capability document, ranges, image replies in any chunking and the JPEG
// header check. Built for Windows too, where unsigned long has 32 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "smartphone/CapabilityReply.h"
#include "smartphone/ImageReplyReader.h"
#include "smartphone/JpegHeader.h"
#include "smartphone/PhoneCapabilities.h"
#include "smartphone/PhoneCommands.h"
#include "smartphone/PhoneRange.h"
#include "smartphone/ReplyHeader.h"

namespace optivane::phone {
namespace {

std::string Framed(const char* tag, const std::string& payload, uint32_t length) {
    std::string reply(ImageReplyReader::kHeaderSize, '\0');
    WriteReplyHeader(&reply[0], tag, length);
    return reply + payload;
}
std::string Framed(const char* tag, const std::string& payload) {
    return Framed(tag, payload, static_cast<uint32_t>(payload.size()));
}

// A document with every element; values[i] replaces the text of element i,
// and an element whose value is "\x01" is left out.
std::string Document(const std::vector<std::string>& values = {}) {
    std::string xml = "<Phone>";
    for (int field = 0; field < PhoneCapabilities::kFieldCount; ++field) {
        const std::string name = PhoneCapabilities::kNames[field];
        std::string value = "v" + std::to_string(field);
        if (field < static_cast<int>(values.size())) value = values[field];
        if (value == "\x01") continue;
        xml += "<" + name + ">" + value + "</" + name + ">";
    }
    return xml + "</Phone>";
}

HRESULT ParseDocument(const std::string& xml, PhoneCapabilities& capabilities) {
    CapabilityReply reply;
    const std::string framed = Framed("xml", xml);
    if (reply.Accept(framed.data(), framed.size()) != S_OK) return E_FAIL;
    std::string error;
    return capabilities.Parse(reply.Document(), reply.DocumentSize(), error);
}

TEST(PhoneCommands, AreByteExact) {
    EXPECT_EQ(SearchCommand(), "command string : search\r");
    EXPECT_EQ(CaptureCommand(), "command string : capture jpg\r");
    EXPECT_EQ(ExposureCommand(16666666), "command string : setup exp 16666666 dur 166666666 zoom 1.0 lens wide\r");
    // Beyond 32 bits, where long has 32 bits on Windows.
    EXPECT_EQ(ExposureCommand(30000000000), "command string : setup exp 30000000000 dur 166666666 zoom 1.0 lens wide\r");
    EXPECT_EQ(SensitivityCommand(-5), "command string : setup iso -5 dur 166666666 zoom 1.0 lens wide\r");
}

TEST(CapabilityReplyFraming, AcceptsOnlyAWholeReplyOfTheStatedLength) {
    struct Row { std::string bytes; bool accepted; const char* what; };
    const std::string doc = "<a/>";
    const Row rows[] = {
        {Framed("xml", doc), true, "whole"},
        {Framed("xml", ""), true, "empty document (framing only)"},
        {Framed("xml", doc, 5), false, "length above what came (a second send still due)"},
        {Framed("xml", doc, 3), false, "length below what came"},
        {Framed("xml", doc, 0x01000004), false, "length's high byte set"},
        {Framed("XML", doc), false, "tag case"},
        {Framed("jpg", doc), false, "image tag"},
        {std::string("xml\0\0\0", 6), false, "header cut"},
        {Framed("xml", std::string(CapabilityReply::kMaxDocument, 'x')), true, "1017 bytes"},
        {Framed("xml", std::string(CapabilityReply::kMaxDocument + 1, 'x')), false, "1018 bytes"},
    };
    for (const Row& row : rows) {
        CapabilityReply reply;
        EXPECT_EQ(reply.Accept(row.bytes.data(), row.bytes.size()) == S_OK, row.accepted) << row.what;
        if (row.accepted) {
            EXPECT_EQ(reply.DocumentSize(), row.bytes.size() - 7) << row.what;
            EXPECT_EQ(reply.Document()[reply.DocumentSize()], '\0') << row.what;
        }
    }
}

TEST(PhoneCapabilitiesDocument, TakesTheNineteenElementsOfTheFirstRoot) {
    PhoneCapabilities capabilities;
    std::vector<std::string> values(PhoneCapabilities::kFieldCount);
    values[PhoneCapabilities::Model] = "  Pixel 9\t ";
    values[PhoneCapabilities::Serial] = "";  // empty elements are accepted
    values[PhoneCapabilities::Product] = "<b>inner</b>";
    values[PhoneCapabilities::ExposureTimeRange] = "[16666666,1000000000]";
    // A byte-order mark, and a second top-level element that is not read.
    const std::string xml = "\xEF\xBB\xBF" + Document(values) + "<Other><Model>x</Model></Other>";
    ASSERT_EQ(ParseDocument(xml, capabilities), S_OK);
    EXPECT_EQ(capabilities.Get(PhoneCapabilities::Model), "Pixel 9\t");  // only spaces trimmed
    EXPECT_EQ(capabilities.Get(PhoneCapabilities::Serial), "");
    EXPECT_EQ(capabilities.Get(PhoneCapabilities::Product), "");
    EXPECT_EQ(capabilities.Get(PhoneCapabilities::ExposureTimeRange), "[16666666,1000000000]");
    // The longest document a reply can carry still parses.
    std::string longest = Document(values);
    longest.insert(longest.size() - 8, CapabilityReply::kMaxDocument - longest.size(), ' ');
    EXPECT_EQ(ParseDocument(longest, capabilities), S_OK);
}

TEST(PhoneCapabilitiesDocument, RefusesMissingElementsAndBrokenXmlWithoutChangingTheFields) {
    PhoneCapabilities capabilities;
    ASSERT_EQ(ParseDocument(Document({"kept"}), capabilities), S_OK);
    for (int missing = 0; missing < PhoneCapabilities::kFieldCount; ++missing) {
        std::vector<std::string> values(PhoneCapabilities::kFieldCount, "x");
        values[missing] = "\x01";
        EXPECT_EQ(ParseDocument(Document(values), capabilities), E_FAIL) << PhoneCapabilities::kNames[missing];
    }
    const std::string broken[] = {
        "", "<Phone>", Document() + "<", "<Phone><model>x</model></Phone>",
        "<Phone><Phone>" + Document() + "</Phone></Phone>",  // not direct children
    };
    for (const std::string& xml : broken) EXPECT_EQ(ParseDocument(xml, capabilities), E_FAIL) << xml;
    EXPECT_EQ(capabilities.Get(PhoneCapabilities::Model), "kept");
}

TEST(PhoneCapabilitiesDocument, ParseErrorContextStaysInsideTheDocument) {
    // The error sits near the end: its context must be the document's tail.
    std::string text = "<Phone><Model>x</Model><";
    PhoneCapabilities capabilities;
    std::string error;
    std::vector<char> exact(text.begin(), text.end());
    exact.push_back('\0');
    ASSERT_EQ(capabilities.Parse(exact.data(), text.size(), error), E_FAIL);
    EXPECT_LE(error.size() - error.find("] ") - 2, 32u);
}

// Exposure ranges in microseconds, limited to 32 bits of nanoseconds;
// sensitivity ranges signed 32-bit. A refusal leaves the range as it was.
TEST(PhoneRanges, NeedTwoNumbersWithinTheirTypes) {
    struct Row { bool exposure; const char* value; bool ok; int64_t minimum, maximum; };
    using Range = std::pair<int64_t, int64_t>;
    std::vector<Row> rows = {
        {true, "[16666666,1000000000]", true, 16666, 1000000},
        {true, "[ 1000 , 2000 , 3 ]", true, 1, 2},           // extras ignored
        {true, "(,, 5000,\t\n7000,)", true, 5, 7},           // empty pieces skipped, any enclosing pair
        {true, "[0,4294967296]", true, 0, 4294967},          // limited to 4294967295 ns
        {true, "[0,99999999999999999999999]", true, 0, 4294967},
        {true, "[12abc,3000]", true, 0, 3},                  // digits read as far as they go
        {true, "[+7000,8000]", true, 7, 8},
        {true, "[-1,5]", false, 0, 0},
        {true, "[ , ]", false, 0, 0},
        {false, "[-1,5]", true, -1, 5},
        {false, "[-2147483648,2147483647]", true, INT32_MIN, INT32_MAX},
        {false, "[0,2147483648]", false, 0, 0},
        {false, "[-2147483649,0]", false, 0, 0},
    };
    for (const char* refused : {"[5]", "[]", "[", "", "[x,5]"})
        for (bool exposure : {true, false}) rows.push_back({exposure, refused, false, 11, 22});
    for (const Row& row : rows) {
        ExposureRange exposure{11, 22};
        SensitivityRange sensitivity{11, 22};
        std::string error;
        const HRESULT status = row.exposure ? ParseExposureRange(row.value, exposure, error)
                                            : ParseSensitivityRange(row.value, sensitivity, error);
        EXPECT_EQ(status == S_OK, row.ok) << row.value;
        const Range range = row.exposure ? Range(exposure.minimumUs, exposure.maximumUs)
                                         : Range(sensitivity.minimum, sensitivity.maximum);
        EXPECT_EQ(range, row.ok ? Range(row.minimum, row.maximum) : Range(11, 22)) << row.value;
    }
}

// Feeds a reply in the given chunk sizes; the reader's verdict after the last.
ImageReplyReader::Progress Feed(ImageReplyReader& reader, const std::string& reply, const std::vector<size_t>& chunks) {
    size_t at = 0;
    ImageReplyReader::Progress progress = ImageReplyReader::Progress::NeedMore;
    for (size_t chunk : chunks) {
        if (progress != ImageReplyReader::Progress::NeedMore) break;
        chunk = std::min({chunk, reply.size() - at, reader.Room()});
        std::copy(reply.begin() + at, reply.begin() + at + chunk, reader.Space());
        at += chunk;
        progress = reader.Received(chunk);
    }
    return progress;
}

TEST(ImageReplyReading, CompletesExactlyAtTheStatedLengthUnderRandomChunkings) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 200; ++round) {
        const size_t length = 1 + random() % 3000;
        std::string image(length, '\0');
        for (char& c : image) c = static_cast<char>(random());
        const size_t surplus = random() % 3 == 0 ? random() % 100 : 0;
        const std::string reply = Framed("jpg", image + std::string(surplus, 'S'), static_cast<uint32_t>(length));
        const size_t capacity = 7 + length + random() % 2 * (random() % 200);
        std::vector<char> buffer(capacity + 16, '\x5A');
        ImageReplyReader reader(buffer.data(), capacity);
        std::vector<size_t> chunks{7 + random() % 40};
        for (size_t total = chunks[0]; total < reply.size(); total += chunks.back()) chunks.push_back(1 + random() % 700);
        ASSERT_EQ(Feed(reader, reply, chunks), ImageReplyReader::Progress::Complete) << round;
        ASSERT_EQ(reader.ImageSize(), length);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(reader.Image()), length), image) << round;
        EXPECT_EQ(std::string(buffer.data() + capacity, 16), std::string(16, '\x5A')) << "written past the buffer";
    }
}

TEST(ImageReplyReading, RefusesBadHeadersAndLengthsTheBufferCannotHold) {
    struct Row { std::string reply; std::vector<size_t> chunks; size_t capacity; ImageReplyReader::Progress progress; const char* what; };
    using P = ImageReplyReader::Progress;
    const std::string image(100, 'i');
    const Row rows[] = {
        {Framed("jpg", image), {6, 200}, 1000, P::Failed, "header in two reads"},
        {Framed("xml", image), {200}, 1000, P::Failed, "capability tag"},
        {Framed("jpg", ""), {7}, 1000, P::Failed, "zero length"},
        {Framed("jpg", image), {107}, 107, P::Complete, "length filling the buffer"},
        {Framed("jpg", image), {106}, 106, P::Failed, "length one beyond the buffer"},
        {Framed("jpg", image, 99), {200}, 1000, P::Complete, "surplus in the same read"},
        {Framed("jpg", image, 200), {107}, 1000, P::NeedMore, "sender stopped early"},
    };
    for (const Row& row : rows) {
        std::vector<char> buffer(row.capacity);
        ImageReplyReader reader(buffer.data(), row.capacity);
        EXPECT_EQ(Feed(reader, row.reply, row.chunks), row.progress) << row.what;
    }
    std::vector<char> buffer(100);
    ImageReplyReader reader(buffer.data(), buffer.size());
    EXPECT_EQ(reader.Received(101), ImageReplyReader::Progress::Failed) << "more than the room offered";
}

std::vector<uint8_t> JpegStart(uint32_t width, uint32_t height, bool scanFirst = false) {
    std::vector<uint8_t> data{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 'J', 'F', 0xFF, 0xFF};  // APP0, then fill
    if (scanFirst) data.insert(data.end(), {0xDA, 0x00, 0x02, 0xFF});
    const uint8_t frame[] = {0xC2, 0x00, 0x0B, 0x08, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                             uint8_t(width), 0x01, 0x01, 0x11, 0x00};
    data.insert(data.end(), std::begin(frame), std::end(frame));
    return data;
}

TEST(JpegHeaderScan, RefusesWhatNoImageHoldsBeforeDecoding) {
    struct Row { std::vector<uint8_t> data; bool ok; uint32_t width, height; const char* what; };
    std::vector<uint8_t> cut = JpegStart(640, 480);
    cut.resize(cut.size() - 5);
    const Row rows[] = {
        {JpegStart(640, 480), true, 640, 480, "progressive frame after APP0"},
        {JpegStart(26754, 26754), true, 26754, 26754, "2^31 bytes at most"},
        {JpegStart(26755, 26755), false, 0, 0, "beyond 2^31 bytes"},
        {JpegStart(0, 480), false, 0, 0, "zero width"},
        {JpegStart(640, 0), false, 0, 0, "zero height (size given later)"},
        {JpegStart(640, 480, true), false, 0, 0, "scan before the frame header"},
        {cut, false, 0, 0, "frame header cut"},
        {{0xFF, 0xD8, 0xFF, 0xD9}, false, 0, 0, "end at once"},
        {{0x89, 'P', 'N', 'G'}, false, 0, 0, "not JPEG"},
        {{}, false, 0, 0, "empty"},
    };
    for (const Row& row : rows) {
        JpegSize size{0, 0};
        EXPECT_EQ(ScanJpegHeader(row.data.data(), row.data.size(), size), row.ok) << row.what;
        if (row.ok) {
            EXPECT_EQ(size.width, row.width) << row.what;
            EXPECT_EQ(size.height, row.height) << row.what;
        }
    }
}

}  // namespace
}  // namespace optivane::phone
