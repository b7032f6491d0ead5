#pragma once

namespace vela {

struct LoggerPriority {
    enum LOGGER_PRIORITY {
        TRACE = 1,    // trace scopes and low-level notes
        DETAIL = 2,   // names found, steps taken
        FAILURE = 3,  // most failures
        SEVERE = 4,   // the few failures that matter most
        SILENT = 5    // as a global priority: nothing is written
    };
};

}  // namespace vela
