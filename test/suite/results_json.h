#pragma once

// results.json: the run and every case in a form for programs (the schema
// is in test/suite/README.md). The overview's figures can be computed from
// it alone.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "case_result.h"
#include "run_identity.h"
#include "suite_options.h"

namespace zor::test::suite {

constexpr char kResultsSchema[] = "facepose_suite results";
constexpr int kResultsVersion = 1;
// A results.json larger than this is refused as not one the suite wrote.
constexpr size_t kMaxResultsBytes = 64 << 20;

// The document, indented, with bytes that are not UTF-8 replaced by U+FFFD
// and control characters escaped. `baseline_sha256` is the baseline model
// file's; `tally` counts `results`; `only_in_previous` names the cases that
// only the previous run (--previous) held.
std::string ResultsJson(const SuiteOptions& options, const RunIdentity& identity, const std::string& baseline_sha256,
                        const std::vector<CaseResult>& results, const Tally& tally,
                        const std::vector<std::string>& only_in_previous);

// The document for `results` under `run` and `previous_run` as another
// results.json holds them (the shards of one run joined).
std::string ResultsJson(const nlohmann::json& run, bool with_baseline, const nlohmann::json& previous_run,
                        const std::vector<CaseResult>& results, const Tally& tally);

// A case of a results.json that ReadResultsJson accepted, back as the run had it.
CaseResult CaseFromResultsJson(const nlohmann::json& one);

// Reads a results.json that the suite wrote: a regular file (a link is
// refused, never followed) of at most kMaxResultsBytes, complete JSON, of
// this schema and version, whose cases each have a name, a verdict and a
// pose. Nothing, with the reason in `why`, otherwise.
std::optional<nlohmann::json> ReadResultsJson(const std::string& path, std::string& why);

}  // namespace zor::test::suite
