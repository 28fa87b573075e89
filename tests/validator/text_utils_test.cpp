#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "table_rows.h"
#include "validator/text_scan.h"
#include "validator/text_utils.h"

namespace {

using test_support::ForEachRow;
using zor::test::GetFileExtType;
using zor::test::GetVecFromString;
using zor::test::RemoveComments;
using zor::test::Trimming;

struct TextRow {
    std::string input;
    std::string set;
    std::string expected;
};

TEST(TextUtils, GetFileExtTypeTakesTextAfterLastDotOfWholePath)
{
    const TextRow rows[] = {
        {"run.nkvalid", "", "nkvalid"}, {"a.tar.gz", "", "gz"}, {"noext", "", ""},
        {"name.", "", ""},              {"", "", ""},           {"dir.d/file", "", "d/file"},
        {"./exp", "", "/exp"},
    };
    ForEachRow(rows, 7, [&](const TextRow& row) {
        EXPECT_EQ(GetFileExtType(row.input), row.expected) << row.input;
    });
}

TEST(TextUtils, TrimmingStripsSetCharactersAtBothEndsOnly)
{
    const TextRow rows[] = {
        {"  a b \t", " \t", "a b"}, {"\t\t", " \t", ""},  {"", "xy", ""},
        {"xxaxy", "xy", "a"},       {" q ", "xy", " q "}, {"yaxb", "xy", "axb"},
    };
    ForEachRow(rows, 6, [&](const TextRow& row) {
        EXPECT_EQ(Trimming(row.input, row.set), row.expected) << '[' << row.input << ']';
    });
}

TEST(TextUtils, RemoveCommentsCutsAtFirstHashThenTrims)
{
    const TextRow rows[] = {
        {"Type: numeric-match   # comment", " \t", "Type: numeric-match"},
        {"# only a comment", " \t", ""},
        {"  = 1 2\t", " \t", "= 1 2"},
        {"abc#def#g", " \t", "abc"},
        {"a\tb\r", " \t", "a\tb\r"},
    };
    ForEachRow(rows, 5, [&](const TextRow& row) {
        EXPECT_EQ(RemoveComments(row.input, row.set), row.expected) << '[' << row.input << ']';
    });
}

TEST(TextUtils, GetVecFromStringGivesOneValuePerSeparatedPiece)
{
    struct Row {
        std::string text;
        std::string separators;
        std::vector<float> expected;
    };
    const Row rows[] = {
        {"1 2.5 -3", " \t", {1, 2.5f, -3}},
        {"  1\t2  ", " \t", {1, 2}},
        {"1  2", " \t", {1, 0, 2}},
        {"", " \t", {0}},
        {"abc", " \t", {0}},
        {"1.5x 7", " \t", {1.5f, 7}},
        {"1e3 0x10", " \t", {1000, 16}},
        {" 1,2 ", ",", {1, 2}},
        {",1", ",", {0, 1}},
        {"1,", ",", {1, 0}},
        {"1,\n5", ",\n", {1, 0, 5}},  // an empty piece reads 0, not the next number
        {"0.1", " ", {0.1f}},
    };
    ForEachRow(rows, 12, [&](const Row& row) {
        EXPECT_THAT(GetVecFromString<float>(row.text, row.separators), testing::ElementsAreArray(row.expected))
            << '[' << row.text << ']';
    });
}

// The parser reads plain decimals without strtod; every piece must still
// give strtod's double, bit for bit, also where the fast reading stops short.
TEST(TextUtils, ReadNumberGivesStrtodOfThePieceAlone)
{
    const char* const pieces[] = {
        "0", "-0", "12.5", "-3.25", ".5", "-.5", "5.", "1e3", "1E-3", "1e", "1e+", "-1e-2x",
        "0.1", "3.4028235e38", "3.4028236e38", "1.000000059604644775390625",
        "1.00000005960464477539062499", "123456789012345678901234567890",
        "4.9406564584124654e-324", "2.4703282292062327e-324", "1e-400", "1e400", "-1e400",
        "0x10", "-0X1p-3", "00x5", "+5", " 5", "\r5", "\v", "inf", "-Infinity", "nan", "nan(7)",
        "-", "-.", ".", "", "abc", "1.5.5", "--1", "1_000",
    };
    for (const char* text : pieces) {
        const double expected = std::strtod(text, nullptr);
        const double got = zor::test::detail::ReadNumber(text);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(got)) << '[' << text << ']';
        } else {
            EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << '[' << text << "] " << got;
        }
    }
    // A piece ends where its view ends, not at the next NUL.
    const std::string line = "12 7e2 0x1";
    EXPECT_EQ(zor::test::detail::ReadNumber(std::string_view(line).substr(0, 1)), 1.0);
    EXPECT_EQ(zor::test::detail::ReadNumber(std::string_view(line).substr(3, 2)), 7.0);
    EXPECT_EQ(zor::test::detail::ReadNumber(std::string_view(line).substr(7, 2)), 0.0);
}

// The summary's numbers: what printf's "%f" writes, at the edges of the
// shortcut (ties, tiny and huge values, the sign of zero, nan and inf) and
// on a spread of bit patterns over the whole float range.
TEST(TextUtils, WriteFixedWritesWhatPrintfWrites)
{
    std::vector<float> values = {
        0.0f, -0.0f, 1.0f, -1.5f, 0.1f, 45.0f, -22.5f, 11.25f,
        0.0078125f, 0.0234375f, -0.0078125f, 0.0000005f, 0.0000015f, 0.00000049f, -0.0000004f,
        std::ldexp(1.0f, -20), std::ldexp(3.0f, -21), std::ldexp(1.0f, -40), std::ldexp(1.0f, -64),
        std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
        -std::numeric_limits<float>::max(), std::ldexp(16777215.0f, 39), std::ldexp(1.0f, 63),
        std::ldexp(1.0f, 64), 999999.9999f, 9999999.0f, 16777216.0f,
        std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
    };
    for (uint64_t bits = 12345; bits < (uint64_t{1} << 32); bits += 65521) {
        const uint32_t pattern = static_cast<uint32_t>(bits);
        float value = 0;
        std::memcpy(&value, &pattern, sizeof value);
        values.push_back(value);
    }
    for (const float value : values) {
        char expected[zor::test::detail::kFixedTextMax + 1];
        std::snprintf(expected, sizeof expected, "%f", static_cast<double>(value));
        char got[zor::test::detail::kFixedTextMax];
        const char* const end = zor::test::detail::WriteFixed(value, got);
        EXPECT_EQ(std::string(static_cast<const char*>(got), end), expected);
    }
}

}  // namespace
