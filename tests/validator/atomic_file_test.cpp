#include <signal.h>

#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "scratch_dir.h"
#include "validator/atomic_file.h"
#include "validator/log_sections.h"

namespace {

using zor::test::AtomicFile;

bool IsEmptyFolder(const std::string& path)
{
    return std::filesystem::is_empty(std::filesystem::path(path));
}

// A signal that ends the process while the temporary file exists removes it
// first; the process still ends by that signal.
TEST(AtomicFileTest, EndingSignalRemovesTheTemporaryFile)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const test_support::ScratchDir dir;
        EXPECT_EXIT(
            {
                AtomicFile file(dir.Path("case.log"));
                if (file.Open()) {
                    file.Stream() << "part of a log";
                    ::raise(signal);
                }
                std::_Exit(0);
            },
            testing::KilledBySignal(signal), "");
        EXPECT_TRUE(IsEmptyFolder(dir.Path(""))) << "signal " << signal;
    }
}

// A section whose text could not be composed (its stream failed for want of
// memory) makes the log unwritable instead of leaving it short.
TEST(AtomicFileTest, FailedSectionStreamFailsTheLog)
{
    for (const bool failed : {false, true}) {
        zor::test::LogStream log;
        log.dataStream << "    Total validation num: 1.\n";
        if (failed) {
            log.checkStream.setstate(std::ios::badbit);
        }
        std::ostringstream out;
        EXPECT_EQ(zor::test::WriteLogSections(log, out), !failed);
    }
}

}  // namespace
