#pragma once

// VELA_API marks what the foundation DLL exports; users of the DLL import it.
#if defined(VELA_BUILDING_DLL)
#define VELA_API __declspec(dllexport)
#else
#define VELA_API __declspec(dllimport)
#endif
