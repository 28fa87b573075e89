#include "suite_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "case_runner.h"
#include "clean_text.h"
#include "html_report.h"
#include "junit_report.h"
#include "network/file_utils.h"
#include "overview.h"
#include "overview_html.h"
#include "previous_run.h"
#include "progress.h"
#include "run_identity.h"
#include "report_folder.h"
#include "results_json.h"
#include "safe_file/file_writing.h"
#include "shared/case_folder.h"
#include "shared/exit_status.h"
#include "shared/log_name.h"
#include "shared/output_check.h"
#include "shared/pose_run.h"
#include "signal_watch.h"
#include "suite_cases.h"

namespace zor::test::suite {
namespace {

using Clock = std::chrono::steady_clock;

using zor::test::shared::kExitFailed;

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
    double model_load = 0;  // summed over the workers that ran
};

// The networks of the workers, made one after the other before any worker
// runs: loading a model starts a child process to read it, which is safe
// only while no other thread may hold a lock the child would need. As many
// as memory allows, up to `count`; none when the model file does not load
// (the library says why on standard error), nor when the baseline model
// does not: `not_loaded` names the file. Throws when not even one fits.
std::vector<std::unique_ptr<CaseRunner>> MakeRunners(const std::string& model_path,
                                                      const std::string& baseline_path, size_t count,
                                                      std::vector<double>& loads, std::string& not_loaded)
{
    std::vector<std::unique_ptr<CaseRunner>> runners;
    for (size_t worker = 0; worker < std::max<size_t>(count, 1); ++worker) {
        const Clock::time_point start = Clock::now();
        try {
            runners.push_back(std::make_unique<CaseRunner>(model_path, baseline_path));
        } catch (const std::exception&) {
            if (runners.empty()) {
                throw;
            }
            break;
        }
        loads.push_back(SecondsSince(start) * 1000.0);
        if (!runners.back()->HoldsModel() || !runners.back()->HoldsBaseline()) {
            not_loaded = runners.back()->HoldsModel() ? baseline_path : model_path;
            runners.clear();
            break;
        }
    }
    return runners;
}

// Marks a case an error for an exception that came out of it; when even
// that needs memory there is not, the verdict alone.
void MarkFailure(CaseResult& result, const CaseFiles& files, const std::exception& e) noexcept
{
    result.verdict = Verdict::kError;
    try {
        result.files = files;
        result.reason = std::string("unexpected failure: ") + e.what();
    } catch (const std::exception&) {
        result.reason.clear();
    }
}

// Runs the selected cases on the workers, one network each, writing into
// `folder`; results[i] is case i's. A case that cannot run is an error with
// its reason. Workers start as threads allow (one, this thread, always runs)
// Gives the number of workers that ran.
unsigned RunCases(const SuiteCases& suite_cases, const std::string& folder,
                  std::vector<std::unique_ptr<CaseRunner>>& runners, Progress* progress,
                  std::vector<CaseResult>& results)
{
    const std::vector<CaseFiles>& cases = suite_cases.selected;
    std::atomic<size_t> next{0};
    auto work = [&](unsigned worker) noexcept {
        CaseRunner& runner = *runners[worker];
        for (size_t i = next++; i < cases.size(); i = next++) {
            try {
                if (suite_cases.problems[i].empty()) {
                    results[i] = runner.Run(cases[i], folder);
                } else {
                    results[i].files = cases[i];
                    results[i].verdict = Verdict::kError;
                    results[i].reason = suite_cases.problems[i];
                }
            } catch (const std::exception& e) {
                MarkFailure(results[i], cases[i], e);
            }
            try {
                progress->Done(i);
            } catch (const std::exception&) {
                // The line is lost; the case's verdict stays in the summary and the report.
            }
        }
    };
    const size_t wanted = std::min(runners.size(), cases.size());
    std::vector<std::thread> threads;
    try {
        threads.reserve(wanted);
    } catch (const std::exception&) {
        // No room to keep threads: this thread runs the cases alone.
    }
    for (unsigned worker = 1; worker < wanted && threads.size() < threads.capacity(); ++worker) {
        try {
            threads.emplace_back(work, worker);
        } catch (const std::exception&) {
            break;  // no more threads: the workers that started share the cases
        }
    }
    if (!runners.empty()) {
        work(0);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return static_cast<unsigned>(threads.size() + 1);
}

// `changed` counts the cases that changed from the baseline model; negative without one.
// `review_ms` is the part of `report_ms` spent on results.json and the overview.
void PrintSummary(std::FILE* out, const Tally& tally, long changed, const StageTotals& totals, unsigned workers,
                  double report_ms, double review_ms, double seconds, const std::string& report_dir)
{
    std::fprintf(out, "%zu cases: %zu passed, %zu failed, %zu could not run", tally.Total(), tally.passed,
                 tally.failed, tally.could_not_run);
    if (tally.compared > 0) {
        std::fprintf(out, ", %zu compared", tally.compared);
    }
    if (changed >= 0) {
        std::fprintf(out, "; %ld changed from the baseline", changed);
    }
    std::fprintf(out, " (%.2f s)\n", seconds);
    if (tally.Total() > 0) {
        const double n = static_cast<double>(tally.Total());
        std::fprintf(out,
                     "per case: image %.1f ms, network %.1f ms, check and log %.1f ms, picture %.1f ms; "
                     "model load %.1f ms per worker (%u); report %.1f ms (results.json and overview %.1f ms)\n",
                     totals.stages.read / n, totals.stages.network / n, totals.stages.check / n,
                     totals.stages.picture / n, totals.model_load / workers, workers, report_ms, review_ms);
    }
    std::fprintf(out, "report: %s/report.html\n", PrintableText(report_dir).c_str());
}

// "the run of process PID", or "another run" when its process is not known.
std::string RunText(long pid)
{
    return pid > 0 ? "the run of process " + std::to_string(pid) : "another run";
}

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Output = std::unique_ptr<std::FILE, CloseFile>;

// Ends the output: false, with the reason on standard error, when a line
// did not reach it.
bool CloseOutput(std::FILE* out)
{
    int error = zor::test::shared::OutputError(out);
    if (std::fclose(out) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) {
        std::fprintf(stderr, "facepose_suite: cannot write standard output: %s\n", std::strerror(error));
    }
    return error == 0;
}

// The times of the stages summed over the cases, and the model loads over
// the workers that ran.
StageTotals SumTimes(const std::vector<CaseResult>& results, const std::vector<double>& loads, unsigned workers)
{
    StageTotals totals;
    for (size_t worker = 0; worker < workers; ++worker) {
        totals.model_load += loads[worker];
    }
    for (const CaseResult& result : results) {
        totals.stages.read += result.stages.read;
        totals.stages.network += result.stages.network;
        totals.stages.check += result.stages.check;
        totals.stages.picture += result.stages.picture;
    }
    return totals;
}

// Moves each case's staged files into the report folder; a case whose files
// cannot take their place becomes an error, the reason in `problems`. False
// when any could not.
bool MoveCaseFiles(ReportFolder& report, std::vector<CaseResult>& results, std::vector<std::string>& problems)
{
    bool moved = true;
    for (CaseResult& result : results) {
        std::string why;
        if (!report.MoveStagedFiles(result.files, why)) {
            problems.push_back(why);
            result.verdict = Verdict::kError;
            result.reason = why;
            result.log_file.clear();
            result.picture_file.clear();
            moved = false;
        }
    }
    return moved;
}

// What the report says the run was: the model, the cases, the shard, the filter.
std::string RunNote(const SuiteOptions& options)
{
    char shard[64];
    std::snprintf(shard, sizeof shard, "shard %u/%u", options.shard_index, options.shard_count);
    return "model " + options.model_dir + ", cases " + options.cases_dir +
           (options.shard_count > 1 ? ", " + std::string(shard) : "") +
           (options.filter.empty() ? "" : ", names containing \"" + options.filter + "\"");
}

// The run's name, time, place, model and shard for its junit.xml.
RunIdentity IdentityOf(const SuiteOptions& options, const std::string& model_path)
{
    RunIdentity identity;
    identity.suite_name = options.suite_name.empty() ? SuiteNameFor(options.cases_dir) : options.suite_name;
    identity.timestamp = UtcTimestamp(std::chrono::system_clock::now());
    identity.hostname = HostName();
    identity.model_path = model_path;
    identity.model_sha256 = FileSha256(model_path);
    identity.shard = std::to_string(options.shard_index) + "/" + std::to_string(options.shard_count);
    identity.version = SuiteVersion();
    return identity;
}

}  // namespace

int RunSuite(const SuiteOptions& options)
{
    const Clock::time_point start = Clock::now();
    // The workers use the cores; OpenCV's own loops run in the worker that
    // calls them, so no thread of OpenCV's can fail to start in the middle
    // of a case.
    cv::setNumThreads(0);

    const std::string model_path = zor::test::shared::ModelFilePath(options.model_dir);
    if (!zor::utils::FileExist(model_path)) {
        std::fprintf(stderr, "facepose_suite: cannot find the model file %s\n", PrintableText(model_path).c_str());
        return kExitFailed;
    }
    const std::string baseline_path =
        options.baseline_dir.empty() ? "" : zor::test::shared::ModelFilePath(options.baseline_dir);
    if (!baseline_path.empty() && !zor::utils::FileExist(baseline_path)) {
        std::fprintf(stderr, "facepose_suite: cannot find the baseline model file %s\n",
                     PrintableText(baseline_path).c_str());
        return kExitFailed;
    }
    SuiteCases suite_cases;
    if (!FindSuiteCases(options, suite_cases) || !CheckReportPlace(options, suite_cases.selected)) {
        return kExitFailed;
    }
    const std::vector<CaseFiles>& cases = suite_cases.selected;
    std::vector<PreviousCase> previous;
    std::vector<std::string> only_in_previous;
    if (std::string why; !options.previous_dir.empty() &&
                         !ReadPreviousRun(options.previous_dir, cases, previous, only_in_previous, why)) {
        std::fprintf(stderr, "facepose_suite: %s\n", PrintableText(why).c_str());
        return kExitFailed;
    }
    const std::string empty_run = EmptyRunProblem(options, suite_cases);
    if (!empty_run.empty()) {
        std::fprintf(stderr, "facepose_suite: no case to run: %s (--allow-empty accepts that)\n",
                     PrintableText(empty_run).c_str());
    }
    // A sharding test runner asks for this file to see that the shard was honoured.
    if (!options.shard_status_file.empty()) {
        zor::test::safe_file::WriteWhole(options.shard_status_file, "");
    }
    const RunIdentity identity = IdentityOf(options, model_path);
    std::vector<double> loads;
    std::vector<std::unique_ptr<CaseRunner>> runners;
    std::string not_loaded;
    try {
        runners = MakeRunners(model_path, baseline_path, std::min<size_t>(options.jobs, cases.size()), loads,
                              not_loaded);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "facepose_suite: cannot load the model file %s: %s\n",
                     PrintableText(model_path).c_str(), e.what());
        return kExitFailed;
    }
    if (runners.empty()) {
        std::fprintf(stderr, "facepose_suite: cannot load the %s %s\n",
                     not_loaded == model_path ? "model file" : "baseline model file",
                     PrintableText(not_loaded).c_str());
        return kExitFailed;
    }
    ReportFolder report(options.report_dir);
    long holder = 0;
    const auto waiting = [&options](long pid) {
        std::fprintf(stderr, "facepose_suite: waiting for %s, which uses the report folder %s\n",
                     RunText(pid).c_str(), PrintableText(options.report_dir).c_str());
    };
    if (!report.Lock(options.wait, waiting, holder)) {
        if (holder >= 0) {
            std::fprintf(stderr, "facepose_suite: the report folder %s is in use by %s\n",
                         PrintableText(options.report_dir).c_str(), RunText(holder).c_str());
        } else {
            std::fprintf(stderr, "facepose_suite: cannot make the report folder %s\n",
                         PrintableText(options.report_dir).c_str());
        }
        return kExitFailed;
    }
    SignalWatch signals([&report] { report.RemoveStaging(); });
    if (!report.MakeStaging()) {
        std::fprintf(stderr, "facepose_suite: cannot make the report folder %s\n",
                     PrintableText(options.report_dir).c_str());
        return kExitFailed;
    }
    // A reader that went away makes the output lost (status 3), not the end.
    std::signal(SIGPIPE, SIG_IGN);
    Output out(TakeOverOutput());
    if (out == nullptr) {
        std::fprintf(stderr, "facepose_suite: cannot set up the output\n");
        return kExitFailed;
    }

