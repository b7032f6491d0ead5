#pragma once

#include <vela/Exception.h>
#include <vela/Export.h>
#include <vela/Serializable.h>
#include <vela/String.h>
#include <vela/VelaValue.h>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace vela {

// A growable array that owns one storage block: a u32 size, a u32 capacity, then
// `capacity` element slots. Capacity starts at 8 and doubles; the block's byte count
// must fit in 32 bits, which caps the capacity per element size (maxCapacity()).
// Refused growth throws NullPointer("Asked for array of size: N") and leaves the array
// as it was; a bad index throws IndexOutOfBounds(0, size - 1, index). A copy keeps the
// source's capacity. Arrays cannot be serialised.
template <class T>
class Array : public Serializable {
public:
    Array();
    Array(const Array& other);
    Array& operator=(const Array& other);
    ~Array() override;

    unsigned int size() const;
    unsigned int capacity() const;

    T& operator[](unsigned int i);
    const T& operator[](unsigned int i) const;

    void append(const T& x);
    // Adds n value-initialised elements (zero for handles and numbers).
    void appendDefault(unsigned int n);

    // Element 0, or null when empty; hands the elements to system calls.
    T* data();
    const T* data() const;

    void clear();
    bool contains(const T& x) const;

    // Makes room for n elements.
    void reserve(unsigned int n);

    static unsigned int maxCapacity();

protected:
    void serializeMembers() override;
    void serializeMember(const String& member) override;
    const String& typeName() override;
    void deserializeMembers() override;

private:
    struct Block {
        unsigned int size;
        unsigned int capacity;
    };

    static_assert(sizeof(Block) == 8, "the block header is two u32 fields");
    static_assert(alignof(T) <= 8, "element slots follow an 8-byte header");

    static const unsigned int kInitialCapacity = 8;
    static const unsigned int kMaxCapacity = static_cast<unsigned int>((0xFFFFFFFFull - sizeof(Block)) / sizeof(T));

    static T* slots(Block* b) { return reinterpret_cast<T*>(b + 1); }
    static const T* slots(const Block* b) { return reinterpret_cast<const T*>(b + 1); }

    [[noreturn]] static void refuse(unsigned long long asked);
    static unsigned int grownCapacity(unsigned int n);
    static Block* allocate(unsigned int capacity, unsigned long long asked);
    static void destroy(T* first, unsigned int count);
    static void release(Block* b);
    static void copyElements(const Block* from, Block* to);
    static Block* copyBlock(const Array& other);
    void check(unsigned int i) const;

    Block* m_block;
};

template <class T>
Array<T>::Array() : m_block(allocate(kInitialCapacity, 0))
{
}

template <class T>
Array<T>::Array(const Array& other) : Serializable(other), m_block(copyBlock(other))
{
}

template <class T>
Array<T>& Array<T>::operator=(const Array& other)
{
    if (other.m_block != m_block) {
        Block* copy = copyBlock(other);
        release(m_block);
        m_block = copy;
    }
    return *this;
}

template <class T>
Array<T>::~Array()
{
    release(m_block);
}

template <class T>
unsigned int Array<T>::size() const
{
    return m_block->size;
}

template <class T>
unsigned int Array<T>::capacity() const
{
    return m_block->capacity;
}

template <class T>
T& Array<T>::operator[](unsigned int i)
{
    check(i);
    return slots(m_block)[i];
}

template <class T>
const T& Array<T>::operator[](unsigned int i) const
{
    check(i);
    return slots(m_block)[i];
}

template <class T>
void Array<T>::append(const T& x)
{
    if (m_block->size < m_block->capacity) {
        new (slots(m_block) + m_block->size) T(x);
    } else {
        // x may be an element of this array: copy it before the elements move.
        T copy(x);
        reserve(m_block->size + 1u);
        new (slots(m_block) + m_block->size) T(copy);
    }
    ++m_block->size;
}

template <class T>
void Array<T>::appendDefault(unsigned int n)
{
    if (n > kMaxCapacity - m_block->size)
        refuse(static_cast<unsigned long long>(m_block->size) + n);
    reserve(m_block->size + n);
    T* s = slots(m_block);
    unsigned int i = m_block->size;
    try {
        for (; i < m_block->size + n; ++i)
            new (s + i) T();
    } catch (...) {
        destroy(s + m_block->size, i - m_block->size);
        throw;
    }
    m_block->size += n;
}

