// gen_expectation: writes a large expectation file for the benchmarks.
//
//   gen_expectation numeric|string LINES OUT_FILE
//
// numeric: a numeric-match file whose first data line is the pose of the
// bundled fixed model ("< 45 -22.5 11.25", so the driver's check passes) and
// whose other lines hold three pseudo-random values (one to four decimals,
// signs "=", ">" and "<" in turn). "Nums to Check" is 1, as in a file written
// for one image with many reference lines.
// string: a string-match file of LINES distinct labels in scrambled order,
// every hundredth one followed by a comment.
//
// The output depends only on the arguments.

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "validator/expectation_text.h"

namespace {

// Values have one to four decimals.
constexpr double kDecimalScales[] = {10.0, 100.0, 1000.0, 10000.0};

// 64-bit linear congruential generator (Knuth's MMIX constants).
struct Lcg {
    uint64_t state = 0x853c49e6748fea9bULL;
    uint32_t Next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
};

void WriteNumeric(std::FILE* out, uint64_t lines)
{
    zor::test::ExpectationHeader header;
    header.comments = {"Generated for the validation benchmark."};
    header.type = "numeric-match";
    header.numsToCheck = "1";
    header.threshold = "1";
    header.thresholdComment = "percent of the expected value";
    std::fputs(zor::test::ExpectationHeaderText(header).c_str(), out);
    if (lines == 0) {
        return;
    }
    std::fputs(zor::test::NumericLineText("<", {45.0f, -22.5f, 11.25f}).c_str(), out);
    static const char* const kSigns[] = {"=", ">", "<"};
    Lcg random;
    for (uint64_t i = 1; i < lines; ++i) {
        std::vector<float> values;
        for (int v = 0; v < 3; ++v) {
            const double scale = kDecimalScales[random.Next() % 4];
            values.push_back(static_cast<float>(
                std::round((static_cast<double>(random.Next() % 4000001) - 2000000.0) / 10000.0 * scale) / scale));
        }
        std::fputs(zor::test::NumericLineText(kSigns[i % 3], values).c_str(), out);
    }
}

void WriteString(std::FILE* out, uint64_t lines)
{
    zor::test::ExpectationHeader header;
    header.comments = {"Generated for the validation benchmark."};
    header.type = "string-match";
    std::fputs(zor::test::ExpectationHeaderText(header).c_str(), out);
    for (uint64_t i = 0; i < lines; ++i) {
        // Multiplying by an odd constant modulo 2^32 is a bijection: the
        // labels are distinct and out of order.
        const uint32_t label = static_cast<uint32_t>(i * 2654435761ULL);
        std::fprintf(out, "face %08" PRIx32 " turn %" PRIu32 "%s\n", label, label % 360,
                     i % 100 == 99 ? "   # checked by hand" : "");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "numeric") != 0 && std::strcmp(argv[1], "string") != 0)) {
        std::fprintf(stderr, "usage: %s numeric|string LINES OUT_FILE\n", argv[0]);
        return 2;
    }
    const uint64_t lines = std::strtoull(argv[2], nullptr, 10);
    std::FILE* out = std::fopen(argv[3], "w");
    if (out == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    if (argv[1][0] == 'n') {
        WriteNumeric(out, lines);
    } else {
        WriteString(out, lines);
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[3]);
        return 1;
    }
    return 0;
}
