#pragma once

#include <optional>
#include <string>

#include "EditionRules.h"

namespace kv::converter {

// The geometry for an edition title and a resolution label, both compared exactly.
std::optional<ScoreboardGeometry> FindScoreboardGeometry(const std::string &edition,
                                                         const std::string &resolutionLabel);

// The same for an edition's rules; nothing without an edition.
std::optional<ScoreboardGeometry> FindScoreboardGeometry(const EditionRule *edition,
                                                         const std::string &resolutionLabel);

// Players per team for the ten labels " 1 on 1" .. " 9 on 9" and "10 on 10", compared exactly.
std::optional<int> PlayersPerTeam(const std::string &teamSizeLabel);

// Crop height for n players per team: H1 (+ S as a spectator) + (n - 1) * R.
int ScoreboardHeight(const ScoreboardGeometry &geometry, int playersPerTeam, bool spectator);

} // namespace kv::converter
