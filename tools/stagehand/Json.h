#pragma once

#include <string>

// Writes one JSON document, value by value, to a string; enough for the tool's listings.
class Json {
public:
    Json& beginArray();
    Json& endArray();
    Json& beginObject();
    Json& endObject();
    Json& key(const char* name);
    Json& value(const std::string& text);
    Json& value(long long number);
    Json& value(bool flag);
    Json& null();

    const std::string& text() const { return m_text; }

private:
    void separate();
    Json& open(char bracket);
    Json& close(char bracket);

    std::string m_text;
    bool m_needComma = false;
};
