#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "scratch_dir.h"
#include "table_rows.h"
#include "validator/result_validator.h"

namespace validator_test {

using test_support::ScratchDir;

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What `action` writes to standard output (fd 1, so printf and puts too).
template <typename Action>
std::string CaptureOutput(Action&& action)
{
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

// A validator built from `path`; its summary and messages go to `printed`.
inline std::unique_ptr<zor::test::ResultValidator> Load(std::string path, std::string* printed = nullptr)
{
    std::unique_ptr<zor::test::ResultValidator> validator;
    const std::string output =
        CaptureOutput([&] { validator = std::make_unique<zor::test::ResultValidator>(path); });
    if (printed != nullptr) {
        *printed = output;
    }
    return validator;
}

}  // namespace validator_test
