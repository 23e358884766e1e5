#pragma once
// The fuzz targets' invariant check: a broken invariant stops the run with the failing
// condition, so libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

#define Check(condition)                                                         \
    do {                                                                         \
        if (!(condition)) {                                                      \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                        \
        }                                                                        \
    } while (0)
