#include "ScoreboardTable.h"

#include <array>

#include "ConverterTexts.h"

namespace kv::converter {

namespace {

struct TableRow
{
    const char *label;
    ScoreboardGeometry geometry;
};

// Veskar draws its scoreboard at column 145, row 30 at every resolution.
constexpr std::array<TableRow, 8> kVeskarTable = {{
    {"640 x 480", {398, 92, 24, 12, 145, 30}},
    {"800 x 600", {558, 118, 26, 14, 145, 30}},
    {"1024 x 768", {782, 134, 34, 22, 145, 30}},
    {"1152 x 864", {910, 135, 34, 22, 145, 30}},
    {"1280 x 960", {1040, 157, 34, 22, 145, 30}},
    {"1280 x 1024", {1040, 155, 42, 28, 145, 30}},
    {"1600 x 1200", {1356, 165, 44, 28, 145, 30}},
    {"1400 x 1050", {1153, 155, 42, 28, 145, 30}},
}};

// Neighbouring rows differ by one in places (W 1022/1023, S 21/20); each holds its own values.
constexpr std::array<TableRow, 7> kRavelockTable = {{
    {"800 x 600", {637, 97, 36, 20, 81, 59}},
    {"1024 x 768", {819, 115, 36, 20, 102, 75}},
    {"1152 x 864", {920, 124, 36, 20, 115, 85}},
    {"1280 x 960", {1022, 133, 36, 21, 127, 95}},
    {"1280 x 1024", {1023, 141, 36, 20, 127, 100}},
    {"1600 x 1200", {1275, 156, 36, 20, 160, 120}},
    {"1680 x 1050", {1337, 141, 36, 21, 170, 105}},
}};

constexpr const char *kTeamSizes[kTeamSizeCount] = {" 1 on 1", " 2 on 2", " 3 on 3", " 4 on 4",
                                                    " 5 on 5", " 6 on 6", " 7 on 7", " 8 on 8",
                                                    " 9 on 9", "10 on 10"};

template <std::size_t N>
std::optional<ScoreboardGeometry> Find(const std::array<TableRow, N> &table,
                                       const std::string &label)
{
    for (const TableRow &row : table) {
        if (label == row.label) {
            return row.geometry;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<ScoreboardGeometry> FindScoreboardGeometry(const std::string &edition,
                                                         const std::string &resolutionLabel)
{
    if (edition == texts::kVeskar) {
        return Find(kVeskarTable, resolutionLabel);
    }
    if (edition == texts::kRavelock) {
        return Find(kRavelockTable, resolutionLabel);
    }
    return std::nullopt;
}

std::optional<int> PlayersPerTeam(const std::string &teamSizeLabel)
{
    for (int i = 0; i < kTeamSizeCount; ++i) {
        if (teamSizeLabel == kTeamSizes[i]) {
            return i + 1;
        }
    }
    return std::nullopt;
}

const char *const *TeamSizeLabels()
{
    return kTeamSizes;
}

int ScoreboardHeight(const ScoreboardGeometry &geometry, int playersPerTeam, bool spectator)
{
    const int first = geometry.heightOnePlayer + (spectator ? geometry.spectatorExtra : 0);
    return first + (playersPerTeam - 1) * geometry.rowHeight;
}

} // namespace kv::converter
