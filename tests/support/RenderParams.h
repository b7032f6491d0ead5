#pragma once

#include <stagehand/RenderWindowManager.h>

#include <string>

// Creation parameters for render windows: pop-ups named as given, on a rectangle.
inline stagehand::RenderWindowManager::WindowParam param(const std::string& name, RECT rect = RECT{0, 0, 0, 0})
{
    stagehand::RenderWindowManager::WindowParam p;
    p.windowName = name.c_str();
    p.style = WS_POPUP;
    p.rect = rect;
    return p;
}

// `count` of them, named prefix0, prefix1, ...
inline vela::Array<stagehand::RenderWindowManager::WindowParam> params(const std::string& prefix, unsigned int count)
{
    vela::Array<stagehand::RenderWindowManager::WindowParam> all;
    for (unsigned int i = 0; i < count; ++i)
        all.append(param(prefix + std::to_string(i)));
    return all;
}

inline stagehand::RenderWindowManager::TileParam grid(unsigned int rows, unsigned int columns)
{
    return stagehand::RenderWindowManager::TileParam{rows, columns};
}
