#include "suite_run.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
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
#include "progress.h"
#include "safe_file/file_writing.h"
#include "shared/case_folder.h"
#include "shared/log_name.h"
#include "shared/output_check.h"
#include "shared/pose_run.h"

namespace zor::test::suite {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitFailed = 1;

// The report's own names in the report folder, beside the case folders.
constexpr char kJunitName[] = "junit.xml";
constexpr char kReportName[] = "report.html";
constexpr char kStagingName[] = ".facepose_suite-staging";  // the run's files until it ends

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

// SIGINT, SIGTERM and SIGHUP while the cases run: blocked in every thread
// made after this is, and taken by a thread of its own instead, which tells
// the workers to stop after their case. The run then removes what it
// staged and ends by the same signal; the report folder keeps the last
// whole report. Without the thread (it could not start) the signals act as
// they would have.
class SignalWatch {
public:
    SignalWatch()
    {
        sigemptyset(&m_signals);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction action {};
            if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
                sigaddset(&m_signals, signal);
            }
        }
        ::pthread_sigmask(SIG_BLOCK, &m_signals, &m_before);
        try {
            m_thread = std::thread([this] { Watch(); });
        } catch (const std::exception&) {
            ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
        }
    }
    ~SignalWatch()
    {
        m_done = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // The signal that came, or 0.
    int Received() const { return m_received; }

    // Ends the process by the signal that came, as it would have ended.
    [[noreturn]] void EndBySignal()
    {
        m_done = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        const int signal = m_received;
        std::signal(signal, SIG_DFL);
        sigset_t just;
        sigemptyset(&just);
        sigaddset(&just, signal);
        ::pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
        std::raise(signal);
        std::_Exit(128 + signal);
    }

private:
    void Watch()
    {
        const timespec wait = {0, 50 * 1000 * 1000};
        while (!m_done && m_received == 0) {
            const int signal = ::sigtimedwait(&m_signals, nullptr, &wait);
            if (signal > 0) {
                m_received = signal;
            }
        }
    }

    sigset_t m_signals;
    sigset_t m_before;
    std::atomic<bool> m_done{false};
    std::atomic<int> m_received{0};
    std::thread m_thread;
};

// The networks of the workers, made one after the other before any worker
// runs: loading a model starts a child process to read it, which is safe
// only while no other thread may hold a lock the child would need. As many
// as memory allows, up to `count`; none when the model file does not load
// (the library says why on standard error). Throws when not even one fits.
std::vector<std::unique_ptr<CaseRunner>> MakeRunners(const std::string& model_path, size_t count,
                                                      std::vector<double>& loads)
{
    std::vector<std::unique_ptr<CaseRunner>> runners;
    for (size_t worker = 0; worker < std::max<size_t>(count, 1); ++worker) {
        const Clock::time_point start = Clock::now();
        try {
            runners.push_back(std::make_unique<CaseRunner>(model_path));
        } catch (const std::exception&) {
            if (runners.empty()) {
                throw;
            }
            break;
        }
        loads.push_back(SecondsSince(start) * 1000.0);
        if (!runners.back()->HoldsModel()) {
            runners.clear();
            break;
        }
    }
    return runners;
}

