#pragma once

// STAGEHAND_API marks what stagehand.dll exports; users of the DLL import it.
#if defined(STAGEHAND_BUILDING_DLL)
#define STAGEHAND_API __declspec(dllexport)
#else
#define STAGEHAND_API __declspec(dllimport)
#endif
