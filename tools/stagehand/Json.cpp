#include "Json.h"

#include <cstdio>

void Json::separate()
{
    if (m_needComma)
        m_text += ',';
    m_needComma = false;
}

Json& Json::open(char bracket)
{
    separate();
    m_text += bracket;
    return *this;
}

Json& Json::close(char bracket)
{
    m_text += bracket;
    m_needComma = true;
    return *this;
}

Json& Json::beginArray()
{
    return open('[');
}

Json& Json::endArray()
{
    return close(']');
}

Json& Json::beginObject()
{
    return open('{');
}

Json& Json::endObject()
{
    return close('}');
}

Json& Json::key(const char* name)
{
    value(std::string(name));
    m_text += ':';
    m_needComma = false;
    return *this;
}

Json& Json::value(const std::string& text)
{
    separate();
    m_text += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': m_text += "\\\""; break;
        case '\\': m_text += "\\\\"; break;
        case '\n': m_text += "\\n"; break;
        case '\r': m_text += "\\r"; break;
        case '\t': m_text += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                m_text += escaped;
            } else {
                m_text += static_cast<char>(c);
            }
        }
    }
    m_text += '"';
    m_needComma = true;
    return *this;
}

Json& Json::value(long long number)
{
    separate();
    m_text += std::to_string(number);
    m_needComma = true;
    return *this;
}

Json& Json::value(bool flag)
{
    separate();
    m_text += flag ? "true" : "false";
    m_needComma = true;
    return *this;
}

Json& Json::null()
{
    separate();
    m_text += "null";
    m_needComma = true;
    return *this;
}
