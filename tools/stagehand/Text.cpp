#include "Text.h"

#include <stagehand/MonitorInfoEnumerator.h>
#include <vela/String.h>

#include <cstdio>

std::string rectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

std::wstring wide(const std::string& utf8)
{
    vela::String s(utf8.c_str());
    return std::wstring(s.wide(), s.size());
}

std::string utf8(const std::wstring& wide)
{
    return vela::String(reinterpret_cast<const unsigned short*>(wide.data()), static_cast<unsigned int>(wide.size()))
        .toUtf8();
}

std::string escapeControls(const std::string& text)
{
    std::string escaped;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) {
            escaped += static_cast<char>(c);
            continue;
        }
        const char* named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
        char code[8];
        std::snprintf(code, sizeof code, "\\u%04x", c);
        escaped += named ? named : code;
    }
    return escaped;
}

std::string systemMessage(DWORD error, const std::string& subject)
{
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    std::string said = utf8(message);
    size_t insert = said.find("%1");
    if (insert != std::string::npos)
        said.replace(insert, 2, subject);
    return said.empty() ? "error " + std::to_string(error) : said + " (error " + std::to_string(error) + ")";
}

std::string count(unsigned int n, const char* what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string unknownAdapter(const std::string& adapter)
{
    vela::Array<vela::String> ids;
    stagehand::MonitorInfoEnumerator().getAdapterId(ids);
    std::string valid;
    for (unsigned int i = 0; i < ids.size(); ++i)
        valid += (i ? ", " : "") + ids[i].toUtf8();
    return "unknown adapter id '" + adapter + "'; the adapter ids are: " + valid;
}
