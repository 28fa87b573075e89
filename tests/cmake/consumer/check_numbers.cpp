// Checks the numbers given on the command line, as one result item, against
// an expectation file; exits 0 when they pass. With -q first, nothing but
// problems reaches standard output.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "validator/result_validator.h"

int main(int argc, char** argv)
{
    const bool quiet = argc > 1 && std::strcmp(argv[1], "-q") == 0;
    const int first = quiet ? 2 : 1;
    if (argc <= first) {
        return 2;
    }
    std::vector<float> item;
    for (int i = first + 1; i < argc; ++i) {
        item.push_back(std::strtof(argv[i], nullptr));
    }
    using zor::test::ValidatorOutput;
    zor::test::ResultValidator validator{std::string(argv[first]),
                                         quiet ? ValidatorOutput::kQuiet : ValidatorOutput::kPrinted};
    validator.SetLogType(zor::test::VLOG_FAILED_ONLY);
    validator.SetOutputlogName("check_numbers.log");
    return validator.Check({item}) ? 0 : 1;
}
