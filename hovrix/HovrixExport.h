#pragma once
// The library is built with hidden visibility; only what carries this mark is
// exported from libhovrix.so.
#define HOVRIX_EXPORT __attribute__((visibility("default")))
