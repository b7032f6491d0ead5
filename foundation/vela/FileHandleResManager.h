#pragma once

#include <vela/Export.h>

namespace vela {

// Closes kernel handles for SharedResource's DescriptorStorage.
class VELA_API FileHandleResManager {
public:
    // Closes the handle; NULL (a failed open) is accepted and closes nothing. The thread's
    // last-error code is left as it was.
    static void destroy(void* handle);
};

}  // namespace vela
