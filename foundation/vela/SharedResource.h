#pragma once

#include <cstdint>

namespace vela {

// Storage policy for a heap object: the value is a T*, no resource is the null pointer,
// and the last holder deletes the object through its (virtual) destructor.
// NoValue must be 0; Reserved is kept for compatibility and has no effect.
template <class T, int NoValue, int Reserved>
struct PointerStorage {
    static_assert(NoValue == 0, "the no-resource value of a pointer is null");
    typedef T* Value;

    static Value none() { return nullptr; }
    static void destroy(Value object) { delete object; }
};

// Storage policy for an OS descriptor: NoValue is the value that stands for no resource
// (-1, INVALID_HANDLE_VALUE, for handles); Manager::destroy(value) releases any other
// value, NULL included.
template <class Handle, std::intptr_t NoValue, class Manager>
struct DescriptorStorage {
    typedef Handle Value;

    static Value none() { return reinterpret_cast<Value>(NoValue); }
    static void destroy(Value handle) { Manager::destroy(handle); }
};

// One per shared resource: destroys it when the last holder lets go.
class SharedResourceDestroyerBase {
public:
    virtual ~SharedResourceDestroyerBase() {}
    // From now on nothing is destroyed.
    virtual void detach() = 0;
};

template <class Storage>
class SharedResourceDestroyer : public SharedResourceDestroyerBase {
public:
    explicit SharedResourceDestroyer(typename Storage::Value value) : m_value(value) {}
    ~SharedResourceDestroyer() override
    {
        if (m_value != Storage::none())
            Storage::destroy(m_value);
    }
    void detach() override { m_value = Storage::none(); }

private:
    typename Storage::Value m_value;
};

// A counted holder of a resource that several owners share; the last holder to let go
// destroys the resource through the storage policy. An empty holder holds the policy's
// no-resource value and no count. Counts are plain: all holders of one resource belong
// to one thread. Options is kept for compatibility and must be 0.
template <class Storage, int Options>
class SharedResource {
    static_assert(Options == 0, "no options are defined");

public:
    typedef typename Storage::Value Value;

    SharedResource() : m_value(Storage::none()), m_count(nullptr), m_destroyer(nullptr) {}

    // Takes ownership of the value; if no count can be allocated the value is destroyed
    // at once and the allocation failure passes on.
    explicit SharedResource(Value value) : m_value(value), m_count(nullptr), m_destroyer(nullptr)
    {
        try {
            m_count = new unsigned int(1);
            m_destroyer = new SharedResourceDestroyer<Storage>(value);
        } catch (...) {
            delete m_count;
            if (value != Storage::none())
                Storage::destroy(value);
            throw;
        }
    }

    SharedResource(const SharedResource& other)
        : m_value(other.m_count ? other.m_value : Storage::none()),
          m_count(other.m_count),
          m_destroyer(other.m_destroyer)
    {
        if (m_count)
            ++*m_count;
    }

    SharedResource& operator=(const SharedResource& other)
    {
        if (this != &other) {
            reset();
            if (other.m_count) {
                m_value = other.m_value;
                m_count = other.m_count;
                m_destroyer = other.m_destroyer;
                ++*m_count;
            }
        }
        return *this;
    }

    ~SharedResource() { reset(); }

    // Lets go of the resource, destroying it if this was its last holder; the holder is
    // left empty.
    void reset()
    {
        if (m_count && --*m_count == 0) {
            delete m_count;
            delete m_destroyer;
        }
        m_value = Storage::none();
        m_count = nullptr;
        m_destroyer = nullptr;
    }

    // The resource will not be destroyed by any holder; it stays shared until they go.
    void detach()
    {
        if (m_destroyer)
            m_destroyer->detach();
    }

    Value get() const { return m_value; }
    Value operator->() const { return m_value; }
    // Whether the holder holds anything, a NULL handle included; false when empty.
    bool holdsResource() const { return m_count != nullptr; }
    // The number of holders sharing the resource; 0 for an empty holder.
    unsigned int useCount() const { return m_count ? *m_count : 0; }

private:
    Value m_value;
    unsigned int* m_count;
    SharedResourceDestroyerBase* m_destroyer;
};

}  // namespace vela
