#include "recording_policy.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "validator/expectation_text.h"

namespace zor::test::recorder {
namespace {

// How far, in degrees, each value may move under "<" by default. The
// estimator's values move by up to about 0.3 degrees between CPUs (OpenCV
// picks its SIMD kernels at run time; bench/accuracy/pose_spread.sh measures
// it): about three times that, and half of a 2-degree regression.
const char kDefaultTolerance[] = "1";
// With --portable, a value allowed to move further than this is warned of.
constexpr double kWarnDegrees = 2.0;

// True for an option that was given and reads as 0.
bool GivenAsZero(const std::string& text)
{
    return !text.empty() && std::strtod(text.c_str(), nullptr) == 0.0;
}

// What `threshold` (percent) lets each value of `pose` move, in degrees.
std::vector<double> Allowances(const std::string& threshold, const std::vector<float>& pose)
{
    const double fraction = std::strtod(threshold.c_str(), nullptr) / 100.0;
    std::vector<double> allowed;
    for (const float value : pose) {
        allowed.push_back(fraction * std::fabs(static_cast<double>(value)));
    }
    return allowed;
}

bool ShowsAllowances(const RecordRequest& request)
{
    return request.portable && request.condition == "<";
}

}  // namespace

bool IsAmount(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value) && value >= 0.0;
}

std::string ConditionRefusal(const RecordRequest& request)
{
    if (request.condition != ">" ||
        (GivenAsZero(request.threshold) && (request.portable || GivenAsZero(request.tolerance)))) {
        return "";
    }
    return std::string("with -k '>' a value passes only when it differs from the recorded one by at least the "
                       "threshold and the tolerance, so the recorded pose would fail its own file; give -t 0") +
           (request.portable ? "." : " --tolerance 0.");
}

std::string RecordedTolerance(const RecordRequest& request)
{
    return request.tolerance.empty() ? kDefaultTolerance : request.tolerance;
}

std::string RecordedThreshold(const RecordRequest& request, const std::vector<float>& pose)
{
    if (!request.threshold.empty()) {
        return request.threshold;
    }
    if (!request.portable) {
        return "0";
    }
    constexpr double kLeastPercent = 2.0;
    constexpr double kMostPercent = 1000.0;
    const double leastMove = std::strtod(RecordedTolerance(request).c_str(), nullptr);
    double smallest = HUGE_VAL;
    for (const float value : pose) {
        smallest = std::min(smallest, std::fabs(static_cast<double>(value)));
    }
    const double percent = leastMove > 0.0 ? std::ceil(100.0 * leastMove / smallest) : kLeastPercent;
    return std::to_string(static_cast<int>(std::clamp(percent, kLeastPercent, kMostPercent)));
}

std::string ExpectationText(const RecordRequest& request, const std::string& model_path, const std::string& pic_path,
                            const std::vector<float>& pose, const std::string& threshold,
                            const std::string& recorded_at)
{
    zor::test::ExpectationHeader header;
    header.comments = {"Recorded by record_facepose on " + recorded_at, "  model: " + model_path,
                       "  image: " + pic_path, "Yaw, pitch and roll in degrees, as test_facepose prints them."};
    header.type = "numeric-match";
    header.numsToCheck = "1";
    header.threshold = threshold;
    if (request.portable) {
        header.thresholdComment = "percent, for < and >";
    } else {
        header.thresholdComment = "percent of each value, for < and >, added to the tolerance";
        header.tolerance = RecordedTolerance(request);
        header.toleranceComment = "degrees, for < and >";
    }
    return zor::test::ExpectationHeaderText(header) + zor::test::NumericLineText(request.condition, pose);
}

std::string AllowanceLines(const RecordRequest& request, const std::string& threshold, const std::vector<float>& pose)
{
    if (!ShowsAllowances(request)) {
        return "";
    }
    const std::vector<double> allowed = Allowances(threshold, pose);
    std::string text;
    for (std::size_t j = 0; j < pose.size(); ++j) {
        char line[128];
        std::snprintf(line, sizeof line, "  %s %f may move by %.3f degrees\n", ValueName(j, pose.size()).c_str(),
                      static_cast<double>(pose[j]), allowed[j]);
        text += line;
    }
    return text;
}

std::string AllowanceWarning(const RecordRequest& request, const std::string& threshold,
                             const std::vector<float>& pose, const std::string& output_path)
{
    const std::vector<double> allowed = Allowances(threshold, pose);
    const double most = allowed.empty() ? 0.0 : *std::max_element(allowed.begin(), allowed.end());
    if (!ShowsAllowances(request) || most <= kWarnDegrees) {
        return "";
    }
    char amount[64];
    std::snprintf(amount, sizeof amount, "%.3f degrees (more than %g)", most, kWarnDegrees);
    return "warning: " + output_path + ": Threshold " + threshold + " lets a value move by up to " + amount +
           ", so a change that large passes; without --portable each value may move by the "
           "tolerance in degrees.";
}

std::string ValueName(std::size_t index, std::size_t count)
{
    static const char* const kPose[] = {"yaw", "pitch", "roll"};
    return count == 3 && index < 3 ? kPose[index] : "value " + std::to_string(index);
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

}  // namespace zor::test::recorder
