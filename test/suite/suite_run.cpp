#include "suite_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "case_runner.h"
#include "html_report.h"
#include "junit_report.h"
#include "network/file_utils.h"
#include "progress.h"
#include "safe_file/file_writing.h"
#include "shared/case_folder.h"
#include "shared/pose_run.h"

namespace facepose_suite {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitFailed = 1;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The validator prints each expectation file's summary and the network may
// print too: standard output goes to /dev/null while the cases run, and the
// suite's own lines go to the stream this gives (the original output).
std::FILE* TakeOverOutput()
{
    std::fflush(stdout);
    const int original = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (original < 0 || null < 0 || ::dup2(null, STDOUT_FILENO) < 0) {
        return nullptr;
    }
    ::close(null);
    ::fcntl(original, F_SETFD, FD_CLOEXEC);
    std::FILE* out = ::fdopen(original, "w");
    if (out != nullptr) {
        std::setvbuf(out, nullptr, _IOLBF, 0);
    }
    return out;
}

struct StageTotals {
    StageTimes stages;
    double model_load = 0;  // summed over workers
};

// Runs `cases` on `jobs` workers, each with its own network; results[i] is
// case i's.
void RunCases(const std::vector<CaseFiles>& cases, const SuiteOptions& options, const std::string& model_path,
              Progress* progress, std::vector<CaseResult>& results, StageTotals& totals)
{
    std::atomic<size_t> next{0};
    const unsigned workers = static_cast<unsigned>(std::min<size_t>(options.jobs, cases.size()));
    // The networks are made here, one after the other, before any worker
    // runs: loading a model starts a child process to read it, which is safe
    // only while no other thread may hold a lock the child would need.
    std::vector<std::unique_ptr<CaseRunner>> runners;
    std::vector<double> loads;
    for (unsigned worker = 0; worker < workers; ++worker) {
        const Clock::time_point start = Clock::now();
        runners.push_back(std::make_unique<CaseRunner>(model_path));
        loads.push_back(SecondsSince(start) * 1000.0);
    }
    auto work = [&](unsigned worker) {
        CaseRunner& runner = *runners[worker];
        for (size_t i = next++; i < cases.size(); i = next++) {
            try {
                results[i] = runner.Run(cases[i], options.report_dir);
            } catch (const std::exception& e) {
                results[i].files = cases[i];
                results[i].verdict = Verdict::kError;
                results[i].reason = std::string("unexpected failure: ") + e.what();
            }
            progress->Done(i);
        }
    };
    // The workers share the cores: OpenCV's own parallel loops get what is left.
    if (workers > 1) {
        cv::setNumThreads(static_cast<int>(std::max(1u, std::thread::hardware_concurrency() / workers)));
    }
    std::vector<std::thread> threads;
    for (unsigned worker = 1; worker < workers; ++worker) {
        threads.emplace_back(work, worker);
    }
    if (workers > 0) {
        work(0);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const double load : loads) {
        totals.model_load += load;
    }
    for (const CaseResult& result : results) {
        totals.stages.read += result.stages.read;
        totals.stages.network += result.stages.network;
        totals.stages.check += result.stages.check;
        totals.stages.picture += result.stages.picture;
    }
}

void PrintSummary(std::FILE* out, const std::vector<CaseResult>& results, const StageTotals& totals,
                  unsigned workers, double report_ms, double seconds, const std::string& report_dir)
{
    size_t passed = 0;
    size_t failed = 0;
    for (const CaseResult& result : results) {
        passed += result.verdict == Verdict::kPassed;
        failed += result.verdict == Verdict::kFailed;
    }
    std::fprintf(out, "%zu cases: %zu passed, %zu failed, %zu could not run (%.2f s)\n", results.size(), passed,
                 failed, results.size() - passed - failed, seconds);
    if (!results.empty()) {
        const double n = static_cast<double>(results.size());
        std::fprintf(out,
                     "per case: image %.1f ms, network %.1f ms, check and log %.1f ms, picture %.1f ms; "
                     "model load %.1f ms per worker (%u); report %.1f ms\n",
                     totals.stages.read / n, totals.stages.network / n, totals.stages.check / n,
                     totals.stages.picture / n, totals.model_load / workers, workers, report_ms);
    }
    std::fprintf(out, "report: %s/report.html\n", report_dir.c_str());
}

// The cases to run: those of the cases folder that have an expectation
// file, filtered and sharded. Entries that are not cases are reported.
bool FindSuiteCases(const SuiteOptions& options, std::vector<CaseFiles>& cases)
{
    std::vector<CaseFiles> all;
    std::vector<facepose::SkippedEntry> skipped;
    std::error_code error;
    if (!facepose::FindCases(options.cases_dir, all, skipped, error)) {
        std::fprintf(stderr, "facepose_suite: cannot read the cases folder %s\n", options.cases_dir.c_str());
        return false;
    }
    for (const facepose::SkippedEntry& entry : skipped) {
        const std::string name = std::filesystem::path(entry.path).lexically_relative(options.cases_dir).string();
        switch (entry.why) {
        case facepose::SkippedEntry::Why::kNotAFolder:
            std::fprintf(stderr, "facepose_suite: skipped %s: not a folder\n", name.c_str());
            break;
        case facepose::SkippedEntry::Why::kUnreadable:
            std::fprintf(stderr, "facepose_suite: skipped %s: cannot be read (%s)\n", name.c_str(),
                         entry.detail.c_str());
            break;
        case facepose::SkippedEntry::Why::kWrongFiles:
            std::fprintf(stderr, "facepose_suite: skipped %s: needs one image and one .nkvalid file\n", name.c_str());
            break;
        }
    }
    for (const CaseFiles& one : all) {
        if (one.expectation.empty()) {
            std::fprintf(stderr, "facepose_suite: skipped %s: needs one image and one .nkvalid file\n",
                         one.name.c_str());
        }
    }
    all.erase(std::remove_if(all.begin(), all.end(), [](const CaseFiles& one) { return one.expectation.empty(); }),
              all.end());
    cases = facepose::SelectCases(all, options.filter, options.shard_index, options.shard_count);
    return true;
}

}  // namespace

