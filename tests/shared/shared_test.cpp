#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_dir.h"
#include "shared/case_folder.h"
#include "shared/model_loaded.h"
#include "shared/pose_run.h"
#include "table_rows.h"

namespace {

using test_support::ForEachRow;
using test_support::ScratchDir;
using zor::test::shared::SkippedEntry;

// The one place that knows how the library keeps a loaded model tells a
// model that loaded from one that did not.
TEST(SharedModel, ModelLoadedTellsALoadedModelFromOneThatDidNot)
{
    const ScratchDir dir;
    dir.Write("light_rpoly_lmp_iter_75000_w_scale.nmodel", "%YAML:1.0\n---\nkind: \"mystery\"\n");
    const struct {
        std::string model_dir;
        bool loaded;
    } rows[] = {{ZOR_SAMPLE_DIR "/fixed-model", true}, {dir.Path(""), false}};
    ForEachRow(rows, 2, [](const auto& row) {
        const zor::vision::Facepose network(zor::test::shared::ModelFilePath(row.model_dir), nullptr);
        EXPECT_EQ(zor::test::shared::ModelLoaded(network), row.loaded);
    });
}

// A case folder is a case only with one image and at most one expectation.
TEST(SharedCases, FindCasesTakesOneImageAndAtMostOneExpectation)
{
    const ScratchDir dir;
    const struct {
        std::string name;
        std::vector<std::string> files;
        bool is_case;
    } rows[] = {
        {"alone", {"face.png"}, true},
        {"checked", {"face.png", "face.nkvalid"}, true},
        {"images", {"a.png", "b.jpg", "face.nkvalid"}, false},
        {"two-expectations", {"face.png", "a.nkvalid", "b.nkvalid"}, false},
        {"three-expectations", {"face.png", "a.nkvalid", "b.nkvalid", "c.nkvalid"}, false},
    };
    for (const auto& row : rows) {
        std::filesystem::create_directory(dir.Path(row.name));
        for (const std::string& file : row.files) {
            dir.Write(row.name + "/" + file, "");
        }
    }
    dir.Write("plain", "");
    std::vector<zor::test::shared::CaseFiles> cases;
    std::vector<SkippedEntry> skipped;
    std::error_code error;
    ASSERT_TRUE(zor::test::shared::FindCases(dir.Path(""), cases, skipped, error));
    ForEachRow(rows, 5, [&](const auto& row) {
        const auto is = [&](const auto& one) { return one.name == row.name; };
        const auto at = [&](const SkippedEntry& entry) {
            return std::filesystem::path(entry.path).filename() == row.name && entry.why == SkippedEntry::Why::kWrongFiles;
        };
        EXPECT_EQ(std::count_if(cases.begin(), cases.end(), is), row.is_case ? 1 : 0);
        EXPECT_EQ(std::count_if(skipped.begin(), skipped.end(), at), row.is_case ? 0 : 1);
    });
    ASSERT_EQ(cases.size(), 2u);
    EXPECT_EQ(cases[1].expectation, dir.Path("checked/face.nkvalid"));
    EXPECT_EQ(cases[0].expectation, "");
    EXPECT_EQ(std::count_if(skipped.begin(), skipped.end(),
                            [](const SkippedEntry& entry) { return entry.why == SkippedEntry::Why::kNotAFolder; }),
              1);
}

}  // namespace
