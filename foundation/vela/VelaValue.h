#pragma once

#include <vela/Export.h>
#include <vela/String.h>

namespace vela {

// A value that can give its text; only unsigned numbers are needed here.
class VELA_API VelaValue {
public:
    // Text to give when the value holds nothing; numbers always hold something.
    enum Nil { nilValue };

    explicit VelaValue(unsigned int value);
    explicit VelaValue(unsigned long long value);

    String toString(Nil whenNil) const;

private:
    unsigned long long m_value;
};

}  // namespace vela
