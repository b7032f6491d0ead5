// stagehand: looks at the desktop the way the library sees it, runs a live demo of the road
// of a test, and gives back what test programs that died left changed.
#include "Demo.h"
#include "Listings.h"
#include "Restore.h"
#include "Text.h"
#include "UsageError.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int usageError(const std::string& message)
{
    std::fprintf(stderr, "stagehand: %s\nRun 'stagehand --help' for the usage.\n", message.c_str());
    return 2;
}

}  // namespace

// The command line as UTF-16, so that any executable or file name passes unchanged.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(utf8(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());

    CLI::App tool("Looks at the desktop the way the stagehand library sees it, runs a live demo of the road of a "
                  "test, and gives back what test programs that died left changed.",
                  "stagehand");
    tool.require_subcommand(1);
    ListingOptions listing;
    DemoOptions demoOptions;
    RestoreOptions restoreOptions;
    std::vector<CLI::App*> listings = addListingCommands(tool, listing);
    CLI::App* demo = addDemoCommand(tool, demoOptions);
    CLI::App* restore = addRestoreCommand(tool, restoreOptions);
    if (argc < 2) {
        std::fputs(tool.help().c_str(), stderr);
        return 2;
    }
    bool known = arguments[1][0] == '-';
    for (const CLI::App* command : tool.get_subcommands({}))
        known |= command->get_name() == arguments[1];
    if (!known)
        return usageError("unknown command '" + arguments[1] + "'");
    try {
        tool.parse(argc, pointers.data());
        if (*demo)
            return runDemo(demoOptions);
        if (*restore)
            return runRestore(restoreOptions);
        for (CLI::App* command : listings)
            if (*command)
                return runListing(*command, listing);
        return usageError("no command");
    } catch (const CLI::ParseError& e) {
        return e.get_exit_code() == 0 ? tool.exit(e) : usageError(e.what());
    } catch (const UsageError& e) {
        return usageError(e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stagehand: %s\n", e.what());
        return 1;
    }
}
