#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

struct RunOptions {
    std::vector<std::string> spare;
    unsigned int timeout = 0;  // seconds; 0 for none
    std::string screenshot;    // empty: none
    std::string report;        // empty: none
    // PROGRAM and its arguments when they followed "--"; else they are the command's remaining.
    std::vector<std::string> command;
};

// Exit statuses of `stagehand run` besides the program's own, as timeout(1) and env(1) have them.
const int kTimedOut = 124;
const int kRunFailed = 125;
const int kCannotStart = 126;
const int kNotFound = 127;

CLI::App* addRunCommand(CLI::App& tool, RunOptions& options);

// Runs PROGRAM (the command's remaining arguments) on a prepared desktop and gives the
// desktop back; returns the program's exit status, or one of the statuses above. Throws
// UsageError for bad options, before anything changes.
int runProgram(const CLI::App& command, const RunOptions& options);
