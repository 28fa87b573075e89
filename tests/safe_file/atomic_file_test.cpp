#include <signal.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "safe_file/atomic_file.h"
#include "scratch_dir.h"

namespace {

using zor::safe_file::AtomicFile;

bool IsEmptyFolder(const std::string& path)
{
    return std::filesystem::is_empty(std::filesystem::path(path));
}

// A signal that ends the process while temporary files exist (two, as when
// two workers write their logs at once) removes them first; the process
// still ends by that signal.
TEST(AtomicFileTest, EndingSignalRemovesTheTemporaryFiles)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const test_support::ScratchDir dir;
        EXPECT_EXIT(
            {
                AtomicFile first(dir.Path("first.log"));
                AtomicFile second(dir.Path("second.log"));
                if (first.Open() && second.Open()) {
                    first.Stream() << "part of a log";
                    ::raise(signal);
                }
                std::_Exit(0);
            },
            testing::KilledBySignal(signal), "");
        EXPECT_TRUE(IsEmptyFolder(dir.Path(""))) << "signal " << signal;
    }
}

// Files written at the same time, as by the workers of one process, each
// take their name; afterwards an ending signal has its default action again.
TEST(AtomicFileTest, FilesWrittenAtOnceAreAllCommitted)
{
    const test_support::ScratchDir dir;
    {
        AtomicFile first(dir.Path("first.log"));
        AtomicFile second(dir.Path("second.log"));
        ASSERT_TRUE(first.Open());
        ASSERT_TRUE(second.Open());
        first.Stream() << "first";
        second.Stream() << "second";
        ASSERT_TRUE(first.Close() && second.Close());
        EXPECT_TRUE(second.Commit(true));
        EXPECT_TRUE(first.Commit(true));
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path("first.log")));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path("second.log")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 2);
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
