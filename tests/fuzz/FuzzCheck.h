#pragma once

// The fuzz targets' own checks: a property that does not hold is reported and aborts, so
// that libFuzzer saves the input and the corpus replay fails on it.

#include <cstdio>
#include <cstdlib>

#define QM_FUZZ_CHECK(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
