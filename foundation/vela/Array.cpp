#define VELA_ARRAY_INSTANTIATING
#include <vela/Array.h>

namespace vela {

template class VELA_API Array<String>;
template class VELA_API Array<unsigned int>;
template class VELA_API Array<int>;

}  // namespace vela
