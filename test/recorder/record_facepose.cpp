// record_facepose: runs the face-pose network on an image and records its pose
// as an expectation file for test_facepose, or does so for every case of a
// case folder (one sub-folder per case, holding an image and, once recorded,
// its expectation file).
//
// Exit status: 0 when every expectation file was written (or after -h);
// 1 when one was not; 2 when the network gave no pose; 3 when standard
// output could not be written; 255 on bad usage.

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "shared/case_folder.h"
#include "shared/output_check.h"
#include "shared/pose_run.h"
#include "safe_file/atomic_file.h"
#include "validator/expectation_text.h"
#include "validator/result_validator.h"

namespace {

namespace fs = std::filesystem;

struct Options {
    std::string model_dir;
    std::string pic_path;
    std::string output_path;
    std::string cases_dir;
    std::string condition = "<";
    std::string threshold;  // empty: the default (RecordedThreshold)
    std::string tolerance;  // empty: kDefaultTolerance
    bool portable = false;  // no "Tolerance" line: one relative threshold
    bool force = false;
};

// Long-only options.
enum : int { kToleranceOption = 1000, kPortableOption };

const struct option kLongOptions[] = {
    {"model", required_argument, nullptr, 'm'},
    {"path", required_argument, nullptr, 'p'},
    {"output", required_argument, nullptr, 'o'},
    {"cases", required_argument, nullptr, 'c'},
    {"condition", required_argument, nullptr, 'k'},
    {"threshold", required_argument, nullptr, 't'},
    {"tolerance", required_argument, nullptr, kToleranceOption},
    {"portable", no_argument, nullptr, kPortableOption},
    {"force", no_argument, nullptr, 'f'},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

const char kProgram[] = "record_facepose";

// How far, in degrees, each value may move under "<" by default. The
// estimator's values move by up to about 0.3 degrees between CPUs (OpenCV
// picks its SIMD kernels at run time; bench/accuracy/pose_spread.sh measures
// it): about three times that, and half of a 2-degree regression.
const char kDefaultTolerance[] = "1";
// With --portable, a value allowed to move further than this is warned of.
constexpr double kWarnDegrees = 2.0;

// Prints the usage text to standard output and ends the process with the
// given status.
[[noreturn]] void PrintUsage(int status)
{
    std::cout << "Usage: record_facepose -m <dir_path> -p <image> -o <file.nkvalid> [options]\n"
                 "       record_facepose -m <dir_path> -c <cases_dir> [options]\n"
                 "     -m/--model <dir_path>   : nmodel folder path\n"
                 "     -p/--path <path>        : the image file\n"
                 "     -o/--output <path>      : the expectation file to write\n"
                 "     -c/--cases <dir_path>   : record every case: one sub-folder per case with an image\n"
                 "     -k/--condition <=|<|>   : how test_facepose compares the values (default <);\n"
                 "                               = only for a model whose results are exact on every\n"
                 "                               machine, such as the fixed kind\n"
                 "     -t/--threshold <number> : relative tolerance in percent of each value for < and >\n"
                 "                               (default 0; with --portable 2, raised so that the value\n"
                 "                               nearest 0 may move by the tolerance)\n"
                 "     --tolerance <degrees>   : how far each value may move for < and >, in degrees\n"
                 "                               (default 1), added to the relative tolerance\n"
                 "     --portable              : write no \"Tolerance\" line, only the relative threshold,\n"
                 "                               for readers that do not know it; prints what the\n"
                 "                               threshold allows each value, warning above 2 degrees\n"
                 "     -f/--force              : overwrite expectation files that exist\n"
                 "     -h/--help               : print this text"
              << std::endl;
    exit(status);
}

// A threshold (percent) or a tolerance (degrees) is a finite number, 0 or
// more: no file written with another one can pass.
bool IsAmount(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value) && value >= 0.0;
}

// True for an option that was given and reads as 0.
bool GivenAsZero(const std::string& text)
{
    return !text.empty() && std::strtod(text.c_str(), nullptr) == 0.0;
}

// Under ">" a value passes only when it differs from the expected one by at
// least the threshold and the tolerance: the recorded pose itself passes
// only when both are given as 0 (the tolerance only where it is written).
void RequireConditionMetByPose(const Options& options)
{
    if (options.condition == ">" &&
        !(GivenAsZero(options.threshold) && (options.portable || GivenAsZero(options.tolerance)))) {
        std::cerr << kProgram << ": with -k '>' a value passes only when it differs from the recorded one by at "
                     "least the threshold and the tolerance, so the recorded pose would fail its own file; give -t 0"
                  << (options.portable ? "." : " --tolerance 0.") << std::endl;
        std::exit(-1);
    }
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    int opt = 0;
    while ((opt = getopt_long(argc, argv, "m:p:o:c:k:t:fh", kLongOptions, nullptr)) != -1) {
        switch (opt) {
        case 'm': options.model_dir = optarg; break;
        case 'p': options.pic_path = optarg; break;
        case 'o': options.output_path = optarg; break;
        case 'c': options.cases_dir = optarg; break;
        case 'k': options.condition = optarg; break;
        case 't': options.threshold = optarg; break;
        case kToleranceOption: options.tolerance = optarg; break;
        case kPortableOption: options.portable = true; break;
        case 'f': options.force = true; break;
        case 'h': PrintUsage(0);
        default: PrintUsage(-1);
        }
    }
    const bool single = !options.pic_path.empty() && !options.output_path.empty();
    const bool folder = !options.cases_dir.empty();
    const bool knownCondition = options.condition == "=" || options.condition == "<" || options.condition == ">";
    const bool badAmount = (!options.threshold.empty() && !IsAmount(options.threshold)) ||
                           (!options.tolerance.empty() && !IsAmount(options.tolerance));
    if (options.model_dir.empty() || single == folder || optind < argc || !knownCondition || badAmount ||
        (folder && (!options.pic_path.empty() || !options.output_path.empty()))) {
        PrintUsage(-1);
    }
    RequireConditionMetByPose(options);
    return options;
}

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// The tolerance in degrees: --tolerance, or the default.
std::string RecordedTolerance(const Options& options)
{
    return options.tolerance.empty() ? kDefaultTolerance : options.tolerance;
}

// The threshold in percent: -t, or 0 beside a tolerance. With --portable the
// threshold alone must let every value move by the tolerance: 2%, raised
// until the value nearest 0 may move by it (a relative threshold is harsh on
// a value near 0), at most 1000%.
std::string RecordedThreshold(const Options& options, const std::vector<float>& pose)
{
    if (!options.threshold.empty()) {
        return options.threshold;
    }
    if (!options.portable) {
        return "0";
    }
    constexpr double kLeastPercent = 2.0;
    constexpr double kMostPercent = 1000.0;
    const double leastMove = std::strtod(RecordedTolerance(options).c_str(), nullptr);
    double smallest = HUGE_VAL;
    for (float value : pose) {
        smallest = std::min(smallest, std::fabs(static_cast<double>(value)));
    }
    const double percent = leastMove > 0.0 ? std::ceil(100.0 * leastMove / smallest) : kLeastPercent;
    return std::to_string(static_cast<int>(std::clamp(percent, kLeastPercent, kMostPercent)));
}

// The expectation file's text. Nine significant digits read back to the same
// single-precision value.
std::string ExpectationText(const Options& options, const std::string& model_path, const std::string& pic_path,
                            const std::vector<float>& pose, const std::string& threshold)
{
    zor::test::ExpectationHeader header;
    header.comments = {"Recorded by record_facepose on " + UtcNow(), "  model: " + model_path,
                       "  image: " + pic_path, "Yaw, pitch and roll in degrees, as test_facepose prints them."};
    header.type = "numeric-match";
    header.numsToCheck = "1";
    header.threshold = threshold;
    if (options.portable) {
        header.thresholdComment = "percent, for < and >";
    } else {
        header.thresholdComment = "percent of each value, for < and >, added to the tolerance";
        header.tolerance = RecordedTolerance(options);
        header.toleranceComment = "degrees, for < and >";
    }
    return zor::test::ExpectationHeaderText(header) + zor::test::NumericLineText(options.condition, pose);
}

// With --portable and "<": prints what the threshold lets each value move,
// in degrees, and warns when that is more than kWarnDegrees for any value.
void PrintAllowances(const Options& options, const std::string& threshold, const std::vector<float>& pose,
                     const std::string& output_path)
{
    if (!options.portable || options.condition != "<") {
        return;
    }
    static const char* const kPose[] = {"yaw", "pitch", "roll"};
    const double fraction = std::strtod(threshold.c_str(), nullptr) / 100.0;
    double most = 0.0;
    for (std::size_t j = 0; j < pose.size(); ++j) {
        const double allowed = fraction * std::fabs(static_cast<double>(pose[j]));
        most = std::max(most, allowed);
        const std::string name = pose.size() == 3 ? kPose[j] : "value " + std::to_string(j);
        char line[128];
        std::snprintf(line, sizeof line, "  %s %f may move by %.3f degrees", name.c_str(),
                      static_cast<double>(pose[j]), allowed);
        std::cout << line << '\n';
    }
    std::cout << std::flush;
    if (most > kWarnDegrees) {
        char amount[64];
        std::snprintf(amount, sizeof amount, "%.3f", most);
        std::cerr << kProgram << ": warning: " << output_path << ": Threshold " << threshold
                  << " lets a value move by up to " << amount << " degrees (more than " << kWarnDegrees
                  << "), so a change that large passes; without --portable each value may move by the "
                     "tolerance in degrees."
                  << std::endl;
    }
}

// Runs the network on one image and records its pose. The file is written
// to a new temporary file in the output's folder and read back by the
// validator, which prints its summary and must accept the pose it was made
// from; only then does it take the output's name, replacing an existing file
// only with -f (a file that appeared meanwhile is kept without it).
int RecordOne(const Options& options, const std::string& pic_path, const std::string& output_path)
{
    std::error_code error;
    const fs::file_status existing = fs::symlink_status(output_path, error);
    if (fs::exists(existing) && !fs::is_regular_file(existing)) {
        std::cerr << kProgram << ": " << output_path << " is not a regular file; it is left as it is." << std::endl;
        return 1;
    }
    if (fs::exists(existing) && !options.force) {
        std::cerr << kProgram << ": " << output_path << " exists; pass -f to overwrite it." << std::endl;
        return 1;
    }
    const std::string model_path = zor::test::shared::ModelFilePath(options.model_dir);
    zor::test::shared::RequireInputFiles(model_path, pic_path);
    const std::vector<float> pose = zor::test::shared::PoseRun(model_path, pic_path).Pose(kProgram);
    if (pose.empty()) {
        return zor::test::shared::kExitShortResult;
    }
    zor::test::safe_file::AtomicFile file(output_path, ".nkvalid");
    if (!file.Open()) {
        std::cerr << kProgram << ": cannot write " << output_path << ": " << std::strerror(errno) << std::endl;
        return 1;
    }
    const std::string threshold = RecordedThreshold(options, pose);
    file.Stream() << ExpectationText(options, model_path, pic_path, pose, threshold);
    if (!file.Close()) {
        std::cerr << kProgram << ": cannot write " << output_path << std::endl;
        return 1;
    }
    {
        std::string written = file.TemporaryPath();
        zor::test::ResultValidator validator(written);
        if (!validator.Check(std::vector<std::vector<float>>{pose})) {
            std::cerr << kProgram << ": " << output_path << " would not read back to the pose it records; not written."
                      << std::endl;
            return 1;
        }
    }
    if (!file.Commit(options.force)) {
        if (errno == EEXIST && !options.force) {
            std::cerr << kProgram << ": " << output_path << " exists; pass -f to overwrite it." << std::endl;
        } else {
            std::cerr << kProgram << ": cannot write " << output_path << ": " << std::strerror(errno) << std::endl;
        }
        return 1;
    }
    std::cout << "Recorded " << output_path << "." << std::endl;
    PrintAllowances(options, threshold, pose, output_path);
    return 0;
}

// Records every case of a case folder: each sub-folder's one image, into its
// one .nkvalid file (or, when it has none yet, one named after the image).
// Entries that are not cases are reported and count as failed; plain files
// beside the case folders are passed over. The status is the worst of all.
int RecordFolder(const Options& options)
{
    std::vector<zor::test::shared::CaseFiles> cases;
    std::vector<zor::test::shared::SkippedEntry> skipped;
    std::error_code error;
    if (!zor::test::shared::FindCases(options.cases_dir, cases, skipped, error)) {
        std::cerr << kProgram << ": cannot read " << options.cases_dir << " (" << error.message() << "); skipped."
                  << std::endl;
        return 1;
    }
    int status = 0;
    for (const zor::test::shared::SkippedEntry& entry : skipped) {
        using Why = zor::test::shared::SkippedEntry::Why;
        if (entry.why == Why::kUnreadable) {
            std::cerr << kProgram << ": cannot read " << entry.path << " (" << entry.detail << "); skipped."
                      << std::endl;
        } else if (entry.why == Why::kWrongFiles) {
            std::cerr << kProgram << ": " << entry.path
                      << " must hold one image and at most one .nkvalid file; skipped." << std::endl;
        }
        status = std::max(status, entry.why == Why::kNotAFolder ? 0 : 1);
    }
    for (const zor::test::shared::CaseFiles& one : cases) {
        const std::string output = one.expectation.empty()
                                       ? fs::path(one.image).replace_extension(".nkvalid").string()
                                       : one.expectation;
        status = std::max(status, RecordOne(options, one.image, output));
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    zor::test::shared::CheckOutputAtExit(kProgram);
    const Options options = ParseOptions(argc, argv);
    return options.cases_dir.empty() ? RecordOne(options, options.pic_path, options.output_path)
                                     : RecordFolder(options);
}