// Runs `cases` on the workers, one network each, writing into `folder`;
// results[i] is case i's. Workers start as threads allow (one, this thread,
// always runs) and stop taking cases once `signals` received one. Gives the
// number of workers that ran.
unsigned RunCases(const std::vector<CaseFiles>& cases, const std::string& folder,
                  std::vector<std::unique_ptr<CaseRunner>>& runners, const SignalWatch& signals, Progress* progress,
                  std::vector<CaseResult>& results)
{
    std::atomic<size_t> next{0};
    auto work = [&](unsigned worker) {
        CaseRunner& runner = *runners[worker];
        for (size_t i = next++; i < cases.size() && signals.Received() == 0; i = next++) {
            try {
                results[i] = runner.Run(cases[i], folder);
            } catch (const std::exception& e) {
                results[i].files = cases[i];
                results[i].verdict = Verdict::kError;
                results[i].reason = std::string("unexpected failure: ") + e.what();
            }
            try {
                progress->Done(i);
            } catch (const std::exception&) {
                // The line is lost; the case's verdict stays in the summary and the report.
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned worker = 1; worker < std::min(runners.size(), cases.size()); ++worker) {
        try {
            threads.emplace_back(work, worker);
        } catch (const std::system_error&) {
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

void PrintSummary(std::FILE* out, const Tally& tally, const StageTotals& totals, unsigned workers,
                  double report_ms, double seconds, const std::string& report_dir)
{
    std::fprintf(out, "%zu cases: %zu passed, %zu failed, %zu could not run (%.2f s)\n", tally.Total(),
                 tally.passed, tally.failed, tally.could_not_run, seconds);
    if (tally.Total() > 0) {
        const double n = static_cast<double>(tally.Total());
        std::fprintf(out,
                     "per case: image %.1f ms, network %.1f ms, check and log %.1f ms, picture %.1f ms; "
                     "model load %.1f ms per worker (%u); report %.1f ms\n",
                     totals.stages.read / n, totals.stages.network / n, totals.stages.check / n,
                     totals.stages.picture / n, totals.model_load / workers, workers, report_ms);
    }
    std::fprintf(out, "report: %s/report.html\n", PrintableText(report_dir).c_str());
}

// The cases to run: those of the cases folder that have an expectation
// file, filtered and sharded. Entries that are not cases are reported.
bool FindSuiteCases(const SuiteOptions& options, std::vector<CaseFiles>& cases)
{
    std::vector<CaseFiles> all;
    std::vector<zor::test::shared::SkippedEntry> skipped;
    std::error_code error;
    if (!zor::test::shared::FindCases(options.cases_dir, all, skipped, error)) {
        std::fprintf(stderr, "facepose_suite: cannot read the cases folder %s\n",
                     PrintableText(options.cases_dir).c_str());
        return false;
    }
    for (const zor::test::shared::SkippedEntry& entry : skipped) {
        const std::string name = std::filesystem::path(entry.path).lexically_relative(options.cases_dir).string();
        switch (entry.why) {
        case zor::test::shared::SkippedEntry::Why::kNotAFolder:
            std::fprintf(stderr, "facepose_suite: skipped %s: not a folder\n", PrintableText(name).c_str());
            break;
        case zor::test::shared::SkippedEntry::Why::kUnreadable:
            std::fprintf(stderr, "facepose_suite: skipped %s: cannot be read (%s)\n", PrintableText(name).c_str(),
                         PrintableText(entry.detail).c_str());
            break;
        case zor::test::shared::SkippedEntry::Why::kWrongFiles:
            std::fprintf(stderr, "facepose_suite: skipped %s: needs one image and one .nkvalid file\n",
                         PrintableText(name).c_str());
            break;
        }
    }
    for (const CaseFiles& one : all) {
        if (one.expectation.empty()) {
            std::fprintf(stderr, "facepose_suite: skipped %s: needs one image and one .nkvalid file\n",
                         PrintableText(one.name).c_str());
        }
    }
    all.erase(std::remove_if(all.begin(), all.end(), [](const CaseFiles& one) { return one.expectation.empty(); }),
              all.end());
    cases = zor::test::shared::SelectCases(all, options.filter, options.shard_index, options.shard_count);
    return true;
}

// Refuses, with the reason on standard error, a report folder that is the
// cases folder or holds it (the run would take its own files for cases and
// remove the cases' files) and case names that are the report's own files.
bool CheckReportPlace(const SuiteOptions& options, const std::vector<CaseFiles>& cases)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path report = fs::weakly_canonical(fs::absolute(options.report_dir, error), error);
    const fs::path folder = fs::weakly_canonical(fs::absolute(options.cases_dir, error), error);
    const fs::path inside = folder.lexically_relative(report);
    if (!inside.empty() && *inside.begin() != "..") {
        std::fprintf(stderr, "facepose_suite: the report folder %s %s the cases folder %s\n",
                     PrintableText(options.report_dir).c_str(), inside == "." ? "is" : "holds",
                     PrintableText(options.cases_dir).c_str());
        return false;
    }
    bool usable = true;
    for (const CaseFiles& one : cases) {
        if (one.name == kJunitName || one.name == kReportName || one.name == kStagingName) {
            std::fprintf(stderr, "facepose_suite: the case %s has the name of the report's own %s\n",
                         PrintableText(one.name).c_str(), one.name == kStagingName ? "staging folder" : "file");
            usable = false;
        }
    }
    return usable;
}

// Moves the files a case staged into its folder of the report, in place of
// the files an earlier run left there; a case without such a file keeps
// none. False, with the reason in `why`, when a file cannot take its place.
bool MoveStagedFiles(const std::string& staging_dir, const std::string& report_dir, const CaseFiles& files,
                     std::string& why)
{
    namespace fs = std::filesystem;
    const std::string from = staging_dir + "/" + files.name;
    const std::string to = report_dir + "/" + files.name;
    if (!zor::test::safe_file::MakeFolder(to)) {
        why = "cannot make the folder " + to;
        return false;
    }
    for (const std::string& name : {zor::test::shared::LogNameFor(files.expectation), PictureName()}) {
        std::error_code error;
        if (fs::symlink_status(from + "/" + name, error).type() != fs::file_type::regular) {
            zor::test::safe_file::RemoveOldFile(to + "/" + name);
        } else if (std::rename((from + "/" + name).c_str(), (to + "/" + name).c_str()) != 0) {
            why = "cannot move " + name + " into " + to + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

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
    std::vector<CaseFiles> cases;
    if (!FindSuiteCases(options, cases) || !CheckReportPlace(options, cases)) {
        return kExitFailed;
    }
    // A sharding test runner asks for this file to see that the shard was honoured.
    if (const char* status = std::getenv("GTEST_SHARD_STATUS_FILE"); status != nullptr && *status != '\0') {
        zor::test::safe_file::WriteWhole(status, "");
    }
    std::vector<double> loads;
    std::vector<std::unique_ptr<CaseRunner>> runners;
    try {
        runners = MakeRunners(model_path, std::min<size_t>(options.jobs, cases.size()), loads);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "facepose_suite: cannot load the model file %s: %s\n",
                     PrintableText(model_path).c_str(), e.what());
        return kExitFailed;
    }
    if (runners.empty()) {
        std::fprintf(stderr, "facepose_suite: cannot load the model file %s\n", PrintableText(model_path).c_str());
        return kExitFailed;
    }
    SignalWatch signals;
    const std::string staging_dir = options.report_dir + "/" + kStagingName;
    std::error_code error;
    if (!zor::test::safe_file::MakeFolder(options.report_dir) ||
        (std::filesystem::remove_all(staging_dir, error), error) || !zor::test::safe_file::MakeFolder(staging_dir)) {
        std::fprintf(stderr, "facepose_suite: cannot make the report folder %s\n",
                     PrintableText(options.report_dir).c_str());
        return kExitFailed;
    }
    std::FILE* out = TakeOverOutput();
    if (out == nullptr) {
        std::fprintf(stderr, "facepose_suite: cannot set up the output\n");
        return kExitFailed;
    }

    std::vector<CaseResult> results(cases.size());
    unsigned workers = 0;
    {
        Progress progress(out, ::isatty(STDERR_FILENO) ? stderr : nullptr, results);
        workers = RunCases(cases, staging_dir, runners, signals, &progress, results);
    }
    runners.clear();
    if (signals.Received() != 0) {
        std::filesystem::remove_all(staging_dir, error);
        std::fflush(out);
        signals.EndBySignal();
    }
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

    // The old report goes first, then each case's files take the place of
    // the old ones, then the new report is written: a signal in between
    // waits for the end (see SignalWatch).
    const Clock::time_point report_start = Clock::now();
    const std::string junit_path = options.report_dir + "/" + kJunitName;
    const std::string report_path = options.report_dir + "/" + kReportName;
    zor::test::safe_file::RemoveOldFile(report_path);
    zor::test::safe_file::RemoveOldFile(junit_path);
    bool moved = true;
    for (CaseResult& result : results) {
        std::string why;
        if (!MoveStagedFiles(staging_dir, options.report_dir, result.files, why)) {
            std::fprintf(stderr, "facepose_suite: %s\n", PrintableText(why).c_str());
            result.verdict = Verdict::kError;
            result.reason = why;
            result.log_file.clear();
            result.picture_file.clear();
            moved = false;
        }
    }
    std::filesystem::remove_all(staging_dir, error);
    const Tally tally = CountVerdicts(results);
    char shard[64];
    std::snprintf(shard, sizeof shard, "shard %u/%u", options.shard_index, options.shard_count);
    const std::string note = "model " + options.model_dir + ", cases " + options.cases_dir +
                             (options.shard_count > 1 ? ", " + std::string(shard) : "") +
                             (options.filter.empty() ? "" : ", names containing \"" + options.filter + "\"");
    bool written = zor::test::safe_file::WriteWhole(junit_path, JunitXml(results, tally, SecondsSince(start)));
    written = zor::test::safe_file::WriteWhole(report_path, ReportHtml(results, tally, note)) && written;
    const double report_ms = SecondsSince(report_start) * 1000.0;
    PrintSummary(out, tally, totals, workers, report_ms, SecondsSince(start), options.report_dir);
    const bool output_whole = CloseOutput(out);
    if (!written) {
        std::fprintf(stderr, "facepose_suite: cannot write the report into %s\n",
                     PrintableText(options.report_dir).c_str());
    }
    if (signals.Received() != 0) {
        signals.EndBySignal();
    }
    if (!output_whole) {
        return zor::test::shared::kExitOutputLost;
    }
    return written && moved && tally.passed == tally.Total() ? 0 : kExitFailed;
}

}  // namespace zor::test::suite
