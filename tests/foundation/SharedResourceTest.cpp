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

namespace {

typedef void* RawHandle;

// Records every handle it is asked to destroy.
struct RecordingManager {
    static inline std::vector<RawHandle> destroyed;
    static void destroy(RawHandle handle) { destroyed.push_back(handle); }
};

typedef vela::SharedResource<vela::DescriptorStorage<RawHandle, -1, RecordingManager>, 0> Handle;

struct Object {
    static inline int live = 0;
    Object() { ++live; }
    virtual ~Object() { --live; }
};

struct Derived : Object {
    static inline int destroyed = 0;
    ~Derived() override { ++destroyed; }
};

RawHandle fake(std::uintptr_t value)
{
    return reinterpret_cast<RawHandle>(value);
}

}  // namespace

TEST(SharedResource, TheLastHolderDestroysOnceAndAssignmentLetsGoFirst)
{
    RecordingManager::destroyed.clear();
    {
        Handle first(fake(0x44));
        Handle second(first);
        Handle& alias = second;
        second = alias;
        {
            Handle third;
            third = second;
            EXPECT_EQ(3u, first.useCount());
        }
        first.reset();
        EXPECT_FALSE(first.holdsResource());
        EXPECT_EQ(1u, second.useCount());
        EXPECT_TRUE(RecordingManager::destroyed.empty());

        Handle other(fake(7));
        Handle otherCopy(other);
        other = second;  // 7 keeps its other holder
        otherCopy = Handle();  // and now lets go of it
        EXPECT_EQ((std::vector<RawHandle>{fake(7)}), RecordingManager::destroyed);
        EXPECT_EQ(2u, second.useCount());
        EXPECT_EQ(0u, otherCopy.useCount());
        EXPECT_EQ(fake(-1), otherCopy.get()) << "an empty holder gives the storage's no-resource value";
    }
    EXPECT_EQ((std::vector<RawHandle>{fake(7), fake(0x44)}), RecordingManager::destroyed);
}

TEST(SharedResource, NullIsAResourceAndADetachedOneOutlivesItsHolders)
{
    RecordingManager::destroyed.clear();
    {
        Handle null(static_cast<RawHandle>(nullptr));
        Handle copy(null);
        EXPECT_TRUE(null.holdsResource());
        EXPECT_EQ(2u, copy.useCount());
        Handle detached(fake(5));
        Handle(detached).detach();
    }
    EXPECT_EQ((std::vector<RawHandle>{nullptr}), RecordingManager::destroyed);

    Object::live = Derived::destroyed = 0;
    {
        vela::SharedResource<vela::PointerStorage<Object, 0, 3>, 0> object(new Derived);
        auto copy = object;
        EXPECT_EQ(1, Object::live);
    }
    EXPECT_EQ(0, Object::live);
    EXPECT_EQ(1, Derived::destroyed) << "deleted through the virtual destructor";
}

#if defined(_WIN32)
TEST(FileHandleResManager, ClosesARealHandleAndAcceptsNullKeepingTheLastError)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(event, &flags));
    for (HANDLE handle : {event, HANDLE(nullptr)}) {
        SetLastError(0xdeadbeef);
        vela::FileHandleResManager::destroy(handle);
        EXPECT_EQ(0xdeadbeefu, GetLastError());
    }
    EXPECT_FALSE(GetHandleInformation(event, &flags));
}
#endif
