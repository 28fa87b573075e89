#pragma once

// What tells one suite run from another in its report: the suite's name, when
// and where it ran, the model (path and SHA-256 of its file), the shard and
// the program's version.

#include <chrono>
#include <string>

namespace zor::test::suite {

struct RunIdentity {
    std::string suite_name;    // --suite-name, else the cases folder's own name
    std::string timestamp;     // start of the run, UTC, "2026-12-07T20:03:26"
    std::string hostname;
    std::string model_path;
    std::string model_sha256;  // lowercase hex; empty when the file could not be read
    std::string shard;         // "I/N"
    std::string version;       // the program's version
};

// The last name of `cases_dir` ("cases" for "data/cases/"), of the folder it
// resolves to for "." and the like.
std::string SuiteNameFor(const std::string& cases_dir);

// The SHA-256 of the file's bytes in lowercase hex; empty when it cannot be read.
std::string FileSha256(const std::string& path);

// `when` in UTC as an ISO 8601 date and time without zone ("2026-12-07T20:03:26").
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// The machine's host name; "localhost" when it cannot be had.
std::string HostName();

// The program's version, as the build gives it.
const char* SuiteVersion();

}  // namespace zor::test::suite
