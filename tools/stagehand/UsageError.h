#pragma once

#include <stdexcept>
#include <string>

// Bad input on the command line: the tool prints the message and exits with code 2 (`run`
// with 125), having changed nothing.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};
