#pragma once

// What became of each case of a case folder, counted for the closing line
// and the exit status.

#include <array>
#include <string>

namespace zor::test::recorder {

enum class Outcome {
    kWritten,         // recorded, or with --update recorded again
    kKept,            // an existing file left without -f
    kStillPasses,     // with --update, an expectation the pose still passes
    kCouldNotRun,     // no pose: no face, an image that does not decode, a broken case folder
    kNotWritten,      // a pose, but its file could not be written (read-only, not a usable name, ...)
    kNotRecordedYet,  // with --update, a case without an expectation file
};

class Tally {
public:
    void Add(Outcome outcome) { ++m_counts[static_cast<std::size_t>(outcome)]; }
    unsigned Count(Outcome outcome) const { return m_counts[static_cast<std::size_t>(outcome)]; }

private:
    std::array<unsigned, 6> m_counts{};
};

// The closing line: "30 recorded, 2 kept (exists; -f to overwrite), 1 could
// not run", or with --update "3 updated, 29 still pass, 1 could not run";
// files that could not be written, and with --update cases not recorded
// yet, are added when there are any.
std::string SummaryLine(const Tally& tally, bool update);

// 1 when a case could not be recorded (or updated), else 0.
int FolderStatus(const Tally& tally);

}  // namespace zor::test::recorder
