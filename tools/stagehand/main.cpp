// stagehand: looks at the desktop the way the library sees it, runs a live demo of the road
// of a test, and gives back what test programs that died left changed.
#include "CommandLine.h"
#include "Demo.h"
#include "Listings.h"
#include "Restore.h"
#include "Run.h"
#include "RunRecord.h"
#include "Text.h"
#include "UsageError.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Bad input of `run` gets the status that timeout(1) and env(1) give it: a wrapped program's
// own 2 must not be mistaken for it.
int usageError(const std::string& message, bool run = false)
{
    std::fprintf(stderr, "stagehand: %s\nRun 'stagehand %s--help' for the usage.\n", message.c_str(),
                 run ? "run " : "");
    return run ? static_cast<int>(kRunFailed) : 2;
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
    tool.set_version_flag("--version", "stagehand " STAGEHAND_VERSION);
    ListingOptions listing;
    DemoOptions demoOptions;
    RestoreOptions restoreOptions;
    RunOptions runOptions;
    std::vector<CLI::App*> listings = addListingCommands(tool, listing);
    CLI::App* demo = addDemoCommand(tool, demoOptions);
    CLI::App* restore = addRestoreCommand(tool, restoreOptions);
    CLI::App* run = addRunCommand(tool, runOptions);
    if (argc < 2) {
        std::fputs(tool.help().c_str(), stderr);
        return 2;
    }
    bool known = arguments[1][0] == '-';
    for (const CLI::App* command : tool.get_subcommands({}))
        known |= command->get_name() == arguments[1];
    if (!known)
        return usageError("unknown command '" + arguments[1] + "'");
    bool running = arguments[1] == "run";
    // `run`'s options come before PROGRAM; PROGRAM and its arguments pass through untouched.
    if (running) {
        ProgramStart start = findProgram(*run, arguments, 2);
        runOptions.command.assign(arguments.begin() + static_cast<std::ptrdiff_t>(start.program), arguments.end());
        pointers.resize(start.end);
    }
    try {
        tool.parse(static_cast<int>(pointers.size()), pointers.data());
        if (*run)
            return runProgram(runOptions);
        if (*demo)
            return runDemo(demoOptions);
        if (*restore)
            return runRestore(restoreOptions);
        for (CLI::App* command : listings)
            if (*command)
                return runListing(*command, listing);
        return usageError("no command");
    } catch (const CLI::ParseError& e) {
        return e.get_exit_code() == 0 ? tool.exit(e) : usageError(e.what(), running);
    } catch (const UsageError& e) {
        return usageError(e.what(), running);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "stagehand: %s\n", e.what());
        return running ? static_cast<int>(kRunFailed) : 1;
    }
}
