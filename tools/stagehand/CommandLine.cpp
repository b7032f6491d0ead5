#include "CommandLine.h"

CLI::Validator notEmpty(const std::string& what)
{
    return CLI::Validator([what](std::string& value) { return value.empty() ? "needs " + what : std::string(); }, "",
                          "not empty");
}

namespace {

// Quoted when it must be: backslashes are doubled only where a quote follows them.
std::wstring quoted(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        for (; i < argument.size() && argument[i] == L'\\'; ++i)
            ++backslashes;
        if (i == argument.size()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        out.append(argument[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        out.push_back(argument[i]);
    }
    return out + L"\"";
}

}  // namespace

std::wstring commandLine(const std::vector<std::wstring>& arguments)
{
    std::wstring line;
    for (const std::wstring& argument : arguments)
        line += (line.empty() ? L"" : L" ") + quoted(argument);
    return line;
}
