#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

struct RunOptions {
    std::vector<std::string> spare;
    std::vector<std::string> modes;  // ADAPTER=WIDTHxHEIGHT[@HZ]
    unsigned int timeout = 0;  // seconds; 0 for none
    unsigned int wait = 600;   // seconds while another test holds the desktop
    std::string screenshot;    // empty: none
    std::string report;        // JSON; empty: none
    std::string junit;         // JUnit XML; empty: none
    std::string name;          // the test's name in the reports; empty: PROGRAM
    // PROGRAM and its arguments: every word after the options (after a first "--").
    std::vector<std::string> command;
};

CLI::App* addRunCommand(CLI::App& tool, RunOptions& options);

// Runs PROGRAM on a prepared desktop and gives the desktop back; writes the summary line and
// the reports however it ends, and returns the program's exit status or one of RunRecord.h's.
// Throws UsageError for options that cannot go together, before anything changes.
int runProgram(const RunOptions& options);
