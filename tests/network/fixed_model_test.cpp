#include <algorithm>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "network/facepose.h"
#include "scratch_dir.h"

namespace {

using test_support::ScratchDir;

using Results = std::vector<std::vector<float>>;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

const cv::Mat kImage(8, 8, CV_8UC3, cv::Scalar(10, 20, 30));

Results DetectWith(const std::string& modelPath, const std::vector<cv::Mat>& images, std::string* errors = nullptr)
{
    testing::internal::CaptureStderr();
    Results results;
    {
        zor::vision::Facepose network(modelPath, nullptr);
        network.Detect(images, results);
    }
    const std::string stderrText = testing::internal::GetCapturedStderr();
    if (errors != nullptr) {
        *errors = stderrText;
    }
    return results;
}

TEST(FixedModel, ReturnsItsOutputInEveryDocumentFormat)
{
    ScratchDir dir;
    const std::string documents[] = {
        "%YAML:1.0\n---\nkind: \"fixed\"\noutput: [ 1, -2.5, 3e2 ]\n",
        "{ \"kind\": \"fixed\", \"output\": [ 1, -2.5, 300 ] }\n",
        "<?xml version=\"1.0\"?>\n<opencv_storage>\n<kind>fixed</kind>\n<output>1 -2.5 300</output>\n"
        "</opencv_storage>\n",
    };
    for (const std::string& document : documents) {
        const std::string path = dir.Write("model.nmodel", document);
        std::string errors;
        const Results results = DetectWith(path, {kImage}, &errors);
        ASSERT_EQ(results.size(), 1u) << document;
        EXPECT_THAT(results[0], ElementsAre(1.0f, -2.5f, 300.0f)) << document;
        EXPECT_EQ(errors, "") << document;
    }
}

TEST(FixedModel, GivesOneVectorPerImageAndAnEmptyOneForAnEmptyImage)
{
    ScratchDir dir;
    const std::string path = dir.Write("model.nmodel", "%YAML:1.0\n---\nkind: \"fixed\"\noutput: [ 4, 5 ]\n");
    const cv::Mat gray(4, 4, CV_8UC1, cv::Scalar(7));
    const Results results = DetectWith(path, {kImage, cv::Mat(), gray});
    ASSERT_EQ(results.size(), 3u);
    EXPECT_THAT(results[0], ElementsAre(4.0f, 5.0f));
    EXPECT_THAT(results[1], IsEmpty());
    EXPECT_THAT(results[2], ElementsAre(4.0f, 5.0f));
}

TEST(FixedModel, UnusableFilesGiveEmptyResultsAndOneLineNamingTheProblem)
{
    ScratchDir dir;
    struct Row {
        const char* content;  // null: the file is not created
        std::string problem;
    };
    const Row rows[] = {
        {"%YAML:1.0\n---\nkind: \"mystery\"\noutput: [ 1 ]\n", "unknown kind \"mystery\""},
        {"%YAML:1.0\n---\noutput: [ 1 ]\n", "no string \"kind\""},
        {"%YAML:1.0\n---\nkind: 3\n", "no string \"kind\""},
        {"%YAML:1.0\n---\nkind: \"fixed\"\noutput: [ 1, \"two\", 3 ]\n", "not a number"},
        {"%YAML:1.0\n---\nkind: \"fixed\"\noutput: 7\n", "not a sequence"},
        {"%YAML:1.0\n---\nkind: \"fixed\"\n", "not a sequence"},
        {"", "not a readable model document"},
        {"\x89PNG\r\n\x1a\n\x01\x02garbage", "not a readable model document"},
        {"%YAML:1.0\n---\nkind: \"fixed\"\noutput: [ 1, 2", "not a readable model document"},
        {nullptr, "the file cannot be opened"},
    };
    for (const Row& row : rows) {
        const std::string path = row.content ? dir.Write("model.nmodel", row.content) : dir.Path("absent.nmodel");
        std::string errors;
        const Results results = DetectWith(path, {kImage}, &errors);
        const std::string what = row.content ? row.content : path;
        ASSERT_EQ(results.size(), 1u) << what;
        EXPECT_THAT(results[0], IsEmpty()) << what;
        EXPECT_THAT(errors, HasSubstr("cannot load model file " + path + ": ")) << what;
        EXPECT_THAT(errors, HasSubstr(row.problem)) << what;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    }
}

}  // namespace
