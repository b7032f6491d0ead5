#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

// What the commands' command lines share.

// Refuses an empty value: "needs WHAT".
CLI::Validator notEmpty(const std::string& what);

// The arguments as one command line that CreateProcessW, and a program's C runtime, split
// back into exactly these arguments.
std::wstring commandLine(const std::vector<std::wstring>& arguments);

// Where PROGRAM stands among the words of `run`, from `first` on: the first word that is
// neither an option of the command nor an option's value, or the word after a first "--".
// `end` is where the options end (the "--", or PROGRAM); PROGRAM is at `program`, which is
// words.size() when there is none.
struct ProgramStart {
    size_t end;
    size_t program;
};
ProgramStart findProgram(const CLI::App& command, const std::vector<std::string>& words, size_t first);
