#pragma once

#include <string>

namespace kv::converter {

// The whole number a size text holds: blanks before, an optional sign, decimal digits, within 32
// bits. Throws ConversionError ("'%s' is not a valid integer value") for anything else.
int ParseWholeNumber(const std::string &text);

} // namespace kv::converter
