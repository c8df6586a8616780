#include "ResolutionSupport.h"

#include <algorithm>
#include <array>

#include "EditionRules.h"

namespace kv::converter {

std::string ResolutionLabel(std::int64_t width, std::int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

const std::vector<std::string> &SupportedResolutions(const std::string &edition)
{
    static const std::array<std::vector<std::string>, kEditions.size()> labels = [] {
        std::array<std::vector<std::string>, kEditions.size()> all;
        for (std::size_t e = 0; e < kEditions.size(); ++e) {
            for (const ResolutionRule &resolution : kEditions[e].resolutions) {
                all[e].emplace_back(resolution.label);
            }
        }
        return all;
    }();
    static const std::vector<std::string> none;
    const EditionRule *rules = FindEdition(edition);
    return rules ? labels[std::size_t(rules - kEditions.data())] : none;
}

bool ResolutionSupported(const std::string &edition, std::int64_t width, std::int64_t height)
{
    const std::vector<std::string> &labels = SupportedResolutions(edition);
    return std::find(labels.begin(), labels.end(), ResolutionLabel(width, height)) != labels.end();
}

} // namespace kv::converter
