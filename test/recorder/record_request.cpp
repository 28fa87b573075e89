#include "record_request.h"

#include <getopt.h>

#include "recording_policy.h"

namespace zor::test::recorder {
namespace {

// Long-only options.
enum : int { kTolerance = 1000, kPortable, kUpdate, kAll, kFilter, kVerbose };

const struct option kLongOptions[] = {
    {"model", required_argument, nullptr, 'm'},
    {"path", required_argument, nullptr, 'p'},
    {"output", required_argument, nullptr, 'o'},
    {"cases", required_argument, nullptr, 'c'},
    {"condition", required_argument, nullptr, 'k'},
    {"threshold", required_argument, nullptr, 't'},
    {"tolerance", required_argument, nullptr, kTolerance},
    {"portable", no_argument, nullptr, kPortable},
    {"force", no_argument, nullptr, 'f'},
    {"update", no_argument, nullptr, kUpdate},
    {"all", no_argument, nullptr, kAll},
    {"filter", required_argument, nullptr, kFilter},
    {"verbose", no_argument, nullptr, kVerbose},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

// The reason a complete command line cannot run; empty when it can, and
// also for the mistakes that the usage text explains.
std::string Refusal(const RecordRequest& request, bool recordingChoices)
{
    if (request.update) {
        return recordingChoices ? "--update keeps each file's own condition, threshold and tolerance and replaces "
                                  "only the files that need it; -k, -t, --tolerance, --portable and -f do not go "
                                  "with it."
                                : "";
    }
    if (request.all) {
        return "--all goes with --update.";
    }
    return ConditionRefusal(request);
}

}  // namespace

std::string UsageText()
{
    return "Usage: record_facepose -m <dir_path> -p <image> -o <file.nkvalid> [options]\n"
           "       record_facepose -m <dir_path> -c <cases_dir> [--filter <text>] [options]\n"
           "       record_facepose -m <dir_path> -c <cases_dir> --update [--all] [--filter <text>]\n"
           "     -m/--model <dir_path>   : nmodel folder path\n"
           "     -p/--path <path>        : the image file\n"
           "     -o/--output <path>      : the expectation file to write\n"
           "     -c/--cases <dir_path>   : record every case: one sub-folder per case with an image\n"
           "     --filter <text>         : with -c, only the cases whose name contains the text\n"
           "     --update                : with -c, record again the cases whose expectation no longer\n"
           "                               passes, keeping each file's condition, threshold and tolerance\n"
           "     --all                   : with --update, every case, also the ones that pass\n"
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
           "     --verbose               : print the summary of each file as the validator reads it back\n"
           "     -h/--help               : print this text\n";
}

ParsedCommand ParseCommand(int argc, char** argv)
{
    ParsedCommand parsed;
    RecordRequest& request = parsed.request;
    bool recordingChoices = false;  // -k, -t, --tolerance, --portable or -f given
    optind = 0;                     // a fresh scan, also when called again
    int opt = 0;
    while ((opt = getopt_long(argc, argv, "m:p:o:c:k:t:fh", kLongOptions, nullptr)) != -1) {
        recordingChoices = recordingChoices || opt == 'k' || opt == 't' || opt == kTolerance || opt == kPortable ||
                           opt == 'f';
        switch (opt) {
        case 'm': request.model_dir = optarg; break;
        case 'p': request.pic_path = optarg; break;
        case 'o': request.output_path = optarg; break;
        case 'c': request.cases_dir = optarg; break;
        case 'k': request.condition = optarg; break;
        case 't': request.threshold = optarg; break;
        case kTolerance: request.tolerance = optarg; break;
        case kPortable: request.portable = true; break;
        case 'f': request.force = true; break;
        case kUpdate: request.update = true; break;
        case kAll: request.all = true; break;
        case kFilter: request.filter = optarg; break;
        case kVerbose: request.verbose = true; break;
        case 'h': parsed.kind = ParsedCommand::Kind::kHelp; return parsed;
        default: return parsed;
        }
    }
    const bool single = !request.pic_path.empty() && !request.output_path.empty();
    const bool folder = !request.cases_dir.empty();
    const bool knownCondition = request.condition == "=" || request.condition == "<" || request.condition == ">";
    const bool badAmount = (!request.threshold.empty() && !IsAmount(request.threshold)) ||
                           (!request.tolerance.empty() && !IsAmount(request.tolerance));
    const bool folderOnly = request.update || !request.filter.empty();
    if (request.model_dir.empty() || single == folder || optind < argc || !knownCondition || badAmount ||
        (folder && (!request.pic_path.empty() || !request.output_path.empty())) || (folderOnly && !folder)) {
        return parsed;
    }
    parsed.error = Refusal(request, recordingChoices);
    if (parsed.error.empty()) {
        parsed.kind = ParsedCommand::Kind::kRecord;
    }
    return parsed;
}

}  // namespace zor::test::recorder
