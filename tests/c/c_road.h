#ifndef C_ROAD_H
#define C_ROAD_H

/* The road of a test through stagehand_c.h, shared by the C program (c_road.c) and the sweep,
 * which makes the library's system calls fail while it runs. */
#include <stagehand/stagehand_c.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the road saw, by its own means, and how many calls returned other than STAGEHAND_OK. */
typedef struct c_road_report {
    char seen[16][48];
    uint32_t count;
    uint32_t reported;
} c_road_report;

/* What the road sees on the test display when nothing fails. */
#define C_ROAD_SEEN 11
extern const char* const c_road_expected[C_ROAD_SEEN];

/* Listings; a render window on each monitor and a grid; Escape; the desktop cleared of the
 * `cleared` helper, two windows, but spare_helper.exe; restore; destroy; a killed test
 * program's journal recovered. */
void c_road_walk(uint32_t cleared_pid, const HWND cleared[2], HWND spared, c_road_report* report);

/* And what it sees of the adapter's display modes (the test display's second monitor). */
#define C_ROAD_MODES_SEEN 3
extern const char* const c_road_modes_expected[C_ROAD_MODES_SEEN];

/* The adapter's modes listed; 1024x768 held at any refresh rate, then given back. Each mode
 * change takes the desktop a few tenths of a second under Wine, so it is a leg of its own. */
void c_road_walk_modes(const char* adapter, c_road_report* report);

#ifdef __cplusplus
}
#endif

#endif
