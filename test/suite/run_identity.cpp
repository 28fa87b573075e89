#include "run_identity.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

namespace zor::test::suite {

std::string SuiteNameFor(const std::string& cases_dir)
{
    namespace fs = std::filesystem;
    fs::path path = fs::path(cases_dir).lexically_normal();
    if (!path.has_filename()) {
        path = path.parent_path();  // "cases/" normalises to "cases/"
    }
    if (path.empty() || path.filename() == "." || path.filename() == "..") {
        std::error_code error;
        const fs::path absolute = fs::weakly_canonical(fs::absolute(cases_dir, error), error);
        path = absolute.has_filename() ? absolute : absolute.parent_path();
    }
    const std::string name = path.filename().string();
    return name.empty() ? "facepose_suite" : name;
}

std::string FileSha256(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return "";
    }
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        if (EVP_DigestUpdate(context.get(), buffer, static_cast<size_t>(file.gcount())) != 1) {
            return "";
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (file.bad() || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return "";
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    char text[32] = "";
    if (::gmtime_r(&seconds, &utc) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    }
    return text;
}

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = "";
    if (::gethostname(name, sizeof name) != 0 || name[0] == '\0') {
        return "localhost";
    }
    name[HOST_NAME_MAX] = '\0';
    return name;
}

const char* SuiteVersion()
{
    return ZOR_SUITE_VERSION;
}

}  // namespace zor::test::suite
