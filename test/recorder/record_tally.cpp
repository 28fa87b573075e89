#include "record_tally.h"

namespace zor::test::recorder {

std::string SummaryLine(const Tally& tally, bool update)
{
    const auto count = [&tally](Outcome outcome) { return std::to_string(tally.Count(outcome)); };
    std::string line = update ? count(Outcome::kWritten) + " updated, " + count(Outcome::kStillPasses) + " still pass"
                              : count(Outcome::kWritten) + " recorded, " + count(Outcome::kKept) +
                                    " kept (exists; -f to overwrite)";
    line += ", " + count(Outcome::kCouldNotRun) + " could not run";
    if (tally.Count(Outcome::kNotWritten) > 0) {
        line += ", " + count(Outcome::kNotWritten) + (update ? " not updated" : " not written");
    }
    if (tally.Count(Outcome::kNotRecordedYet) > 0) {
        line += ", " + count(Outcome::kNotRecordedYet) + " not recorded yet (record_facepose -c)";
    }
    return line;
}

int FolderStatus(const Tally& tally)
{
    return tally.Count(Outcome::kCouldNotRun) + tally.Count(Outcome::kNotWritten) > 0 ? 1 : 0;
}

}  // namespace zor::test::recorder
