#pragma once

#include "SpareNames.h"

#include <stagehand/DesktopClearing.h>
#include <stagehand/TestRun.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Exit statuses of `stagehand run` besides the program's own: TestRun's, and an interrupt as a
// shell reports it (128 + SIGINT).
const DWORD kRunFailed = stagehand::TestRun::kFailed;
const DWORD kInterrupted = 130;

// What one `stagehand run` did, from which its summary line and its reports are written.
struct RunRecord {
    enum Outcome { EXITED, TIMED_OUT, INTERRUPTED, NOT_FOUND, NOT_STARTED, FAILED };

    std::string name;                  // the test's: --name, else PROGRAM
    std::vector<std::string> command;  // PROGRAM and its arguments
    std::string commandLine;           // as the program is given it
    std::string start;                 // UTC, ISO 8601
    double seconds = 0;                // from the program's start to its end
    unsigned int timeout = 0;          // seconds; 0 for none
    Outcome outcome = FAILED;
    DWORD status = kRunFailed;              // what `stagehand run` exits with
    std::optional<DWORD> exitCode;          // the program's own, when it ended by itself
    std::string verdict;                    // "exited with 7", "was not found: ..."
    stagehand::DesktopClearing::Outcome hidden;
    stagehand::DesktopClearing::Outcome shown;
    vela::Array<stagehand::AdapterMode> modes;  // held while the program ran
    std::vector<SpareName> spared;
    std::string screenshot;  // its full path; empty when none was asked for
    bool screenshotTaken = false;

    // "PROGRAM exited with 7 after 0.52 s; 1 window of 1 program hidden and shown again", and
    // "; \\.\DISPLAY2 held at 1024x768@60 32bpp" for each display mode held.
    std::string summary() const;
    // "PROGRAM exited with 7 (status 7)".
    std::string verdictWithStatus() const;
};

// How reports name the outcome: "exited", "timedOut", "interrupted", "notFound",
// "notStarted", "failed".
const char* outcomeName(RunRecord::Outcome outcome);

// A status as text; an NTSTATUS, as a crash's, in hexadecimal too.
std::string statusText(DWORD status);
