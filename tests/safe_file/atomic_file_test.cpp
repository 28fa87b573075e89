#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "safe_file/atomic_file.h"
#include "scratch_dir.h"

namespace {

using zor::test::safe_file::AtomicFile;

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

bool EndingSignalHasItsDefault()
{
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    return now.sa_handler == SIG_DFL;
}

bool WriteWhole(AtomicFile& file, const std::string& text)
{
    if (!file.Open()) {
        return false;
    }
    file.Stream() << text;
    return file.Close() && file.Commit(true);
}

// A signal that ends the process while temporary files exist removes them
// first, also after another file was named meanwhile; the named file stays
// and the process still ends by that signal.
TEST(AtomicFileTest, EndingSignalRemovesTheTemporaryFiles)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const test_support::ScratchDir dir;
        EXPECT_EXIT(
            {
                AtomicFile named(dir.Path("named.log"));
                AtomicFile second(dir.Path("second.log"));
                AtomicFile third(dir.Path("third.log"));
                if (second.Open() && third.Open() && WriteWhole(named, "whole")) {
                    second.Stream() << "part of a log";
                    ::raise(signal);
                }
                std::_Exit(0);
            },
            testing::KilledBySignal(signal), "");
        EXPECT_EQ(Names(dir.Path("")), std::set<std::string>{"named.log"}) << "signal " << signal;
    }
}

// Workers that write files while the signal comes: whichever thread takes
// it, no temporary file is left, whatever stage each worker was in.
TEST(AtomicFileTest, EndingSignalDuringWritesOnOtherThreadsLeavesNoTemporaryFile)
{
    for (int round = 0; round < 20; ++round) {
        const test_support::ScratchDir dir;
        EXPECT_EXIT(
            {
                std::atomic<int> written{0};
                auto work = [&](int worker) {
                    for (int i = 0;; ++i) {
                        AtomicFile file(dir.Path(std::to_string(worker) + "-" + std::to_string(i % 50) + ".log"));
                        WriteWhole(file, "a log");
                        ++written;
                    }
                };
                std::thread(work, 0).detach();
                std::thread(work, 1).detach();
                while (written < 20 + 7 * round) {
                    std::this_thread::yield();
                }
                ::kill(::getpid(), SIGTERM);
                std::this_thread::sleep_for(std::chrono::seconds(5));
                std::_Exit(0);
            },
            testing::KilledBySignal(SIGTERM), "");
        for (const std::string& name : Names(dir.Path(""))) {
            EXPECT_EQ(name.find(".log."), std::string::npos) << "round " << round << " left " << name;
        }
    }
}

// However a file ends (named, given up, refused), it is no longer one an
// ending signal removes: after the last one the signals have their default
// action again, and not before. More files may be pending at once than any
// fixed table would hold, as when a suite runs many workers.
TEST(AtomicFileTest, EndingSignalsAreRestoredAfterTheLastPendingFile)
{
    const test_support::ScratchDir dir;
    std::vector<std::unique_ptr<AtomicFile>> others;
    for (int i = 0; i < 100; ++i) {
        others.push_back(std::make_unique<AtomicFile>(dir.Path(std::to_string(i) + ".log")));
        ASSERT_TRUE(others.back()->Open()) << i;
    }
    {
        AtomicFile named(dir.Path("named.log"));
        EXPECT_TRUE(WriteWhole(named, "named"));
        AtomicFile abandoned(dir.Path("abandoned.log"));
        EXPECT_TRUE(abandoned.Open());
        AtomicFile refused(dir.Path("refused.log"));
        ASSERT_TRUE(refused.Open());
        ASSERT_TRUE(refused.Close());
        ASSERT_EQ(::mkdir(dir.Path("refused.log").c_str(), 0700), 0);
        EXPECT_FALSE(refused.Commit(true));
    }
    EXPECT_FALSE(EndingSignalHasItsDefault()) << "a pending file is no longer protected";
    for (auto& other : others) {
        EXPECT_TRUE(other->Close() && other->Commit(true));
        EXPECT_EQ(EndingSignalHasItsDefault(), &other == &others.back()) << "after file " << &other - &others[0];
    }
    EXPECT_EQ(Names(dir.Path("")).size(), 102u);
}

// A file that is done frees its place among the pending files for the next
// one: files written one after the other hold no memory (a place is about
// 4 KB).
TEST(AtomicFileTest, FilesInARowReuseTheirPendingPlace)
{
    const test_support::ScratchDir dir;
    const auto allocated = [] { return ::mallinfo2().uordblks; };
    AtomicFile first(dir.Path("first.log"));
    ASSERT_TRUE(WriteWhole(first, "first"));
    const size_t before = allocated();
    for (int i = 0; i < 1000; ++i) {
        AtomicFile file(dir.Path("row.log"));
        ASSERT_TRUE(WriteWhole(file, "row"));
    }
    EXPECT_LT(allocated(), before + 1000 * 1024);
}

// A name as long as a folder entry may be is written, with or without a
// suffix on the temporary name.
TEST(AtomicFileTest, LongestNameIsWritten)
{
    for (const std::string suffix : {"", ".nkvalid"}) {
        const test_support::ScratchDir dir;
        const std::string name = std::string(255 - 4, 'n') + ".log";
        AtomicFile file(dir.Path(name), suffix);
        EXPECT_TRUE(WriteWhole(file, "whole")) << "suffix '" << suffix << "': " << std::strerror(errno);
        EXPECT_EQ(Names(dir.Path("")), std::set<std::string>{name});
    }
}

// A replaced file keeps the permissions (and, where the process may give
// them, the owner and group) that its user gave it.
TEST(AtomicFileTest, ReplacedFileKeepsItsModeAndOwner)
{
    const test_support::ScratchDir dir;
    const std::string path = dir.Write("private.log", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 4321, 4321), 0);
    }
    AtomicFile file(path);
    ASSERT_TRUE(WriteWhole(file, "new"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4321u);
    }
}

}  // namespace
