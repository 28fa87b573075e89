#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "network/file_utils.h"
#include "scratch_dir.h"

namespace {

using test_support::ScratchDir;

TEST(FileExist, TrueOnlyForRegularFilesReachedThroughLinks)
{
    ScratchDir dir;
    const std::string file = dir.Write("model.nmodel", "x");
    const std::string empty = dir.Write("empty", "");
    ASSERT_EQ(::symlink(file.c_str(), dir.Path("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Path("gone").c_str(), dir.Path("broken").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.Path("folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(dir.Path("folder").c_str(), dir.Path("folder-link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Path("fifo").c_str(), 0644), 0);

    struct Row {
        std::string path;
        bool exists;
    };
    const Row rows[] = {
        {file, true},
        {empty, true},
        {dir.Path("link"), true},
        {dir.Path("broken"), false},
        {dir.Path("folder"), false},
        {dir.Path("folder-link"), false},
        {dir.Path("fifo"), false},
        {dir.Path("nothing"), false},
        {"", false},
        {file + "/", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(zor::utils::FileExist(row.path), row.exists) << row.path;
    }
}

}  // namespace
