#pragma once

#include <optional>
#include <string>

namespace kv::converter {

// Where the game draws its scoreboard in a screenshot, in pixels.
struct ScoreboardGeometry
{
    int width = 0;           // W: crop width
    int heightOnePlayer = 0; // H1: crop height with one player per team
    int rowHeight = 0;       // R: height of each further player row
    int spectatorExtra = 0;  // S: added to H1 when the shot was taken as a spectator
    int left = 0;            // L: column of the kept rectangle's top-left corner
    int top = 0;             // T: row of that corner
};

// The geometry for an edition title and a resolution label, both compared exactly.
std::optional<ScoreboardGeometry> FindScoreboardGeometry(const std::string &edition,
                                                         const std::string &resolutionLabel);

// Players per team for the ten labels " 1 on 1" .. " 9 on 9" and "10 on 10", compared exactly.
std::optional<int> PlayersPerTeam(const std::string &teamSizeLabel);

// The ten team-size labels in order.
const char *const *TeamSizeLabels();
inline constexpr int kTeamSizeCount = 10;

// Crop height for n players per team: H1 (+ S as a spectator) + (n - 1) * R.
int ScoreboardHeight(const ScoreboardGeometry &geometry, int playersPerTeam, bool spectator);

} // namespace kv::converter
