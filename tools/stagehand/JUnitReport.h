#pragma once

#include "RunRecord.h"

#include <string>

// The run as a JUnit XML file: one testsuite of one testcase; a failure when the program
// exited with a nonzero status, an error when it did not end by itself or was not run; the
// summary line, and the screenshot as an attachment line, in system-err.
std::string junitReport(const RunRecord& run);
