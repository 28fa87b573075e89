#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "validator/text_utils.h"

namespace {

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
    for (const TextRow& row : rows) {
        EXPECT_EQ(GetFileExtType(row.input), row.expected) << row.input;
    }
}

TEST(TextUtils, TrimmingStripsSetCharactersAtBothEndsOnly)
{
    const TextRow rows[] = {
        {"  a b \t", " \t", "a b"}, {"\t\t", " \t", ""},  {"", "xy", ""},
        {"xxaxy", "xy", "a"},       {" q ", "xy", " q "}, {"yaxb", "xy", "axb"},
    };
    for (const TextRow& row : rows) {
        EXPECT_EQ(Trimming(row.input, row.set), row.expected) << '[' << row.input << ']';
    }
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
    for (const TextRow& row : rows) {
        EXPECT_EQ(RemoveComments(row.input, row.set), row.expected) << '[' << row.input << ']';
    }
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
        {"1 \t2", " \t", {1, 0, 2}},
        {"", " \t", {0}},
        {"abc", " \t", {0}},
        {"1.5x 7", " \t", {1.5f, 7}},
        {"1e3 0x10", " \t", {1000, 16}},
        {" 1,2 ", ",", {1, 2}},
        {"1, 2", ",", {1, 2}},
        {",1", ",", {0, 1}},
        {"1,", ",", {1, 0}},
        {"1,\n5", ",\n", {1, 0, 5}},  // an empty piece reads 0, not the next number
        {"0.1", " ", {0.1f}},
    };
    for (const Row& row : rows) {
        EXPECT_THAT(GetVecFromString<float>(row.text, row.separators), testing::ElementsAreArray(row.expected))
            << '[' << row.text << ']';
    }
}

}  // namespace
