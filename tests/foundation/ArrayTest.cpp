#include <vela/Array.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using vela::Array;

namespace {

// Counts the elements alive; the copy that copiesLeft reaches throws, to prove that a
// failed copy leaves the array as it was.
struct Element {
    static inline int live = 0;
    static inline int copiesLeft = -1;
    int value;
    explicit Element(int v = 0) : value(v) { ++live; }
    Element(const Element& o) : value(o.value)
    {
        if (copiesLeft-- == 0)
            throw 42;
        ++live;
    }
    ~Element() { --live; }
    bool operator==(const Element& o) const { return value == o.value; }
};

// The element sizes the library stores: handles, ids, window placements.
struct Placement {
    std::uint32_t fields[11];
};

// Serialisation hooks are protected; this exposes the one that refuses.
struct ProbedArray : Array<int> {
    using Array<int>::serializeMember;
};

template <class A>
void expectBadIndex(const A& array, unsigned int index)
{
    try {
        array[index];
        ADD_FAILURE() << "no exception for index " << index;
    } catch (const vela::IndexOutOfBounds& e) {
        EXPECT_EQ(0, e.lowest());
        EXPECT_EQ(static_cast<int>(array.size()) - 1, e.highest());
        EXPECT_EQ(static_cast<int>(index), e.index());
    }
}

template <class T>
void expectRefused(const std::string& asked, T&& action)
{
    try {
        action();
        ADD_FAILURE() << "expected NullPointer for " << asked;
    } catch (const vela::NullPointer& e) {
        EXPECT_EQ("Asked for array of size: " + asked, e.message().toUtf8());
    }
}

}  // namespace

TEST(Array, GrowsFromEightByDoublingAndRefusesEveryIndexPastItsSize)
{
    Array<int> a;
    EXPECT_EQ(nullptr, a.data());
    expectBadIndex(a, 0);
    const unsigned int capacities[] = {8, 8, 8, 8, 8, 8, 8, 8, 16, 16, 16, 16, 16, 16, 16, 16, 32};
    for (int i = 0; i < 17; ++i) {
        a.append(i);
        EXPECT_EQ(capacities[i], a.capacity()) << "after " << i + 1;
        EXPECT_EQ(i, a[i]);
        expectBadIndex(static_cast<const Array<int>&>(a), i + 1);
    }
    Array<void*> handles;
    handles.appendDefault(1024);
    EXPECT_EQ(1024u, handles.capacity());
    EXPECT_EQ(nullptr, handles[1023]);
    handles.appendDefault(1);
    EXPECT_EQ(2048u, handles.capacity());
    a.clear();
    EXPECT_EQ(nullptr, a.data());
    EXPECT_EQ(8u, a.capacity());
}

TEST(Array, RefusesGrowthPastTheLimitOfItsElementSizeAndStaysIntact)
{
    EXPECT_EQ(536870910u, Array<void*>::maxCapacity());
    EXPECT_EQ(1073741821u, Array<std::uint32_t>::maxCapacity());
    EXPECT_EQ(97612892u, Array<Placement>::maxCapacity());
    Array<void*> a;
    a.append(&a);
    expectRefused("536870911", [&] { a.reserve(536870911u); });
    expectRefused("536870912", [&] { a.appendDefault(536870911u); });
    expectRefused("4294967296", [&] { a.appendDefault(0xFFFFFFFFu); });
    EXPECT_EQ(1u, a.size());
    EXPECT_EQ(8u, a.capacity());
    EXPECT_EQ(&a, a[0]);
}

TEST(Array, CopiesOwnTheirElementsAndEveryElementMadeIsDestroyed)
{
    Element::live = 0;
    {
        Array<Element> a;
        for (int i = 0; i < 8; ++i)
            a.append(Element(i));
        Element::copiesLeft = 3;  // a throwing copy while the array grows
        EXPECT_THROW(a.append(Element(8)), int);
        Element::copiesLeft = -1;
        EXPECT_EQ(8u, a.size());
        EXPECT_EQ(8u, a.capacity());
        EXPECT_EQ(7, a[7].value);

        a.reserve(64);
        a.append(a[0]);  // an element of the array itself
        Array<Element> copy(a);
        Array<Element> assigned;
        assigned = copy;
        assigned = assigned;
        EXPECT_EQ(64u, copy.capacity()) << "a copy keeps the source's capacity";
        EXPECT_NE(a.data(), copy.data());
        copy[0].value = -1;
        EXPECT_EQ(0, a[0].value);
        EXPECT_TRUE(assigned.contains(Element(7)));
        EXPECT_FALSE(assigned.contains(Element(-1)));
        EXPECT_EQ(3 * 9, Element::live);
        copy.clear();
        EXPECT_EQ(2 * 9, Element::live);
    }
    EXPECT_EQ(0, Element::live);
}

TEST(Array, RefusesToSerialise)
{
    ProbedArray a;
    try {
        a.serializeMember("windows");
        FAIL();
    } catch (const vela::SerializationFailed& e) {
        EXPECT_EQ("Serialization is not supported for: windows", e.message().toUtf8());
    }
    testing::internal::CaptureStdout();
    vela::String xml;
    a.doSerialization("list", xml);
    fflush(stdout);
    EXPECT_EQ("Serialization isn't support for this class!!!\n", testing::internal::GetCapturedStdout());
}
