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

ProgramStart findProgram(const CLI::App& command, const std::vector<std::string>& words, size_t first)
{
    for (size_t i = first; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--")
            return {i, i + 1};
        if (word.size() < 2 || word[0] != '-')
            return {i, i};
        // An option's value is its next word, unless joined to it by '='. An unknown option
        // takes none: parsing the options names it.
        const CLI::Option* option = command.get_option_no_throw(word);
        if (word.find('=') == std::string::npos && option && option->get_items_expected_min() > 0)
            ++i;
    }
    return {words.size(), words.size()};
}
