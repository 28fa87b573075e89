#include "shared/pose_judge.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include <glog/logging.h>

#include "shared/log_name.h"

namespace zor::test::shared {

Judgement JudgePose(const std::string& expectation_path, const std::string& log_dir,
                    const std::vector<float>& pose, const RecordSource* verdict_record)
{
    Judgement judgement;
    const std::string log_name = LogNameFor(expectation_path);
    judgement.log_path = log_dir.empty() ? log_name : log_dir + "/" + log_name;
    std::cout << "test: " << expectation_path << std::endl;
    std::string path = expectation_path;
    zor::test::ResultValidator validator(path);
    validator.SetLogType(zor::test::VLOG_FULL);
    validator.SetOutputlogName(judgement.log_path);
    // The check replaces the parser's messages: take its word first.
    const auto& messages = validator.SystemMessages();
    if (const auto file_message = messages.find(zor::test::ERR_FILE); file_message != messages.end()) {
        judgement.file_problem = file_message->second;
    }
    {
        std::optional<google::LogMessage> record;
        if (verdict_record != nullptr) {
            record.emplace(verdict_record->file, verdict_record->line);
        }
        judgement.check = validator.CheckNumeric({pose});
        if (record) {
            record->stream() << (judgement.check.passed ? "Test passed." : "Test failed.");
            std::cout.flush();
            std::fflush(stdout);
        }
    }
    const auto& expected = validator.NumericData();
    if (validator.Loaded() && !expected.empty() && expected[0].values.size() == 3) {
        judgement.expected_pose = expected[0].values;
    }
    return judgement;
}

}  // namespace zor::test::shared
