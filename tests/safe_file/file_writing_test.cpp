#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "safe_file/file_writing.h"
#include "scratch_dir.h"
#include "table_rows.h"

namespace {

using test_support::ScratchDir;

std::string Content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FileWritingTest, WriteWholeReplacesAnEarlierFile)
{
    const ScratchDir dir;
    const std::string path = dir.Write("report.html", "old report");
    EXPECT_TRUE(zor::test::safe_file::WriteWhole(path, "new"));
    EXPECT_EQ(Content(path), "new");
}

// An earlier run's result goes; a link, its target and a folder stay.
TEST(FileWritingTest, RemoveOldFileRemovesRegularFilesOnly)
{
    const ScratchDir dir;
    const std::string target = dir.Write("target", "kept");
    ASSERT_EQ(::symlink(target.c_str(), dir.Path("link").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.Path("folder").c_str(), 0700), 0);
    dir.Write("old.log", "old");
    const struct {
        const char* name;
        bool removed;
    } rows[] = {{"old.log", true}, {"link", false}, {"folder", false}};
    test_support::ForEachRow(rows, 3, [&](const auto& row) {
        zor::test::safe_file::RemoveOldFile(dir.Path(row.name));
        struct stat info {};
        EXPECT_EQ(::lstat(dir.Path(row.name).c_str(), &info) != 0, row.removed) << row.name;
    });
    EXPECT_EQ(Content(target), "kept");
}

}  // namespace
