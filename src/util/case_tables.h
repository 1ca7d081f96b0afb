// Full Unicode case mappings, generated at build time (tools/gen/case_tables.py).
#pragma once

#include <cstddef>

namespace tolvek {

struct CaseMapping {
    char32_t from;
    char32_t to[3];  // unused places are 0
};

extern const CaseMapping kUpperCase[];
extern const std::size_t kUpperCase_size;
extern const CaseMapping kLowerCase[];
extern const std::size_t kLowerCase_size;

}  // namespace tolvek
