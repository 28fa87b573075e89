// validation_baseline: the text work that every validating run of test_facepose has to do,
// and nothing else. The benchmark compares the whole program with it.
//
//   validation_baseline [--reference] EXPECTATION_FILE LOG_FILE
//
// It reads the expectation file once, converts every number of a numeric
// file (strtod, narrowed to float), prints the same summary as the validator
// ("%f " per value) and writes the validation log that the driver's run
// leaves: one line per data entry. It keeps no parsed records (it prints each
// line as it converts it) and knows the benchmark's scenario: a numeric file
// whose one checked item passes, or a string file that the driver's numeric
// check refuses. Its standard output and log must equal the program's byte
// for byte; the benchmark script compares them.
//
// Numbers are read and formatted with the validator's own primitives (from
// test/validator/text_utils: from_chars where that gives strtod's value, and
// an exact "%f" for floats), the cheapest ways we have to the same bytes.
// With --reference it uses strtod on a copy of every value and printf
// instead: slower, and plainly right, for the benchmark's byte comparison.

#include <algorithm>
#include <charconv>
#include <system_error>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "validator/text_scan.h"
#include "validator/text_utils.h"

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Prepare(std::string_view line)
{
    line = line.substr(0, line.find('#'));
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
}

bool g_reference = false;

// strtod of `piece` as if it stood alone.
double ReadNumber(std::string_view piece)
{
    if (g_reference) {
        return std::strtod(std::string(piece).c_str(), nullptr);
    }
    return zor::test::detail::ReadNumber(piece);
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Output through one buffer, flushed to a FILE when it fills.
class Sink {
public:
    explicit Sink(std::FILE* file) : m_file(file) {}
    ~Sink() { Flush(); }
    void Put(std::string_view text)
    {
        if (m_used + text.size() > sizeof m_buffer) {
            Flush();
        }
        if (text.size() > sizeof m_buffer) {
            std::fwrite(text.data(), 1, text.size(), m_file);
            return;
        }
        std::memcpy(m_buffer + m_used, text.data(), text.size());
        m_used += text.size();
    }
    void PutFixed(float value)
    {
        char text[zor::test::detail::kFixedTextMax + 1];
        if (g_reference) {
            Put(std::string_view(text, static_cast<std::size_t>(std::snprintf(
                                           text, sizeof text, "%f", static_cast<double>(value)))));
            return;
        }
        const char* const end = zor::test::detail::WriteFixed(value, text);
        Put(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    void PutIndex(uint64_t value)
    {
        char text[24];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        Put(std::string_view(text, static_cast<std::size_t>(end - text)));
    }
    void Flush()
    {
        std::fwrite(m_buffer, 1, m_used, m_file);
        m_used = 0;
    }

private:
    std::FILE* m_file;
    std::size_t m_used = 0;
    char m_buffer[1 << 16];
};

const char kRule[] = "================================================\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--reference") == 0) {
        g_reference = true;
        ++argv;
        --argc;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s [--reference] EXPECTATION_FILE LOG_FILE\n", argv[0]);
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "r");
    if (in == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    char* buffer = nullptr;
    std::size_t capacity = 0;
    auto next = [&](std::string_view& line) {
        ssize_t read;
        while ((read = getline(&buffer, &capacity, in)) >= 0) {
            std::size_t length = static_cast<std::size_t>(read);
            if (length > 0 && buffer[length - 1] == '\n') {
                --length;
            }
            line = Prepare(std::string_view(buffer, length));
            if (!line.empty()) {
                return true;
            }
        }
        return false;
    };

    int type = 0;
    float threshold = 1.0f;
    int64_t numsToCheck = -1;
    std::string_view line;
    while (next(line)) {
        if (StartsWith(line, "Type")) {
            type = StartsWith(line.substr(6), "numeric") ? 2 : 1;
        } else if (StartsWith(line, "Nums to Check")) {
            numsToCheck = std::strtol(std::string(line.substr(14)).c_str(), nullptr, 10);
        } else if (StartsWith(line, "Threshold")) {
            threshold = static_cast<float>(std::strtod(std::string(line.substr(10)).c_str(), nullptr) / 100.0);
        } else if (StartsWith(line, "Valid data")) {
            break;
        }
    }

    Sink out(stdout);
    out.Put(kRule);
    char head[64];
    std::snprintf(head, sizeof head, "Type: %d\nThreshold: %f\nValid data:\n", type,
                  static_cast<double>(threshold));
    out.Put(head);

    uint64_t entries = 0;
    if (type == 2) {
        while (next(line)) {
            out.Put(line.substr(0, 1));
            out.Put(" ");
            // Every single blank closes a value, so two blanks in a row hold
            // an empty value, which reads as 0.
            const std::string_view values = Prepare(line.substr(1));
            std::size_t start = 0;
            for (std::size_t pos = 0; pos <= values.size(); ++pos) {
                if (pos == values.size() || values[pos] == ' ' || values[pos] == '\t') {
                    out.PutFixed(static_cast<float>(ReadNumber(values.substr(start, pos - start))));
                    out.Put(" ");
                    start = pos + 1;
                }
            }
            out.Put("\n");
            ++entries;
        }
    } else {
        // Keys are printed once each, in byte order.
        std::vector<std::string> keys;
        while (next(line)) {
            keys.emplace_back(line);
        }
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (const std::string& key : keys) {
            out.Put(key);
            out.Put("\n");
        }
        entries = keys.size();
    }
    out.Put(kRule);
    out.Flush();
    std::free(buffer);
    std::fclose(in);

    if (numsToCheck <= 0 || static_cast<uint64_t>(numsToCheck) > entries) {
        numsToCheck = static_cast<int64_t>(entries);
    }
    std::FILE* log = std::fopen(argv[2], "w");
    if (log == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    {
        Sink file(log);
        file.Put("[System message]\n");
        if (type != 2) {
            file.Put("    Missing validation file or rvType not match.\n");
        }
        file.Put("[Check message]\n[Valid Data]\n");
        if (type == 2 && entries != static_cast<uint64_t>(numsToCheck)) {
            file.Put("    [WARNING] This validation log only output part of the results\n");
        }
        file.Put("    Total validation num: ");
        file.PutIndex(static_cast<uint64_t>(numsToCheck));
        file.Put(".\n");
        for (uint64_t i = 0; i < entries; ++i) {
            file.Put("    [PASSED] index: ");
            file.PutIndex(i);
            file.Put(".\n");
        }
    }
    std::fclose(log);
    return 0;
}
