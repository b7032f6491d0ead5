// The rules of the foundation's templates that the fuzz target's model cannot know.
#include <vela/Array.h>
#include <vela/SharedResource.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using vela::Array;

namespace {

// Counts the elements alive; the copy that copiesLeft reaches throws.
struct Element {
    static inline int live = 0, copiesLeft = -1;
    Element() { ++live; }
    Element(const Element&)
    {
        if (copiesLeft-- == 0)
            throw 42;
        ++live;
    }
    ~Element() { --live; }
};

struct RecordingManager {
    static inline std::vector<void*> destroyed;
    static void destroy(void* handle) { destroyed.push_back(handle); }
};

}  // namespace

TEST(Array, GrowsFromEightByDoublingAndRefusesBadIndicesGrowthPastItsLimitAndAThrowingCopy)
{
    Array<int> a;
    for (int i = 0; i < 17; ++i) {
        a.append(i);
        EXPECT_EQ(i < 8 ? 8u : i < 16 ? 16u : 32u, a.capacity()) << "after " << i + 1;
        EXPECT_THROW(static_cast<const Array<int>&>(a)[i + 1], vela::IndexOutOfBounds) << i + 1;
    }
    Array<void*> handles;
    handles.appendDefault(1025);
    EXPECT_EQ(2048u, handles.capacity());
    for (unsigned int n : {536870911u, 0xFFFFFFFFu}) {
        try {
            handles.appendDefault(n);
            ADD_FAILURE() << n;
        } catch (const vela::NullPointer& e) {
            EXPECT_EQ("Asked for array of size: " + std::to_string(1025ull + n), e.message().toUtf8());
        }
    }
    EXPECT_EQ(1025u, handles.size());

    Array<Element> elements;
    elements.appendDefault(8);
    Element::copiesLeft = 3;  // a copy throws while the array grows
    EXPECT_THROW(elements.append(Element()), int);
    EXPECT_EQ(std::make_tuple(8u, 8u, 8), std::make_tuple(elements.size(), elements.capacity(), Element::live))
        << "the array as it was: size, capacity, elements alive";
    elements.clear();
    EXPECT_EQ(0, Element::live);
}

TEST(SharedResource, NullIsAResourceAssignmentLetsGoOfTheOldOneAndADetachedOneOutlivesItsHolders)
{
    typedef vela::SharedResource<vela::DescriptorStorage<void*, -1, RecordingManager>, 0> Handle;
    void* const seven = reinterpret_cast<void*>(7);
    {
        Handle null(nullptr), copy(null), detached(reinterpret_cast<void*>(5)), empty, last(seven), other(last);
        EXPECT_EQ(std::make_pair(true, 2u), std::make_pair(null.holdsResource(), copy.useCount()));
        Handle(detached).detach();
        EXPECT_EQ(reinterpret_cast<void*>(-1), empty.get()) << "the storage's no-resource value";
        other = null;
        last = copy;
        EXPECT_EQ(std::vector<void*>{seven}, RecordingManager::destroyed) << "by the assignment over its last holder";
    }
    EXPECT_EQ((std::vector<void*>{seven, nullptr}), RecordingManager::destroyed);
}
