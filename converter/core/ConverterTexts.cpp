#include "ConverterTexts.h"

namespace kv::converter::texts {

std::string ResolutionNotSupported(int rowNumber)
{
    return "Screenshot " + std::to_string(rowNumber) + ": This resolution is not (yet) supported";
}

std::string NotAValidInteger(const std::string &text)
{
    return "'" + text + "' is not a valid integer value";
}

std::string NothingToSave(int rowNumber, const std::string &sizeText)
{
    return "Screenshot " + std::to_string(rowNumber) + ": A size of " + sizeText +
           "% leaves no pixels; nothing was saved";
}

} // namespace kv::converter::texts
