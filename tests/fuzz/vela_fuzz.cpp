// Arrays of shared resources against a model (resource ids, -1 for an empty holder), four bytes
// an operation, with each allocation failing in turn (malloc and operator new are wrapped),
// then none: a refusal reaches the caller, the arrays as they were, each resource freed once.
#include <vela/Array.h>
#include <vela/SharedResource.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

long s_countdown = -1;  // allocations left before one fails; -1: none does
bool s_failed = false;

bool failsNow()
{
    if (s_countdown < 0 || s_countdown-- > 0)
        return false;
    s_failed = true;
    return true;
}

const int kArrays = 3, kIds = 4096;
std::array<int, kIds> s_made, s_destroyed;

struct Resource {
    explicit Resource(int i) : id(i) { ++s_made[id]; }
    virtual ~Resource() { ++s_destroyed[id]; }
    int id;
};
typedef vela::SharedResource<vela::PointerStorage<Resource, 0, 3>, 0> Holder;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// The model's vectors are reserved up front, so that updating them allocates nothing.
struct Model {
    Model()
    {
        for (std::vector<int>& v : ids)
            v.reserve(kIds);
    }

    void apply(const std::uint8_t* op)
    {
        int x = op[1] % kArrays, y = op[2] % kArrays;
        unsigned int n = op[3];
        vela::Array<Holder>& a = arrays[x];
        std::vector<int>& v = ids[x];
        unsigned int i = v.empty() ? 0 : n % v.size();
        switch (op[0] % 7) {
        case 0:
            if (created < kIds) {
                int id = created++;
                a.append(Holder(new Resource(id)));
                v.push_back(id);
            }
            break;
        case 1:  // empty holders
            a.appendDefault(n % 40);
            v.resize(v.size() + n % 40, -1);
            break;
        case 2:  // an element of the array itself, appended across a growth
            if (!v.empty()) {
                a.append(a[i]);
                v.push_back(v[i]);
            }
            break;
        case 3: {  // a copy keeps the source's capacity
            vela::Array<Holder> copy(arrays[y]);
            require(copy.capacity() == arrays[y].capacity());
            a = copy;
            v = ids[y];
            break;
        }
        case 4:
            a.clear();
            v.clear();
            require(a.capacity() == 8);
            break;
        case 5:  // one holder assigned from another, of any array
            if (!v.empty() && !ids[y].empty()) {
                unsigned int j = n % ids[y].size();
                a[i] = arrays[y][j];
                v[i] = ids[y][j];
            }
            break;
        case 6:
            if (!v.empty()) {
                a[i].reset();
                v[i] = -1;
            }
            break;
        }
    }

    unsigned int holders(int id) const
    {
        unsigned int n = 0;
        for (const std::vector<int>& v : ids)
            for (int held : v)
                n += held == id ? 1 : 0;
        return n;
    }

    void check() const
    {
        for (int k = 0; k < kArrays; ++k) {
            const vela::Array<Holder>& a = arrays[k];
            require(a.size() == ids[k].size() && a.capacity() >= a.size() && a.capacity() >= 8 &&
                    (a.data() == nullptr) == ids[k].empty());
            for (unsigned int i = 0; i < a.size(); ++i) {
                int id = ids[k][i];
                require(a[i].holdsResource() == (id >= 0));
                require(id < 0 || (a[i].get()->id == id && a[i].useCount() == holders(id)));
            }
        }
        for (int id = 0; id < created; ++id)
            require(s_destroyed[id] == (s_made[id] && holders(id) == 0 ? 1 : 0));
    }

    vela::Array<Holder> arrays[kArrays];
    std::vector<int> ids[kArrays];
    int created = 0;
};

}  // namespace

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size)
{
    return failsNow() ? nullptr : __real_malloc(size);
}
extern "C" void* __real__Znwm(size_t size);
extern "C" void* __wrap__Znwm(size_t size)
{
    if (failsNow())
        throw std::bad_alloc();
    return __real__Znwm(size);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Allocation 0, 1, ... fails, until a run has none left to fail: the input as it is.
    for (long failing = 0; failing == 0 || s_failed; ++failing) {
        s_made.fill(0);
        s_destroyed.fill(0);
        s_failed = false;
        {
            Model model;
            s_countdown = failing;
            for (std::size_t k = 0; k + 3 < size && !s_failed; k += 4) {
                const vela::Array<Holder>& changed = model.arrays[data[k + 1] % kArrays];
                unsigned int before = changed.capacity();
                try {
                    model.apply(data + k);
                } catch (const vela::NullPointer&) {
                } catch (const std::bad_alloc&) {
                }
                model.check();
                require(!s_failed || changed.capacity() == before);
            }
            s_countdown = -1;
        }
        require(s_made == s_destroyed);
    }
    return 0;
}
