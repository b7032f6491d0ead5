// Drives vela::Array against std::vector, the oracle: every operation is applied to both,
// and after each the two must hold the same elements. The element type counts its
// constructions and destructions, so that every element made is proven destroyed.
#include <vela/Array.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

int g_live = 0;

struct Tracked {
    int value;
    Tracked() : value(0) { ++g_live; }
    explicit Tracked(int v) : value(v) { ++g_live; }
    Tracked(const Tracked& o) : value(o.value) { ++g_live; }
    Tracked& operator=(const Tracked& o) = default;
    ~Tracked() { --g_live; }
    bool operator==(const Tracked& o) const { return value == o.value; }
};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads the fuzzer's bytes one at a time; zero once they run out.
struct Input {
    const uint8_t* p;
    const uint8_t* end;
    bool more() const { return p < end; }
    unsigned int next() { return p < end ? *p++ : 0; }
};

void same(const vela::Array<Tracked>& a, const std::vector<Tracked>& v)
{
    require(a.size() == v.size());
    require(a.capacity() >= a.size() && a.capacity() >= 8);
    require((a.data() == nullptr) == v.empty());
    for (size_t i = 0; i < v.size(); ++i)
        require(a[static_cast<unsigned int>(i)] == v[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        const int kPool = 3;
        vela::Array<Tracked> arrays[kPool];
        std::vector<Tracked> models[kPool];
        Input in{data, data + size};
        while (in.more()) {
            unsigned int op = in.next();
            int x = static_cast<int>(in.next() % kPool);
            int y = static_cast<int>(in.next() % kPool);
            vela::Array<Tracked>& a = arrays[x];
            std::vector<Tracked>& v = models[x];
            switch (op % 10) {
            case 0: {
                int value = static_cast<int>(in.next());
                a.append(Tracked(value));
                v.push_back(Tracked(value));
                break;
            }
            case 1: {
                unsigned int n = in.next() % 40;
                a.appendDefault(n);
                v.resize(v.size() + n);
                break;
            }
            case 2: {
                vela::Array<Tracked> copy(arrays[y]);
                require(copy.capacity() >= arrays[y].capacity());
                same(copy, models[y]);
                break;
            }
            case 3:
                a = arrays[y];
                v = models[y];
                break;
            case 4:
                a = a;
                break;
            case 5:
                a.clear();
                v.clear();
                require(a.capacity() == 8);
                break;
            case 6: {
                unsigned int i = in.next() % 64;
                bool thrown = false;
                try {
                    require(a[i] == v.at(i));
                } catch (const vela::IndexOutOfBounds& e) {
                    thrown = true;
                    require(e.lowest() == 0 && e.highest() == static_cast<int>(v.size()) - 1 &&
                            e.index() == static_cast<int>(i));
                } catch (const std::out_of_range&) {
                    std::abort();  // the Array accepted what the model refused
                }
                require(thrown == (i >= v.size()));
                break;
            }
            case 7: {
                Tracked wanted(static_cast<int>(in.next()));
                bool found = false;
                for (const Tracked& t : v)
                    found |= t == wanted;
                require(a.contains(wanted) == found);
                break;
            }
            case 8:
                if (!v.empty()) {  // an element of the array itself, appended across a growth
                    a.append(a[0]);
                    v.push_back(Tracked(v[0]));
                }
                break;
            case 9:
                a.reserve(in.next() * 4);
                break;
            }
            same(a, v);
        }
    }
    require(g_live == 0);
    return 0;
}
