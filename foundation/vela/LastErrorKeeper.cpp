#include <vela/LastErrorKeeper.h>

#include <windows.h>

namespace vela {

LastErrorKeeper::LastErrorKeeper() : m_code(GetLastError()) {}

LastErrorKeeper::~LastErrorKeeper()
{
    SetLastError(m_code);
}

}  // namespace vela
