#include "ScoreboardTable.h"

namespace kv::converter {

std::optional<ScoreboardGeometry> FindScoreboardGeometry(const std::string &edition,
                                                         const std::string &resolutionLabel)
{
    return FindScoreboardGeometry(FindEdition(edition), resolutionLabel);
}

std::optional<ScoreboardGeometry> FindScoreboardGeometry(const EditionRule *edition,
                                                         const std::string &resolutionLabel)
{
    if (edition != nullptr) {
        for (const ResolutionRule &resolution : edition->resolutions) {
            if (resolutionLabel == resolution.label) {
                return resolution.geometry;
            }
        }
    }
    return std::nullopt;
}

std::optional<int> PlayersPerTeam(const std::string &teamSizeLabel)
{
    for (std::size_t i = 0; i < kTeamSizes.size(); ++i) {
        if (teamSizeLabel == kTeamSizes[i]) {
            return int(i) + 1;
        }
    }
    return std::nullopt;
}

int ScoreboardHeight(const ScoreboardGeometry &geometry, int playersPerTeam, bool spectator)
{
    const int first = geometry.heightOnePlayer + (spectator ? geometry.spectatorExtra : 0);
    return first + (playersPerTeam - 1) * geometry.rowHeight;
}

} // namespace kv::converter