    std::vector<CaseResult> results(cases.size());
    unsigned workers = 0;
    {
        Progress progress(out.get(), ::isatty(STDERR_FILENO) ? stderr : nullptr, results);
        workers = RunCases(suite_cases, report.StagingDir(), runners, &progress, results);
    }
    runners.clear();
    const StageTotals totals = SumTimes(results, loads, workers);

    // The new report is staged whole first; then each case's files take the
    // place of the earlier ones and the report files are renamed over the
    // earlier ones, while a signal waits. Lines are printed after that, so
    // that no full pipe holds the switch.
    const Clock::time_point report_start = Clock::now();
    for (size_t i = 0; i < previous.size(); ++i) {
        results[i].previous = previous[i];
    }
    Tally tally = CountVerdicts(results);
    const bool with_baseline = !options.baseline_dir.empty();
    const Clock::time_point review_start = Clock::now();
    const std::string overview = OverviewHtml(MakeOverview(results, with_baseline), results,
                                              tally.failed > 0 ? AcceptCommand(options) : "", !previous.empty(),
                                              only_in_previous);
    double review_ms = SecondsSince(review_start) * 1000.0;
    // The logs junit.xml takes in are read where they are: staged, or moved.
    std::string junit;
    const auto stage = [&](const std::string& logs_dir) {
        const Clock::time_point results_start = Clock::now();
        const std::string results_json = ResultsJson(options, identity, FileSha256(baseline_path), results, tally,
                                                      only_in_previous);
        review_ms += SecondsSince(results_start) * 1000.0;
        junit = JunitXml(results, tally, SecondsSince(start), identity, logs_dir, options.fail_on_change);
        return report.StageReport(junit, ReportHtml(results, tally, RunNote(options), overview, with_baseline),
                                  results_json);
    };
    bool written = stage(report.StagingDir());
    bool moved = true;
    std::vector<std::string> problems;
    if (written) {
        const std::unique_lock<std::mutex> hold = signals.Hold();
        moved = MoveCaseFiles(report, results, problems);
        if (!moved) {
            tally = CountVerdicts(results);
            written = stage(report.Dir());
        }
        written = written && report.SwitchReport();
    }
    report.RemoveStaging();
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "facepose_suite: %s\n", PrintableText(problem).c_str());
    }
    if (written && !options.junit_copy.empty()) {
        written = zor::test::safe_file::WriteWhole(options.junit_copy, junit);
    }
    const double report_ms = SecondsSince(report_start) * 1000.0;
    const long changed = with_baseline ? std::count_if(results.begin(), results.end(),
                                                       [](const CaseResult& result) { return result.changed; })
                                       : -1;
    if (const std::string note = CaseSetNote(options.previous_dir, previous, cases, only_in_previous); !note.empty()) {
        std::fprintf(out.get(), "%s\n", PrintableText(note).c_str());
    }
    PrintSummary(out.get(), tally, changed, totals, workers, report_ms, review_ms, SecondsSince(start),
                 options.report_dir);
    const bool output_whole = CloseOutput(out.release());
    if (!written) {
        std::fprintf(stderr, "facepose_suite: cannot write the report into %s\n",
                     PrintableText(options.report_dir).c_str());
    }
    if (!output_whole) {
        return zor::test::shared::kExitOutputLost;
    }
    const bool change_fails = options.fail_on_change && changed > 0;
    return written && moved && empty_run.empty() && tally.NotPassed() == 0 && !change_fails
               ? zor::test::shared::kExitDone
               : kExitFailed;
}

}  // namespace zor::test::suite
