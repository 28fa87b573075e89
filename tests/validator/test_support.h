#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "validator/result_validator.h"

namespace validator_test {

// A fresh directory for one test, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zor-validator-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Path(const std::string& name) const { return m_path + "/" + name; }

    std::string Write(const std::string& name, const std::string& content) const
    {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }

private:
    std::string m_path;
};

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
