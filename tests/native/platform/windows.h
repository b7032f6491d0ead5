#pragma once

// The part of the platform that the foundation's portable sources call, for the native
// build. Case folding stands in with the C library's, for the Basic Latin and Latin-1 text
// the native tests use.
#include <cwctype>

typedef int BOOL;
#define TRUE 1
#define CSTR_LESS_THAN 1
#define CSTR_EQUAL 2
#define CSTR_GREATER_THAN 3

inline int CompareStringOrdinal(const wchar_t* a, int lengthA, const wchar_t* b, int lengthB, BOOL ignoreCase)
{
    for (int i = 0; i < lengthA && i < lengthB; ++i) {
        wint_t x = ignoreCase ? std::towupper(static_cast<wint_t>(a[i])) : static_cast<wint_t>(a[i]);
        wint_t y = ignoreCase ? std::towupper(static_cast<wint_t>(b[i])) : static_cast<wint_t>(b[i]);
        if (x != y)
            return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
    return lengthA < lengthB ? CSTR_LESS_THAN : lengthA > lengthB ? CSTR_GREATER_THAN : CSTR_EQUAL;
}