template <class T>
T* Array<T>::data()
{
    return m_block->size ? slots(m_block) : nullptr;
}

template <class T>
const T* Array<T>::data() const
{
    return m_block->size ? slots(m_block) : nullptr;
}

template <class T>
void Array<T>::clear()
{
    // The fresh block comes first, so that a refusal leaves the array as it was.
    Block* fresh = allocate(kInitialCapacity, 0);
    release(m_block);
    m_block = fresh;
}

template <class T>
bool Array<T>::contains(const T& x) const
{
    const T* s = slots(m_block);
    for (unsigned int i = 0; i < m_block->size; ++i)
        if (s[i] == x)
            return true;
    return false;
}

template <class T>
void Array<T>::reserve(unsigned int n)
{
    if (n <= m_block->capacity)
        return;
    Block* grown = allocate(grownCapacity(n), n);
    copyElements(m_block, grown);
    release(m_block);
    m_block = grown;
}

template <class T>
unsigned int Array<T>::maxCapacity()
{
    return kMaxCapacity;
}

template <class T>
void Array<T>::serializeMembers()
{
    std::printf("Serialization isn't support for this class!!!\n");
}

template <class T>
void Array<T>::serializeMember(const String& member)
{
    throw SerializationFailed("Serialization is not supported for: " + member);
}

template <class T>
const String& Array<T>::typeName()
{
    static const String name("ArrayOfOthers");
    return name;
}

template <class T>
void Array<T>::deserializeMembers()
{
}

template <class T>
void Array<T>::refuse(unsigned long long asked)
{
    throw NullPointer("Asked for array of size: " + VelaValue(asked).toString(VelaValue::nilValue));
}

// 8 doubled until it holds n. A request within the limit is not refused for the
// doubling's overshoot: the capacity is cut back to the limit instead.
template <class T>
unsigned int Array<T>::grownCapacity(unsigned int n)
{
    if (n > kMaxCapacity)
        refuse(n);
    unsigned int c = kInitialCapacity;
    while (c < n) {
        c <<= 1;
        if (c == 0) {
            c = n;
            break;
        }
    }
    return c > kMaxCapacity ? kMaxCapacity : c;
}

// An empty block of that capacity; `asked` names the request on refusal.
template <class T>
typename Array<T>::Block* Array<T>::allocate(unsigned int capacity, unsigned long long asked)
{
    void* memory = std::malloc(sizeof(Block) + static_cast<size_t>(capacity) * sizeof(T));
    if (!memory)
        refuse(asked);
    Block* b = static_cast<Block*>(memory);
    b->size = 0;
    b->capacity = capacity;
    return b;
}

template <class T>
void Array<T>::destroy(T* first, unsigned int count)
{
    for (unsigned int i = 0; i < count; ++i)
        first[i].~T();
}

template <class T>
void Array<T>::release(Block* b)
{
    destroy(slots(b), b->size);
    std::free(b);
}

// Copy-constructs the elements of `from` into the empty block `to`, ascending; if a copy
// throws, `to` is freed and `from` is untouched.
template <class T>
void Array<T>::copyElements(const Block* from, Block* to)
{
    unsigned int i = 0;
    try {
        for (; i < from->size; ++i)
            new (slots(to) + i) T(slots(from)[i]);
    } catch (...) {
        destroy(slots(to), i);
        std::free(to);
        throw;
    }
    to->size = from->size;
}

template <class T>
typename Array<T>::Block* Array<T>::copyBlock(const Array& other)
{
    Block* b = allocate(grownCapacity(other.m_block->capacity), other.m_block->capacity);
    copyElements(other.m_block, b);
    return b;
}

template <class T>
void Array<T>::check(unsigned int i) const
{
    if (i >= m_block->size)
        throw IndexOutOfBounds(0, static_cast<int>(m_block->size) - 1, static_cast<int>(i));
}

// Instantiations that the foundation library itself supplies (Array.cpp defines them).
#if !defined(VELA_ARRAY_INSTANTIATING)
extern template class VELA_API Array<String>;
extern template class VELA_API Array<unsigned int>;
extern template class VELA_API Array<int>;
#endif

}  // namespace vela
