#pragma once

#include <optional>
#include <string>

#include "EditionRules.h"

namespace kv::converter {

// The size in percent as a field or an option gave it: its number, or nothing when the text
// holds no whole number, which a run reports at the first screenshot it would scale. The text is
// kept only for the messages that quote it.
struct SizePercent
{
    std::optional<int> percent;
    std::string text;
};

// The settings of one run, read once from the window's controls or the command line and the
// same until it ends; its worker threads read them too.
struct ConversionSettings
{
    const EditionRule *edition = nullptr; // nothing: no game chosen, or a text that names none
    std::optional<int> playersPerTeam;    // nothing: a team-size text that is none of the labels
    bool spectator = false;
    bool scoreboardOnly = true;
    SizePercent size;
    std::string saveFolder; // ends in a path separator
    std::string saveName;
    // Whether each original goes once its JPEG is written, and whether it then goes to the
    // desktop's trash rather than being deleted.
    bool deleteOriginals = false;
    bool trash = false;
};

// The conversion settings as texts, as the store holds them, the window's controls show them and
// the command line's options give them (" 6 on 6", "75").
struct ConversionSettingTexts
{
    std::string edition;
    std::string teamSize = kDefaultSettings.teamSize;
    bool spectator = false;
    bool scoreboardOnly = kDefaultSettings.scoreboardOnly;
    std::string sizePercent = kDefaultSettings.sizePercent;
    std::string saveFolder;
    std::string saveName = kDefaultSettings.saveName;
    bool deleteOriginals = false;
    bool trash = false;
};

// The settings a run takes from texts: labels become numbers, the folder gets its separator.
ConversionSettings ReadConversionSettings(const ConversionSettingTexts &texts);

} // namespace kv::converter
