#include <vela/LoggerStream.h>

#include <vela/VelaValue.h>

namespace vela {

LoggerStream::LoggerStream() = default;

LoggerStream& LoggerStream::operator+(unsigned int value)
{
    append(VelaValue(value).toString(VelaValue::nilValue));
    return *this;
}

LoggerStream& LoggerStream::operator+(unsigned long long value)
{
    append(VelaValue(value).toString(VelaValue::nilValue));
    return *this;
}

}  // namespace vela
