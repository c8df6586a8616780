#include "WholeNumber.h"

#include <cctype>
#include <climits>

#include "ConversionError.h"
#include "ConverterTexts.h"

namespace kv::converter {

int ParseWholeNumber(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        throw ConversionError(texts::NotAValidInteger(text));
    }
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            throw ConversionError(texts::NotAValidInteger(text));
        }
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            throw ConversionError(texts::NotAValidInteger(text));
        }
    }
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN) {
        throw ConversionError(texts::NotAValidInteger(text));
    }
    return int(value);
}

} // namespace kv::converter
