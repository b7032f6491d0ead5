#include <vela/String.h>

#include <vela/Exception.h>
#include <vela/VelaValue.h>

#include <windows.h>

#include <cstring>
#include <limits>

namespace vela {

namespace {

const unsigned short kEmpty[1] = {0};

const unsigned short kReplacement = 0xFFFD;

size_t unitLength(const unsigned short* text)
{
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::basic_string<unsigned short> unitsFromUtf8(const unsigned char* p, const unsigned char* end)
{
    std::basic_string<unsigned short> units;
    while (p < end) {
        unsigned char lead = *p++;
        int more = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
        if (more < 0) {
            units.push_back(kReplacement);
            continue;
        }
        unsigned long code = more == 0 ? lead : lead & (0x3F >> more);
        int i = 0;
        for (; i < more && p < end && (*p & 0xC0) == 0x80; ++i)
            code = (code << 6) | (*p++ & 0x3F);
        static const unsigned long lowest[] = {0, 0x80, 0x800, 0x10000};
        if (i < more || code < lowest[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            units.push_back(kReplacement);
        } else if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(static_cast<unsigned short>(0xD800 + (code >> 10)));
            units.push_back(static_cast<unsigned short>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<unsigned short>(code));
        }
    }
    return units;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8FromUnits(const unsigned short* p, const unsigned short* end)
{
    std::string bytes;
    while (p < end) {
        unsigned long code = *p++;
        if (code >= 0xD800 && code <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF)
            code = 0x10000 + ((code - 0xD800) << 10) + (*p++ - 0xDC00);
        else if (code >= 0xD800 && code <= 0xDFFF)
            code = kReplacement;
        if (code < 0x80) {
            bytes += static_cast<char>(code);
        } else if (code < 0x800) {
            bytes += static_cast<char>(0xC0 | (code >> 6));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            bytes += static_cast<char>(0xE0 | (code >> 12));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (code >> 18));
            bytes += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

}  // namespace

String::String() : m_buffer(nullptr), m_size(0) {}

String::String(const String& other) : String()
{
    appendUnits(other.m_buffer, other.m_size);
}

String::String(const char* text) : String()
{
    append(text);
}

String::String(const unsigned short* text) : String()
{
    if (text)
        appendUnits(text, unitLength(text));
}

String::String(const unsigned short* text, unsigned int length) : String()
{
    if (text)
        appendUnits(text, length);
}

String::~String()
{
    delete[] m_buffer;
}

String& String::operator=(const String& other)
{
    if (this != &other) {
        String copy(other);
        std::swap(m_buffer, copy.m_buffer);
        std::swap(m_size, copy.m_size);
    }
    return *this;
}

String& String::append(const char* text)
{
    if (!text || !*text)
        return *this;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    std::basic_string<unsigned short> units = unitsFromUtf8(bytes, bytes + std::strlen(text));
    appendUnits(units.data(), units.size());
    return *this;
}

String& String::append(const String& other)
{
    if (&other == this) {
        String copy(other);
        appendUnits(copy.m_buffer, copy.m_size);
    } else {
        appendUnits(other.m_buffer, other.m_size);
    }
    return *this;
}

void String::appendUnits(const unsigned short* units, size_t count)
{
    if (count == 0)
        return;
    // The size and its terminating NUL must fit in 32 bits.
    if (count > std::numeric_limits<unsigned int>::max() - 1u - m_size)
        throw NullPointer("Asked for string of size: " + VelaValue(static_cast<unsigned long long>(m_size) + count)
                                                              .toString(VelaValue::nilValue));
    unsigned int size = m_size + static_cast<unsigned int>(count);
    unsigned short* buffer = new unsigned short[size + 1];
    if (m_size)
        std::memcpy(buffer, m_buffer, m_size * sizeof(unsigned short));
    std::memcpy(buffer + m_size, units, count * sizeof(unsigned short));
    buffer[size] = 0;
    delete[] m_buffer;
    m_buffer = buffer;
    m_size = size;
}

const unsigned short* String::getUCS2Buffer() const
{
    return m_buffer ? m_buffer : kEmpty;
}

std::string String::toUtf8() const
{
    return utf8FromUnits(m_buffer, m_buffer + m_size);
}

int String::compareNoCase(const String& a, const String& b)
{
    int result = CompareStringOrdinal(a.wide(), static_cast<int>(a.m_size), b.wide(), static_cast<int>(b.m_size), TRUE);
    return result - CSTR_EQUAL;
}

bool String::operator==(const String& other) const
{
    return m_size == other.m_size &&
           (m_size == 0 || std::memcmp(m_buffer, other.m_buffer, m_size * sizeof(unsigned short)) == 0);
}

String operator+(const char* left, const String& right)
{
    String result(left);
    result.append(right);
    return result;
}

unsigned int String::size() const
{
    return m_size;
}

bool String::empty() const
{
    return m_size == 0;
}

const wchar_t* String::wide() const
{
    return reinterpret_cast<const wchar_t*>(getUCS2Buffer());
}

}  // namespace vela
