#include "SpareNames.h"

#include <stagehand/ProcessEnumerator.h>
#include <stagehand/ProcessModuleEnumerator.h>
#include <vela/String.h>

#include <algorithm>

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    return vela::String::compareNoCase(vela::String(a.c_str()), vela::String(b.c_str())) == 0;
}

}  // namespace

std::vector<SpareName> matchSpareNames(const std::vector<std::string>& names)
{
    std::vector<std::string> running;
    stagehand::ProcessEnumerator processes;
    processes.enumerate();
    for (unsigned int i = 0; i < processes.numPids(); ++i)
        running.push_back(stagehand::executableName(processes.processIds()[i]).toUtf8());

    std::vector<SpareName> spared;
    for (const std::string& given : names) {
        SpareName name = {given, {}};
        std::string file = given.substr(given.find_last_of("\\/") + 1);
        for (const std::string& executable : running) {
            bool matches = !executable.empty() && (sameName(executable, file) || sameName(executable, file + ".exe"));
            if (matches && std::none_of(name.executables.begin(), name.executables.end(),
                                        [&](const std::string& seen) { return sameName(seen, executable); }))
                name.executables.push_back(executable);
        }
        spared.push_back(name);
    }
    return spared;
}
