#include "ResolutionSupport.h"

#include <algorithm>

#include "ConverterTexts.h"

namespace kv::converter {

std::string ResolutionLabel(std::int64_t width, std::int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

const std::vector<std::string> &SupportedResolutions(const std::string &edition)
{
    static const std::vector<std::string> veskar = {"640 x 480",   "800 x 600",  "1024 x 768",
                                                    "1152 x 864",  "1280 x 960", "1280 x 1024",
                                                    "1400 x 1050", "1600 x 1200"};
    static const std::vector<std::string> ravelock = {"800 x 600",  "1024 x 768",  "1152 x 864",
                                                      "1280 x 960", "1280 x 1024", "1600 x 1200",
                                                      "1680 x 1050"};
    static const std::vector<std::string> none;
    if (edition == texts::kVeskar) {
        return veskar;
    }
    if (edition == texts::kRavelock) {
        return ravelock;
    }
    return none;
}

bool ResolutionSupported(const std::string &edition, std::int64_t width, std::int64_t height)
{
    const std::vector<std::string> &labels = SupportedResolutions(edition);
    return std::find(labels.begin(), labels.end(), ResolutionLabel(width, height)) != labels.end();
}

} // namespace kv::converter