int RunSuite(const SuiteOptions& options)
{
    const Clock::time_point start = Clock::now();

    const std::string model_path = facepose::ModelFilePath(options.model_dir);
    if (!zor::utils::FileExist(model_path)) {
        std::fprintf(stderr, "facepose_suite: cannot find the model file %s\n", model_path.c_str());
        return kExitFailed;
    }
    std::vector<CaseFiles> cases;
    if (!FindSuiteCases(options, cases)) {
        return kExitFailed;
    }
    // A sharding test runner asks for this file to see that the shard was honoured.
    if (const char* status = std::getenv("GTEST_SHARD_STATUS_FILE"); status != nullptr && *status != '\0') {
        zor::safe_file::WriteWhole(status, "");
    }
    if (!zor::safe_file::MakeFolder(options.report_dir)) {
        std::fprintf(stderr, "facepose_suite: cannot make the report folder %s\n", options.report_dir.c_str());
        return kExitFailed;
    }
    std::FILE* out = TakeOverOutput();
    if (out == nullptr) {
        std::fprintf(stderr, "facepose_suite: cannot set up the output\n");
        return kExitFailed;
    }

    std::vector<CaseResult> results(cases.size());
    StageTotals totals;
    {
        Progress progress(out, ::isatty(STDERR_FILENO) ? stderr : nullptr, results);
        RunCases(cases, options, model_path, &progress, results, totals);
    }

    const Clock::time_point report_start = Clock::now();
    char shard[64];
    std::snprintf(shard, sizeof shard, "shard %u/%u", options.shard_index, options.shard_count);
    const std::string note = "model " + options.model_dir + ", cases " + options.cases_dir +
                             (options.shard_count > 1 ? ", " + std::string(shard) : "") +
                             (options.filter.empty() ? "" : ", names containing \"" + options.filter + "\"");
    bool written = zor::safe_file::WriteWhole(options.report_dir + "/junit.xml",
                                              JunitXml(results, SecondsSince(start)));
    written = zor::safe_file::WriteWhole(options.report_dir + "/report.html",
                                         ReportHtml(results, note)) &&
              written;
    const double report_ms = SecondsSince(report_start) * 1000.0;
    const unsigned workers = std::max(1u, static_cast<unsigned>(std::min<size_t>(options.jobs, cases.size())));
    PrintSummary(out, results, totals, workers, report_ms, SecondsSince(start), options.report_dir);
    std::fclose(out);
    if (!written) {
        std::fprintf(stderr, "facepose_suite: cannot write the report into %s\n", options.report_dir.c_str());
        return kExitFailed;
    }
    const bool all_passed = std::all_of(results.begin(), results.end(),
                                        [](const CaseResult& result) { return result.verdict == Verdict::kPassed; });
    return all_passed ? 0 : kExitFailed;
}

}  // namespace facepose_suite
