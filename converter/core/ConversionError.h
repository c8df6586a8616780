#pragma once

#include <stdexcept>

namespace kv::converter {

// The converter's error: its text is shown to the user as it stands and ends the run.
class ConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace kv::converter
