#pragma once

#include <vela/Export.h>

#include <cstddef>
#include <string>

namespace vela {

// UCS-2 text. Narrow text is taken as UTF-8; a null pointer makes an empty string.
// The buffer is always zero-terminated; a string built with a length keeps every unit
// it was given, embedded NULs included.
class VELA_API String {
public:
    String();
    String(const String& other);
    String(const char* text);
    String(const unsigned short* text);
    String(const unsigned short* text, unsigned int length);
    ~String();

    String& operator=(const String& other);

    String& append(const char* text);
    String& append(const String& other);

    unsigned int size() const;
    bool empty() const;

    // Zero-terminated, valid while the string lives and is not changed.
    const unsigned short* getUCS2Buffer() const;
    // The same units as the platform's wide text.
    const wchar_t* wide() const;

    std::string toUtf8() const;

    // Ordinal comparison ignoring case, as Windows compares device and file names: <0, 0 or >0.
    static int compareNoCase(const String& a, const String& b);

    // Exact, unit by unit.
    bool operator==(const String& other) const;
    bool operator!=(const String& other) const { return !(*this == other); }

private:
    void appendUnits(const unsigned short* units, size_t count);

    unsigned short* m_buffer;  // null while empty
    unsigned int m_size;
};

VELA_API String operator+(const char* left, const String& right);

}  // namespace vela
