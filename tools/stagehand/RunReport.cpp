#include "RunReport.h"

#include "Listing.h"

#include <nlohmann/json.hpp>

namespace {

typedef nlohmann::ordered_json Json;

Json clearingJson(const stagehand::DesktopClearing::Outcome& outcome)
{
    Json late = Json::array();
    for (unsigned int i = 0; i < outcome.unresponsivePrograms.size(); ++i)
        late.push_back(outcome.unresponsivePrograms[i].toUtf8());
    return {{"windows", outcome.windows},
            {"programs", outcome.programs},
            {"unresponsive", outcome.unresponsive.size()},
            {"unresponsivePrograms", late},
            {"refused", outcome.refused}};
}

}  // namespace

std::string jsonReport(const RunRecord& run)
{
    Json spared = Json::array();
    for (const SpareName& name : run.spared)
        spared.push_back({{"name", name.given}, {"matched", !name.executables.empty()}, {"programs", name.executables}});
    Json modes = Json::array();
    for (unsigned int i = 0; i < run.modes.size(); ++i) {
        Json mode = {{"adapter", run.modes[i].adapterId.toUtf8()}};
        mode.update(modeJson(run.modes[i].mode));
        modes.push_back(mode);
    }
    Json screenshot = nullptr;
    if (!run.screenshot.empty())
        screenshot = {{"path", run.screenshot}, {"taken", run.screenshotTaken}};
    Json json = {{"version", STAGEHAND_VERSION},
                 {"name", run.name},
                 {"program", run.command[0]},
                 {"arguments", std::vector<std::string>(run.command.begin() + 1, run.command.end())},
                 {"commandLine", run.commandLine},
                 {"start", run.start},
                 {"seconds", run.seconds},
                 {"timeout", run.timeout ? Json(run.timeout) : Json(nullptr)},
                 {"outcome", outcomeName(run.outcome)},
                 {"status", run.status},
                 {"exitCode", run.exitCode ? Json(*run.exitCode) : Json(nullptr)},
                 {"summary", run.summary()},
                 {"hidden", clearingJson(run.hidden)},
                 {"shown", clearingJson(run.shown)},
                 {"spared", spared},
                 {"modes", modes},
                 {"screenshot", screenshot}};
    return json.dump(2) + "\n";
}
