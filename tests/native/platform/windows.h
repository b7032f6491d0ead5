#pragma once

// The platform call the foundation's portable sources make, for the native build; the C
// library's case folding serves the Latin-1 text of the native tests.
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
