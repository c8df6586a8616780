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

std::string PreviewOutputSize(std::int64_t width, std::int64_t height)
{
    return "Output: " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string PreviewNotSupported(const std::string &resolution)
{
    return resolution + ": not supported";
}

std::string PreviewNoTeamSize(const std::string &teamSize)
{
    return "Team size '" + teamSize +
           "' is none of \" 1 on 1\" to \"10 on 10\": nothing is converted";
}

std::string PreviewNothingToSave(const std::string &sizeText)
{
    return "A size of " + sizeText + "% leaves no pixels; nothing is saved";
}

} // namespace kv::converter::texts
