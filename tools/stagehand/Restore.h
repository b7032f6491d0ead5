#pragma once

#include <CLI/CLI.hpp>

struct RestoreOptions {
    bool dryRun = false;
    bool force = false;
    bool json = false;
};

CLI::App* addRestoreCommand(CLI::App& tool, RestoreOptions& options);

// Gives back what test programs that died left changed, prints one row per journal and a
// summary (or JSON), and returns the exit code: 0 when everything was restored or there was
// nothing to do, 1 when something was refused or could not be read.
int runRestore(const RestoreOptions& options);
