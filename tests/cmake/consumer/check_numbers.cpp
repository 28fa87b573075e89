// Checks the numbers given on the command line, as one result item, against
// an expectation file; exits 0 when they pass.
#include <cstdlib>
#include <string>
#include <vector>

#include "validator/result_validator.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 2;
    }
    std::string path = argv[1];
    std::vector<float> item;
    for (int i = 2; i < argc; ++i) {
        item.push_back(std::strtof(argv[i], nullptr));
    }
    zor::test::ResultValidator validator(path);
    validator.SetLogType(zor::test::VLOG_FAILED_ONLY);
    validator.SetOutputlogName("check_numbers.log");
    return validator.Check({item}) ? 0 : 1;
}
