#pragma once

#include "RunRecord.h"

#include <string>

// The run as a JSON document; README ("Command-line tool") lists its members.
std::string jsonReport(const RunRecord& run);
