#include <vela/Exception.h>

#include <string>

namespace vela {

Exception::Exception(const String& message) : m_message(message), m_narrow(message.toUtf8()) {}

Exception::Exception(const Exception& other) = default;

Exception& Exception::operator=(const Exception& other) = default;

Exception::~Exception() = default;

const char* Exception::what() const noexcept
{
    return m_narrow.c_str();
}

NullPointer::NullPointer(const String& message) : Exception(message) {}

namespace {

String boundsMessage(int lowest, int highest, int index)
{
    std::string text = "Index " + std::to_string(index) + " outside " + std::to_string(lowest) + ".." +
                       std::to_string(highest);
    return String(text.c_str());
}

}  // namespace

IndexOutOfBounds::IndexOutOfBounds(int lowest, int highest, int index)
    : Exception(boundsMessage(lowest, highest, index)), m_lowest(lowest), m_highest(highest), m_index(index)
{
}

SerializationFailed::SerializationFailed(const String& message) : Exception(message) {}

}  // namespace vela
