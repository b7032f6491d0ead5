#include "Text.h"

#include <stagehand/ProcessModuleEnumerator.h>

std::string rectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

std::wstring wide(const std::string& utf8)
{
    vela::String s(utf8.c_str());
    return std::wstring(s.wide(), s.size());
}

std::string executableName(DWORD pid)
{
    stagehand::ProcessModuleEnumerator modules;
    if (!modules.enumerate(pid) || modules.moduleNames().size() == 0)
        return std::string();
    return modules.moduleNames()[0].toUtf8();
}
