#include <vela/SharedResource.h>

#if defined(_WIN32)
#include <vela/FileHandleResManager.h>

#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// GCC follows a shared count down to zero on paths where another holder still counts,
// and warns of a use after free that cannot happen.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuse-after-free"
#endif

using vela::DescriptorStorage;
using vela::PointerStorage;
using vela::SharedResource;

namespace {

typedef void* RawHandle;
RawHandle const kNoHandle = reinterpret_cast<RawHandle>(-1);

// Records every handle it is asked to destroy.
struct RecordingManager {
    static inline std::vector<RawHandle> destroyed;
    static void destroy(RawHandle handle) { destroyed.push_back(handle); }
};

typedef SharedResource<DescriptorStorage<RawHandle, -1, RecordingManager>, 0> Handle;

struct Object {
    static inline int live = 0;
    Object() { ++live; }
    virtual ~Object() { --live; }
};

struct Derived : Object {
    static inline int destroyed = 0;
    ~Derived() override { ++destroyed; }
};

typedef SharedResource<PointerStorage<Object, 0, 3>, 0> Shared;

RawHandle fakeHandle(std::uintptr_t value)
{
    return reinterpret_cast<RawHandle>(value);
}

}  // namespace

TEST(SharedResource, LastOfThreeHoldersDestroysOnce)
{
    RecordingManager::destroyed.clear();
    {
        Handle first(fakeHandle(0x44));
        Handle second(first);
        {
            Handle third;
            third = second;
            EXPECT_EQ(3u, first.useCount());
        }
        EXPECT_EQ(2u, first.useCount());
        first.reset();
        EXPECT_FALSE(first.holdsResource());
        EXPECT_TRUE(RecordingManager::destroyed.empty());
    }
    EXPECT_EQ((std::vector<RawHandle>{fakeHandle(0x44)}), RecordingManager::destroyed);
}

TEST(SharedResource, NullHandleCountsAndReachesTheDestroyer)
{
    RecordingManager::destroyed.clear();
    {
        Handle null(static_cast<RawHandle>(nullptr));
        Handle copy(null);
        EXPECT_TRUE(null.holdsResource());
        EXPECT_EQ(2u, copy.useCount());
    }
    EXPECT_EQ((std::vector<RawHandle>{nullptr}), RecordingManager::destroyed);
}

TEST(SharedResource, EmptyHoldersHoldNothingAndDestroyNothing)
{
    RecordingManager::destroyed.clear();
    {
        Handle empty;
        EXPECT_EQ(kNoHandle, empty.get());
        Handle copy(empty);
        EXPECT_FALSE(copy.holdsResource());
        EXPECT_EQ(0u, copy.useCount());
        Handle held(fakeHandle(7));
        held = empty;  // lets go of 7
        EXPECT_FALSE(held.holdsResource());
        copy.reset();
    }
    EXPECT_EQ((std::vector<RawHandle>{fakeHandle(7)}), RecordingManager::destroyed);
}

TEST(SharedResource, SelfAssignmentKeepsTheCount)
{
    RecordingManager::destroyed.clear();
    Handle held(fakeHandle(9));
    Handle other(held);
    Handle& alias = held;
    held = alias;
    EXPECT_EQ(2u, held.useCount());
    EXPECT_EQ(fakeHandle(9), held.get());
    EXPECT_TRUE(RecordingManager::destroyed.empty());
}

TEST(SharedResource, AssignmentLetsGoOfTheOldResourceFirst)
{
    RecordingManager::destroyed.clear();
    Handle a(fakeHandle(1));
    Handle b(fakeHandle(2));
    a = b;
    EXPECT_EQ((std::vector<RawHandle>{fakeHandle(1)}), RecordingManager::destroyed);
    EXPECT_EQ(2u, b.useCount());
}

TEST(SharedResource, PointersAreDeletedThroughTheVirtualDestructor)
{
    Object::live = Derived::destroyed = 0;
    {
        Shared object(new Derived);
        Shared copy = object;
        Shared empty(static_cast<Object*>(nullptr));
        EXPECT_EQ(1, Object::live);
    }
    EXPECT_EQ(0, Object::live);
    EXPECT_EQ(1, Derived::destroyed);
}

TEST(SharedResource, DetachedResourceOutlivesItsHolders)
{
    RecordingManager::destroyed.clear();
    {
        Handle held(fakeHandle(5));
        Handle copy(held);
        copy.detach();
    }
    EXPECT_TRUE(RecordingManager::destroyed.empty());
}

#if defined(_WIN32)
TEST(FileHandleResManager, ClosesARealHandleAndAcceptsNull)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(event, &flags));
    SetLastError(1234);
    vela::FileHandleResManager::destroy(event);
    EXPECT_EQ(1234u, GetLastError());
    EXPECT_FALSE(GetHandleInformation(event, &flags));
    SetLastError(1234);
    vela::FileHandleResManager::destroy(nullptr);
    EXPECT_EQ(1234u, GetLastError());
}
#endif
