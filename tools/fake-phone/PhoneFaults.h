// The ways a simulated phone misbehaves, chosen on its command line. Each
// fault applies to every K-th reply of its kind (--fault-every K, default 1:
// every one); the others are answered correctly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace optivane::tool {

struct PhoneFaults {
    bool splitXml = false;      // the capability reply in two sends, 300 ms apart
    bool splitHeader = false;   // the image header in two sends
    bool chunkedJpg = false;    // the image in many small sends
    bool badXml = false;        // a document that does not parse
    std::vector<std::string> missing;  // elements left out
    std::vector<std::string> empty;    // elements without text
    std::string xmlFile;        // the document read from this file instead
    int64_t xmlLength = -1;     // the capability length field, when >= 0
    std::string tag;            // the image reply's tag instead of "jpg"
    std::string status;         // the status reply instead of "OK"
    int64_t length = -1;        // the image length field, when >= 0
    int64_t truncate = -1;      // send only K image bytes, then stay silent and open
    int64_t drop = -1;          // send only K image bytes, then close
    int64_t shortJpg = -1;      // a JPEG cut to K bytes, its length stated as K
    int64_t extra = -1;         // K bytes more than the stated length
    bool notJpeg = false;       // image bytes that are no JPEG
    bool noCapture = false;     // no answer at all to capture
    int64_t trickleMs = -1;     // the image header, then one byte at a time this far apart
    bool noAccept = false;      // listen, never accept
    uint32_t every = 1;

    // Parses one --fault value; false for an unknown one.
    bool Add(const std::string& fault);
};

}  // namespace optivane::tool
