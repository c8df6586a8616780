#pragma once

#include <array>
#include <span>
#include <string_view>

#include "ConverterTexts.h"

// The game's rules in one place: per edition the resolutions it supports with the scoreboard's
// place in each, the team sizes, and the settings a first start (or a reset) begins with.
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

struct ResolutionRule
{
    const char *label; // resolution label, "1024 x 768"
    ScoreboardGeometry geometry;
};

struct EditionRule
{
    const char *title;                           // game edition title, compared exactly
    std::span<const ResolutionRule> resolutions; // in the order they are tested
};

// Veskar draws its scoreboard at the same corner at every resolution.
inline constexpr int kVeskarLeft = 145;
inline constexpr int kVeskarTop = 30;

inline constexpr std::array<ResolutionRule, 8> kVeskarResolutions = {{
    {"640 x 480", {398, 92, 24, 12, kVeskarLeft, kVeskarTop}},
    {"800 x 600", {558, 118, 26, 14, kVeskarLeft, kVeskarTop}},
    {"1024 x 768", {782, 134, 34, 22, kVeskarLeft, kVeskarTop}},
    {"1152 x 864", {910, 135, 34, 22, kVeskarLeft, kVeskarTop}},
    {"1280 x 960", {1040, 157, 34, 22, kVeskarLeft, kVeskarTop}},
    {"1280 x 1024", {1040, 155, 42, 28, kVeskarLeft, kVeskarTop}},
    {"1600 x 1200", {1356, 165, 44, 28, kVeskarLeft, kVeskarTop}},
    {"1400 x 1050", {1153, 155, 42, 28, kVeskarLeft, kVeskarTop}},
}};

// Neighbouring rows differ by one in places (W 1022/1023, S 21/20); each holds its own values.
inline constexpr std::array<ResolutionRule, 7> kRavelockResolutions = {{
    {"800 x 600", {637, 97, 36, 20, 81, 59}},
    {"1024 x 768", {819, 115, 36, 20, 102, 75}},
    {"1152 x 864", {920, 124, 36, 20, 115, 85}},
    {"1280 x 960", {1022, 133, 36, 21, 127, 95}},
    {"1280 x 1024", {1023, 141, 36, 20, 127, 100}},
    {"1600 x 1200", {1275, 156, 36, 20, 160, 120}},
    {"1680 x 1050", {1337, 141, 36, 21, 170, 105}},
}};

inline constexpr std::array<EditionRule, 2> kEditions = {{
    {texts::kVeskar, kVeskarResolutions},
    {texts::kRavelock, kRavelockResolutions},
}};

// The team-size labels in order; label i means i + 1 players per team.
inline constexpr std::array<const char *, 10> kTeamSizes = {
    " 1 on 1", " 2 on 2", " 3 on 3", " 4 on 4", " 5 on 5",
    " 6 on 6", " 7 on 7", " 8 on 8", " 9 on 9", "10 on 10"};

// What a first start and "Reset settings" begin with; the folders are the platform's
// (DefaultFolder), and Spectator is not in the set, so it reads as unchecked.
struct DefaultSettingValues
{
    const char *teamSize;
    const char *saveName;
    const char *sizePercent;
    bool scoreboardOnly;
    const char *game;
};
inline constexpr DefaultSettingValues kDefaultSettings = {" 6 on 6", "Screenshot", "100", true,
                                                          texts::kSelectGame};

// The rules of an edition title, compared exactly; nothing for any other text.
constexpr const EditionRule *FindEdition(std::string_view title)
{
    for (const EditionRule &edition : kEditions) {
        if (title == edition.title) {
            return &edition;
        }
    }
    return nullptr;
}

} // namespace kv::converter
