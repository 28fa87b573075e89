#pragma once

// The result validator: reads an expectation file (*.nkvalid), compares the
// results of a run with it and writes a validation log when it is released.

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace zor {
namespace test {

// Kind of validation log written when the validator is released.
enum vlogType : int32_t {
    VLOG_NONE = 0,         // no log file
    VLOG_FAILED_ONLY = 1,  // code messages and one FAILURE line per failed item
    VLOG_FULL = 2,         // code messages and a PASSED or FAILURE line per item
};

// Keys of the message map below zero; each selects the log section of its line.
enum nkvalid_err_t : int32_t {
    ERR_INFO = -1,      // note in the data section
    ERR_WARNING = -2,   // warning in the data section
    ERR_SIZE = -3,      // check section
    ERR_MISSING = -4,   // system section
    ERR_FILE = -5,      // system section: problem with the expectation file
    ERR_LOG_TYPE = -6,  // system section
};

// Values of m_type: the kind of expectation file.
enum validType_t : int32_t {
    TYPE_UNSET = 0,
    TYPE_STRING = 1,   // "string-match"
    TYPE_NUMERIC = 2,  // "numeric-match"
};

// Values of DataNumericStruct::condition: how a value is compared with its
// expected value. Any other value: not set.
enum condition_t : int32_t {
    COND_EQUAL = 0,    // "="
    COND_GREATER = 1,  // ">"
    COND_LESS = -1,    // "<"
};

// One numeric data line of the expectation file.
struct DataNumericStruct {
    std::vector<float> values;
    int32_t condition = COND_EQUAL;  // a condition_t; anything else: not set
};

// One value of a numeric check: the expected and the run-time value, the
// relative difference abs(actual - expected) / abs(expected) and the
// difference abs(actual - expected) (both 0 for equal values), what "<" and
// ">" allowed in the values' own units (tolerance + threshold * abs(expected);
// without a "Tolerance" line, threshold * abs(expected), which is what the
// relative comparison amounts to) and whether the value met the item's
// condition.
struct ValueCheck {
    float expected = 0.0f;
    float actual = 0.0f;
    float relativeDifference = 0.0f;
    float difference = 0.0f;
    float allowed = 0.0f;
    bool passed = false;
};

// One result item of a numeric check. `values` is empty when the item could
// not be compared value by value (its length differs from the expectation's,
// or the expectation has no condition); `message` is the item's failure
// message as the log gives it, empty when the item passed.
struct ItemCheck {
    uint64_t index = 0;
    int32_t condition = 0;  // as in DataNumericStruct
    std::vector<ValueCheck> values;
    bool passed = false;
    std::string message;
};

// Why a numeric check compared nothing.
enum class CheckRefusal {
    kNone,           // the items were compared
    kNotLoaded,      // the expectation file could not be used (the parser said why)
    kNotNumeric,     // the expectation file is a string-match file
    kTooFewResults,  // fewer result items than "Nums to Check"
};

// The outcome of a numeric check: the verdict, the threshold the conditions
// "<" and ">" used (a fraction), the absolute tolerance when the file has a
// "Tolerance" line (`hasTolerance`; then "<" and ">" compare abs(actual -
// expected) with tolerance + threshold * abs(expected)) and every item
// compared, in index order. A refused check leaves `items` empty.
struct NumericCheck {
    bool passed = false;
    float threshold = 0.0f;
    bool hasTolerance = false;
    float tolerance = 0.0f;
    CheckRefusal refusal = CheckRefusal::kNone;
    std::vector<ItemCheck> items;
};

// The message a refused check records for `refusal`; empty for kNone.
const char* RefusalText(CheckRefusal refusal);

// "=", ">" or "<" for a condition of DataNumericStruct; "?" when not set.
const char* ConditionText(int32_t condition);

// The condition whose text (see ConditionText) is `text`; false, leaving
// `condition` as it was, for any other text.
bool ConditionFromText(std::string_view text, int32_t& condition);

// The three section bodies of one validation log, collected before writing.
struct LogStream {
    std::stringstream systemStream;
    std::stringstream checkStream;
    std::stringstream dataStream;
};

// What a validator prints on standard output. kQuiet keeps the expectation
// file's summary block and the "Log written to ..." line off it; the messages
// about a file that cannot be used, a refused check and a log that cannot be
// written are printed either way.
enum class ValidatorOutput { kPrinted, kQuiet };

class ResultValidator {
public:
    // Parses the expectation file at `path` and prints its summary; the path is
    // only read. A file that cannot be used leaves m_loaded false and its reason
    // under ERR_FILE in m_systemMessages.
    explicit ResultValidator(std::string& path);
    // The same for a path that is a constant or a temporary, printing what
    // `output` asks for.
    explicit ResultValidator(const std::string& path, ValidatorOutput output = ValidatorOutput::kPrinted);
    // Writes the validation log (see LogWriter) and reports its name.
    ~ResultValidator();

    // The log is written once, by the destructor: copies would write it twice.
    ResultValidator(const ResultValidator&) = delete;
    ResultValidator& operator=(const ResultValidator&) = delete;

    bool ValidationFileParser(const std::string& path);
    void PrintFileInfo();

    void SetLogType(vlogType type);
    void SetOutputlogName(std::string name);

    // Appends one formatted log line for `code` to the stream that the code
    // selects; a code outside ERR_LOG_TYPE..ERR_INFO is a result index.
    static void InsertStream(int code, std::string msg, LogStream* logStream, bool passed);

    // Numeric check: result item i against numeric expectation i.
    bool Check(const std::vector<std::vector<float>>& results);
    // The same check (same messages, same printed lines), with the details
    // of every value compared.
    NumericCheck CheckNumeric(const std::vector<std::vector<float>>& results);
    // String check: every result string must be an expected string.
    bool Check(const std::vector<std::string>& results);

    bool LogWriter();

    // Read-only views of the state; the parser, the setters and the checks
    // are the only writers.
    bool Loaded() const { return m_loaded; }
    int32_t Type() const { return m_type; }
    float Threshold() const { return m_threshold; }
    bool HasTolerance() const { return m_hasTolerance; }
    float Tolerance() const { return m_tolerance; }
    uint64_t NumsToCheck() const { return m_numsToCheck; }
    const std::vector<DataNumericStruct>& NumericData() const { return m_numericData; }
    const std::map<std::string, int32_t>& StringData() const { return m_stringData; }
    vlogType LogType() const { return m_logType; }
    const std::string& OutputlogName() const { return m_outputlogName; }
    const std::map<int32_t, std::string>& SystemMessages() const { return m_systemMessages; }
    ValidatorOutput Output() const { return m_output; }

private:
    bool m_loaded = false;
    int32_t m_type = TYPE_UNSET;  // a validType_t
    float m_threshold = 1.0f;   // relative tolerance of ">" and "<", as a fraction
    // Absolute tolerance of ">" and "<" in the values' own units: finite and
    // 0 or more when the file has a "Tolerance" line (m_hasTolerance).
    bool m_hasTolerance = false;
    float m_tolerance = 0.0f;
    uint64_t m_numsToCheck = static_cast<uint64_t>(-1);  // all bits set: not given
    std::vector<DataNumericStruct> m_numericData;
    std::map<std::string, int32_t> m_stringData;
    vlogType m_logType = VLOG_NONE;
    std::string m_outputlogName;
    // Negative key: an nkvalid_err_t code; 0 and up: index of a failed result.
    // Insertions never replace the first message under a key.
    std::map<int32_t, std::string> m_systemMessages;
    ValidatorOutput m_output = ValidatorOutput::kPrinted;
};

}  // namespace test
}  // namespace zor
