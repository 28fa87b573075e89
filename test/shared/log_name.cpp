#include "shared/log_name.h"

namespace zor::test::shared {

std::string LogNameFor(std::string expectation_path)
{
    const size_t slash = expectation_path.rfind('/');
    if (slash != std::string::npos) {
        expectation_path = expectation_path.substr(slash + 1);
    }
    const size_t dot = expectation_path.rfind('.');
    return expectation_path.substr(0, dot) + ".log";
}

}  // namespace zor::test::shared
