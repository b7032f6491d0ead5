#pragma once

// `stagehand restore`: shows again what test programs that died left hidden, prints one row
// per journal and a summary (or JSON), and returns the exit code.
int restoreDesktop(bool dryRun, bool force, bool json);
