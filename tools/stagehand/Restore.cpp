#include "Restore.h"

#include "Listing.h"
#include "Text.h"

#include <stagehand/DesktopRecovery.h>

#include <cstdio>
#include <string>

namespace {

typedef stagehand::DesktopRecovery::JournalReport JournalReport;

const char* outcomeName(const JournalReport& journal, bool dryRun)
{
    switch (journal.outcome) {
    case JournalReport::RESTORED: return dryRun ? "would restore" : "restored";
    case JournalReport::LEFT_ALONE: return "writer running";
    case JournalReport::KEPT: return dryRun ? "would keep" : "kept";
    default: return "refused";
    }
}

std::string fileName(const vela::String& path)
{
    std::string text = path.toUtf8();
    return text.substr(text.find_last_of('\\') + 1);
}

}  // namespace

CLI::App* addRestoreCommand(CLI::App& tool, RestoreOptions& options)
{
    CLI::App* restore = tool.add_subcommand(
        "restore", "gives back what test programs that died left changed: their adapters' display modes, the windows "
                   "they hid, the foreground, the screen saver; and removes their journals");
    restore->add_flag("--dry-run", options.dryRun, "change nothing; report what would be done");
    restore->add_flag("--force", options.force, "also restore the journals of test programs that are running");
    restore->add_flag("--json", options.json, "print JSON instead of a table");
    return restore;
}

int runRestore(const RestoreOptions& options)
{
    bool dryRun = options.dryRun, json = options.json;
    stagehand::DesktopRecovery::Report report = stagehand::DesktopRecovery::restore(dryRun, options.force);
    int status = report.complete() ? 0 : 1;
    if (report.folderError)
        std::fprintf(stderr, "stagehand: the journal folder %s cannot be listed (error %lu)\n",
                     report.folder.toUtf8().c_str(), report.folderError);
    if (!json && report.journals.size() == 0) {
        if (report.folderError == 0)
            std::printf("No desktop-clearing journals in %s.\n", report.folder.toUtf8().c_str());
        return status;
    }
    Listing out(json, {{"journal", "JOURNAL", -48},
                       {"writer", "WRITER", 7, 2},
                       {"outcome", "OUTCOME", -15},
                       {"displayMode", "MODE", -32},
                       {"shown", "SHOWN", 5, 2},
                       {"programs", "PROGRAMS", 8, 2},
                       {"skipped", "SKIPPED", 7, 2},
                       {"problem", "PROBLEM", 0}});
    for (unsigned int i = 0; i < report.journals.size(); ++i) {
        const JournalReport& journal = report.journals[i];
        out.text("journal", fileName(journal.path)).text("path", journal.path.toUtf8());
        out.number("writer", journal.writerPid).flag("writerRunning", journal.writerRunning);
        out.text("outcome", outcomeName(journal, dryRun)).number("shown", journal.shown.size());
        out.number("programs", journal.programs).number("skipped", journal.skipped.size());
        out.flag("screenSaver", journal.screenSaver);
        nlohmann::ordered_json mode = nullptr;
        std::string shown;
        if (journal.displayMode) {
            mode = {{"adapter", journal.adapter.toUtf8()}, {"mode", modeJson(journal.mode)}, {"set", journal.modeSet}};
            shown = journal.adapter.toUtf8() + " " + stagehand::displayModeText(journal.mode).toUtf8();
        }
        out.value("displayMode", mode, shown).textOrNull("problem", journal.problem.toUtf8()).endRow();
    }
    out.finish();
    if (json)
        return status;
    std::printf("\n%s %s of %s; skipped %s that %s gone or now another program's.\n",
                dryRun ? "Would show" : "Showed", count(report.windowsShown, "window").c_str(),
                count(report.programs, "program").c_str(), count(report.windowsSkipped, "window").c_str(),
                report.windowsSkipped == 1 ? "is" : "are");
    if (report.screenSaverOn)
        std::printf("%s the screen saver back on.\n", dryRun ? "Would switch" : "Switched");
    if (report.modesRestored)
        std::printf("%s back the display mode of %s.\n", dryRun ? "Would give" : "Gave",
                    count(report.modesRestored, "adapter").c_str());
    if (report.leftAlone)
        std::printf("Left %s alone: the writer is running (--force restores it anyway).\n",
                    count(report.leftAlone, "journal").c_str());
    if (report.refused > report.modesRefused)
        std::printf("Refused %s as damaged; %s.\n", count(report.refused - report.modesRefused, "journal").c_str(),
                    dryRun ? "each would be kept as a .damaged file" : "kept as .damaged files");
    if (report.modesRefused)
        std::printf("Could not give back the display mode of %s; %s journal stays, for another try.\n",
                    count(report.modesRefused, "adapter").c_str(), report.modesRefused == 1 ? "its" : "each");
    if (report.kept)
        std::printf("Kept %s, for the problem its row names.\n", count(report.kept, "journal").c_str());
    return status;
}
