#include <vela/String.h>

#include <vela/Exception.h>

#include <windows.h>

#include <cstring>
#include <limits>

namespace vela {

namespace {

const unsigned short kEmpty[1] = {0};

unsigned int unitLength(const unsigned short* text)
{
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return static_cast<unsigned int>(n);
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
    size_t bytes = std::strlen(text);
    if (bytes > static_cast<size_t>(std::numeric_limits<int>::max()))
        throw NullPointer("String too long");
    int n = static_cast<int>(bytes);
    int units = MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
    if (units <= 0)
        return *this;
    unsigned short* wide = new unsigned short[units];
    MultiByteToWideChar(CP_UTF8, 0, text, n, reinterpret_cast<wchar_t*>(wide), units);
    try {
        appendUnits(wide, static_cast<unsigned int>(units));
    } catch (...) {
        delete[] wide;
        throw;
    }
    delete[] wide;
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

void String::appendUnits(const unsigned short* units, unsigned int count)
{
    if (count == 0)
        return;
    if (count > std::numeric_limits<unsigned int>::max() - 1 - m_size)
        throw NullPointer("String too long");
    unsigned int size = m_size + count;
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
    if (m_size == 0)
        return std::string();
    const wchar_t* text = wide();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(m_size), nullptr, 0, nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(m_size), &out[0], bytes, nullptr, nullptr);
    return out;
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

}  // namespace vela
