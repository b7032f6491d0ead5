#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

struct ListingOptions {
    bool json = false;
    std::string process;  // of `windows`: a pid or an executable name
};

// Adds the listing commands, monitors, processes and windows, in that order.
std::vector<CLI::App*> addListingCommands(CLI::App& tool, ListingOptions& options);

// Prints the listing of that command as a table, or as JSON; returns the exit code. Throws
// UsageError for a process that does not exist.
int runListing(const CLI::App& command, const ListingOptions& options);
