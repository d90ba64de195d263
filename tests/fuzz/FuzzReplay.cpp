// Runs a libFuzzer target without libFuzzer, as a test of the plain and
// sanitizer builds: every file of the corpus folders once, then seeded
// mutations of them, the same in every run so that a failure repeats.
//
//   <target>_replay FOLDER... [--mutations N]
//
// Exits 1 when no corpus file can be read (a wrong folder would otherwise
// pass); a fault in the target ends the program as it would under libFuzzer.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Input = std::vector<uint8_t>;
constexpr size_t kMaxSize = 65536;

void Run(const Input& input) { LLVMFuzzerTestOneInput(input.data(), input.size()); }

// One to eight edits of the kinds that find framing and length faults:
// bits, bytes, insertions, deletions, repeats, splices and 32-bit lengths.
Input Mutate(const std::vector<Input>& corpus, std::mt19937& random) {
    Input input = corpus[random() % corpus.size()];
    static const uint8_t kBytes[] = {0, 0xFF, 0x7F, 0x80, '<', '>', '/', '[', ']', ',', '-', ' ', '\t', '0', '9', 0xD8, 0xC0};
    static const uint32_t kLengths[] = {0, 1, 6, 7, 1017, 1018, 10485753, 10485754, 0x7FFFFFFF, 0xFFFFFFFF};
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int edit = 0; edit < edits; ++edit) {
        const size_t at = input.empty() ? 0 : random() % input.size();
        switch (random() % 8) {
            case 0: if (!input.empty()) input[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
            case 1: if (!input.empty()) input[at] = static_cast<uint8_t>(random()); break;
            case 2: input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(random())); break;
            case 3: input.erase(input.begin() + static_cast<std::ptrdiff_t>(at),
                                input.begin() + static_cast<std::ptrdiff_t>(at + std::min<size_t>(input.size() - at, 1 + random() % 16)));
                    break;
            case 4: {
                const size_t length = std::min<size_t>(input.size() - at, 1 + random() % 64);
                const Input part(input.begin() + static_cast<std::ptrdiff_t>(at), input.begin() + static_cast<std::ptrdiff_t>(at + length));
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(random() % (input.size() + 1)), part.begin(), part.end());
                break;
            }
            case 5: if (!input.empty()) input[at] = kBytes[random() % sizeof kBytes]; break;
            case 6: {
                const Input& other = corpus[random() % corpus.size()];
                if (other.empty()) break;
                const size_t from = random() % other.size();
                input.resize(at);
                input.insert(input.end(), other.begin() + static_cast<std::ptrdiff_t>(from), other.end());
                break;
            }
            default: {
                // The length field of a reply header, wherever the header starts.
                const size_t start = (random() % 2 == 0 ? 3 : 4);
                const uint32_t length = kLengths[random() % (sizeof kLengths / sizeof kLengths[0])];
                if (input.size() < start + 4) input.resize(start + 4);
                for (int byte = 0; byte < 4; ++byte) input[start + byte] = static_cast<uint8_t>(length >> (24 - 8 * byte));
                break;
            }
        }
        if (input.size() > kMaxSize) input.resize(kMaxSize);
    }
    // Half the time the header's length is made to match what follows it,
    // or nearly every edit would end at the framing check.
    const size_t start = random() % 2 == 0 ? 3 : 4;
    if (random() % 2 == 0 && input.size() >= start + 4) {
        const uint32_t length = static_cast<uint32_t>(input.size() - start - 4);
        for (int byte = 0; byte < 4; ++byte) input[start + byte] = static_cast<uint8_t>(length >> (24 - 8 * byte));
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Input> corpus;
    long mutations = 100000;
    for (int at = 1; at < argc; ++at) {
        if (std::strcmp(argv[at], "--mutations") == 0 && at + 1 < argc) {
            mutations = std::strtol(argv[++at], nullptr, 10);
            continue;
        }
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(argv[at], error)) {
            std::ifstream file(entry.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "no corpus file read\n");
        return 1;
    }
    for (const Input& input : corpus) Run(input);
    std::mt19937 random(20261206);
    for (long round = 0; round < mutations; ++round) Run(Mutate(corpus, random));
    std::printf("%zu corpus files and %ld mutations ran\n", corpus.size(), mutations);
    return 0;
}
