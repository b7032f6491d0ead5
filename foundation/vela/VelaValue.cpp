#include <vela/VelaValue.h>

namespace vela {

VelaValue::VelaValue(unsigned int value) : m_value(value) {}

VelaValue::VelaValue(unsigned long long value) : m_value(value) {}

String VelaValue::toString(Nil) const
{
    char digits[24];
    char* p = digits + sizeof digits;
    *--p = '\0';
    unsigned long long v = m_value;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return String(p);
}

}  // namespace vela
