// Drives SharedResource copies, assignments and releases against a model: for each
// resource the model counts its holders, and the resource must be destroyed exactly
// when, and only when, its last holder lets go.
#include <vela/SharedResource.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

std::map<int, int> g_destroyed;  // resource id -> times destroyed

struct Resource {
    int id;
    explicit Resource(int i) : id(i) {}
    virtual ~Resource() { ++g_destroyed[id]; }
};

typedef vela::SharedResource<vela::PointerStorage<Resource, 0, 3>, 0> Holder;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_destroyed.clear();
    const int kSlots = 6;
    int created = 0;
    {
        Holder* slots = new Holder[kSlots];
        int model[kSlots];  // the resource id each slot holds, or -1
        for (int& m : model)
            m = -1;
        auto holders = [&](int id) {
            int n = 0;
            for (int m : model)
                n += m == id ? 1 : 0;
            return n;
        };
        for (size_t k = 0; k + 2 < size; k += 3) {
            int i = data[k + 1] % kSlots;
            int j = data[k + 2] % kSlots;
            int before = model[i];
            switch (data[k] % 5) {
            case 0:
                slots[i] = Holder(new Resource(created));
                model[i] = created++;
                break;
            case 1:
                slots[i] = slots[j];
                model[i] = model[j];
                break;
            case 2:
                slots[i].reset();
                model[i] = -1;
                break;
            case 3: {
                Holder copy(slots[j]);
                require(copy.useCount() == static_cast<unsigned int>(model[j] < 0 ? 0 : holders(model[j]) + 1));
                break;
            }
            case 4:
                slots[i] = slots[i];
                break;
            }
            // The resource a slot let go is destroyed exactly when no slot holds it any more.
            if (before >= 0 && before != model[i])
                require(g_destroyed[before] == (holders(before) == 0 ? 1 : 0));
            for (int s = 0; s < kSlots; ++s) {
                require(slots[s].holdsResource() == (model[s] >= 0));
                if (model[s] >= 0) {
                    require(slots[s].get()->id == model[s]);
                    require(slots[s].useCount() == static_cast<unsigned int>(holders(model[s])));
                }
            }
        }
        delete[] slots;
    }
    for (int id = 0; id < created; ++id)
        require(g_destroyed[id] == 1);
    return 0;
}
