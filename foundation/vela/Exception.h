#pragma once

#include <vela/Export.h>
#include <vela/String.h>

#include <exception>
#include <string>

namespace vela {

// Base of the foundation's exceptions; thrown by value, copyable, caught as vela::Exception.
class VELA_API Exception : public std::exception {
public:
    explicit Exception(const String& message);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    const String& message() const { return m_message; }
    const char* what() const noexcept override;

private:
    String m_message;
    std::string m_narrow;
};

// Storage that could not be had: an array asked to grow past its limit, or memory exhausted.
class VELA_API NullPointer : public Exception {
public:
    explicit NullPointer(const String& message);
};

// An index outside lowest..highest.
class VELA_API IndexOutOfBounds : public Exception {
public:
    IndexOutOfBounds(int lowest, int highest, int index);

    int lowest() const { return m_lowest; }
    int highest() const { return m_highest; }
    int index() const { return m_index; }

private:
    int m_lowest;
    int m_highest;
    int m_index;
};

class VELA_API SerializationFailed : public Exception {
public:
    explicit SerializationFailed(const String& message);
};

}  // namespace vela
