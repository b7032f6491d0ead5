// Drives arrays of shared resources against a model: std::vector holds the resource id of
// each element (-1 for an empty holder), and a resource must be destroyed exactly when,
// and only when, no element of any array holds it any more. Array operations and holder
// copies, assignments and releases are applied to both; the sanitizers watch the memory.
#include <vela/Array.h>
#include <vela/SharedResource.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

namespace {

std::map<int, int> g_destroyed;  // resource id -> times destroyed

struct Resource {
    explicit Resource(int i) : id(i) {}
    virtual ~Resource() { ++g_destroyed[id]; }
    int id;
};

typedef vela::SharedResource<vela::PointerStorage<Resource, 0, 3>, 0> Holder;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

const int kPool = 3;

struct Model {
    vela::Array<Holder> arrays[kPool];
    std::vector<int> ids[kPool];

    int holders(int id) const
    {
        int n = 0;
        for (const std::vector<int>& v : ids)
            for (int held : v)
                n += held == id ? 1 : 0;
        return n;
    }

    void check(int created) const
    {
        for (int k = 0; k < kPool; ++k) {
            const vela::Array<Holder>& a = arrays[k];
            require(a.size() == ids[k].size() && a.capacity() >= a.size() && a.capacity() >= 8);
            require((a.data() == nullptr) == ids[k].empty());
            for (unsigned int i = 0; i < a.size(); ++i) {
                int id = ids[k][i];
                require(a[i].holdsResource() == (id >= 0));
                require(id < 0 || (a[i].get()->id == id && a[i].useCount() == static_cast<unsigned int>(holders(id))));
            }
        }
        for (int id = 0; id < created; ++id)
            require(g_destroyed[id] == (holders(id) == 0 ? 1 : 0));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_destroyed.clear();
    int created = 0;
    {
        Model m;
        for (size_t k = 0; k + 3 < size; k += 4) {
            int x = data[k + 1] % kPool, y = data[k + 2] % kPool;
            unsigned int n = data[k + 3];
            vela::Array<Holder>& a = m.arrays[x];
            std::vector<int>& v = m.ids[x];
            unsigned int i = v.empty() ? 0 : n % v.size();
            switch (data[k] % 7) {
            case 0:
                a.append(Holder(new Resource(created)));
                v.push_back(created++);
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
                vela::Array<Holder> copy(m.arrays[y]);
                require(copy.capacity() == m.arrays[y].capacity());
                a = copy;
                v = m.ids[y];
                break;
            }
            case 4:
                a.clear();
                v.clear();
                require(a.capacity() == 8);
                break;
            case 5:  // one holder assigned from another, of any array
                if (!v.empty() && !m.ids[y].empty()) {
                    unsigned int j = n % m.ids[y].size();
                    a[i] = m.arrays[y][j];
                    v[i] = m.ids[y][j];
                }
                break;
            case 6:
                if (!v.empty()) {
                    a[i].reset();
                    v[i] = -1;
                }
                break;
            }
            m.check(created);
        }
    }
    for (int id = 0; id < created; ++id)
        require(g_destroyed[id] == 1);
    return 0;
}
