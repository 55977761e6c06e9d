// Names parameterised test rows after their `name` field, so a failure says which case broke.
#pragma once

#include <gtest/gtest.h>

#include <string>

template <class Case>
std::string RowName(const testing::TestParamInfo<Case>& row) {
    return row.param.name;
}

// Prints a row as its name in test listings instead of a byte dump of the struct.
#define ZENTRIQ_PRINT_ROW_AS_NAME(Case)                                        \
    [[maybe_unused]] inline void PrintTo(const Case& row, std::ostream* out) { \
        *out << row.name;                                                      \
    }
