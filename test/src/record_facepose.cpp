// record_facepose: runs the face-pose network on an image and records its pose
// as an expectation file for test_facepose, or does so for every case of a
// case folder (one sub-folder per case, holding an image and, once recorded,
// its expectation file).
//
// Exit status: 0 when every expectation file was written; 1 when one was
// not; 2 when the network gave no pose; 3 when standard output could not be
// written; 255 on bad usage.

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "output_check.h"
#include "pose_run.h"
#include "validator/result_validator.h"

namespace {

namespace fs = std::filesystem;

struct Options {
    std::string model_dir;
    std::string pic_path;
    std::string output_path;
    std::string cases_dir;
    std::string condition = "=";
    std::string threshold = "1";
    bool force = false;
};

const struct option kLongOptions[] = {
    {"model", required_argument, nullptr, 'm'},
    {"path", required_argument, nullptr, 'p'},
    {"output", required_argument, nullptr, 'o'},
    {"cases", required_argument, nullptr, 'c'},
    {"condition", required_argument, nullptr, 'k'},
    {"threshold", required_argument, nullptr, 't'},
    {"force", no_argument, nullptr, 'f'},
    {nullptr, 0, nullptr, 0},
};

const char kProgram[] = "record_facepose";
const char* const kImageExtensions[] = {".png", ".jpg", ".jpeg", ".bmp", ".tif", ".tiff", ".webp", ".pgm", ".ppm"};

[[noreturn]] void PrintUsage()
{
    std::cout << "Usage: record_facepose -m <dir_path> -p <image> -o <file.nkvalid> [options]\n"
                 "       record_facepose -m <dir_path> -c <cases_dir> [options]\n"
                 "     -m/--model <dir_path>   : nmodel folder path\n"
                 "     -p/--path <path>        : the image file\n"
                 "     -o/--output <path>      : the expectation file to write\n"
                 "     -c/--cases <dir_path>   : record every case: one sub-folder per case with an image\n"
                 "     -k/--condition <=|<|>   : how test_facepose compares the values (default =)\n"
                 "     -t/--threshold <number> : tolerance in percent for < and > (default 1)\n"
                 "     -f/--force              : overwrite expectation files that exist"
              << std::endl;
    exit(-1);
}

bool IsNumber(const std::string& text)
{
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    int opt = 0;
    while ((opt = getopt_long(argc, argv, "m:p:o:c:k:t:f", kLongOptions, nullptr)) != -1) {
        switch (opt) {
        case 'm': options.model_dir = optarg; break;
        case 'p': options.pic_path = optarg; break;
        case 'o': options.output_path = optarg; break;
        case 'c': options.cases_dir = optarg; break;
        case 'k': options.condition = optarg; break;
        case 't': options.threshold = optarg; break;
        case 'f': options.force = true; break;
        default: PrintUsage();
        }
    }
    const bool single = !options.pic_path.empty() && !options.output_path.empty();
    const bool folder = !options.cases_dir.empty();
    const bool knownCondition = options.condition == "=" || options.condition == "<" || options.condition == ">";
    if (options.model_dir.empty() || single == folder || optind < argc || !knownCondition ||
        !IsNumber(options.threshold) || (folder && (!options.pic_path.empty() || !options.output_path.empty()))) {
        PrintUsage();
    }
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

// The expectation file's text. Nine significant digits read back to the same
// single-precision value.
std::string ExpectationText(const Options& options, const std::string& model_path, const std::string& pic_path,
                            const std::vector<float>& pose)
{
    std::string text = "# Recorded by record_facepose on " + UtcNow() + "\n";
    text += "#   model: " + model_path + "\n";
    text += "#   image: " + pic_path + "\n";
    text += "# Yaw, pitch and roll in degrees, as test_facepose prints them.\n";
    text += "Type: numeric-match\n";
    text += "Nums to Check: 1\n";
    text += "Threshold: " + options.threshold + "   # percent, for < and >\n";
    text += "Valid data:\n" + options.condition;
    for (float value : pose) {
        char number[32];
        std::snprintf(number, sizeof number, " %.9g", static_cast<double>(value));
        text += number;
    }
    return text + "\n";
}

// Writes the file through a temporary one in the same folder, so an existing
// expectation is replaced whole or not at all.
bool WriteWhole(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".recording";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

// Runs the network on one image and records its pose. The written file is
// read back by the validator, which prints its summary and must accept the
// pose it was made from.
int RecordOne(const Options& options, const std::string& pic_path, const std::string& output_path)
{
    std::error_code error;
    if (fs::exists(fs::symlink_status(output_path, error)) && !options.force) {
        std::cerr << kProgram << ": " << output_path << " exists; pass -f to overwrite it." << std::endl;
        return 1;
    }
    const std::string model_path = facepose::ModelFilePath(options.model_dir);
    facepose::RequireInputFiles(model_path, pic_path);
    const std::vector<float> pose = facepose::PoseRun(model_path, pic_path).Pose(kProgram);
    if (pose.empty()) {
        return facepose::kExitShortResult;
    }
    if (!WriteWhole(output_path, ExpectationText(options, model_path, pic_path, pose))) {
        std::cerr << kProgram << ": cannot write " << output_path << std::endl;
        return 1;
    }
    std::string written = output_path;
    zor::test::ResultValidator validator(written);
    if (!validator.Check(std::vector<std::vector<float>>{pose})) {
        std::cerr << kProgram << ": " << output_path << " does not read back to the pose it records." << std::endl;
        return 1;
    }
    std::cout << "Recorded " << output_path << "." << std::endl;
    return 0;
}

bool IsImage(const fs::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(std::begin(kImageExtensions), std::end(kImageExtensions), extension) !=
           std::end(kImageExtensions);
}

// Records every case of a case folder: each sub-folder's one image, into its
// one .nkvalid file (or, when it has none yet, one named after the image).
int RecordFolder(const Options& options)
{
    std::error_code error;
    std::vector<fs::path> cases;
    for (const fs::directory_entry& entry : fs::directory_iterator(options.cases_dir, error)) {
        if (entry.is_directory()) {
            cases.push_back(entry.path());
        }
    }
    if (error) {
        std::cerr << kProgram << ": cannot read the case folder " << options.cases_dir << std::endl;
        return 1;
    }
    std::sort(cases.begin(), cases.end());
    int status = 0;
    for (const fs::path& folder : cases) {
        std::vector<fs::path> images;
        std::vector<fs::path> expectations;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            if (IsImage(entry.path())) {
                images.push_back(entry.path());
            } else if (entry.path().extension() == ".nkvalid") {
                expectations.push_back(entry.path());
            }
        }
        if (images.size() != 1 || expectations.size() > 1) {
            std::cerr << kProgram << ": " << folder.string()
                      << " must hold one image and at most one .nkvalid file; skipped." << std::endl;
            status = 1;
            continue;
        }
        const fs::path output = expectations.empty() ? fs::path(images[0]).replace_extension(".nkvalid")
                                                     : expectations[0];
        const int one = RecordOne(options, images[0].string(), output.string());
        status = std::max(status, one);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    facepose::CheckOutputAtExit(kProgram);
    const Options options = ParseOptions(argc, argv);
    return options.cases_dir.empty() ? RecordOne(options, options.pic_path, options.output_path)
                                     : RecordFolder(options);
}
