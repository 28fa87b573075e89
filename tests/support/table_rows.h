#pragma once

#include <cstddef>
#include <string>

#include <gtest/gtest.h>

namespace test_support {

// Runs `check` on every row of a table and fails unless `expected` rows ran,
// so that a row left out of the table fails its test.
template <typename Row, std::size_t N, typename Check>
void ForEachRow(const Row (&rows)[N], std::size_t expected, Check&& check)
{
    std::size_t ran = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE("row " + std::to_string(ran));
        check(row);
        ++ran;
    }
    EXPECT_EQ(ran, expected) << "rows run";
}

}  // namespace test_support
