#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

struct ListingOptions {
    bool json = false;
    std::string process;  // of `windows`: a pid or an executable name
    std::string adapter;  // of `modes`: empty for every monitor
};

// Adds the listing commands, monitors, processes, windows and modes, in that order.
std::vector<CLI::App*> addListingCommands(CLI::App& tool, ListingOptions& options);

// Prints the listing of that command as a table, or as JSON; returns the exit code. Throws
// UsageError for a process or an adapter that does not exist.
int runListing(const CLI::App& command, const ListingOptions& options);
