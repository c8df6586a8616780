#include "ConversionSettings.h"

#include "ConversionError.h"
#include "OutputNames.h"
#include "ScoreboardTable.h"
#include "WholeNumber.h"

namespace kv::converter {

ConversionSettings ReadConversionSettings(const ConversionSettingTexts &texts)
{
    ConversionSettings settings;
    settings.edition = FindEdition(texts.edition);
    settings.playersPerTeam = PlayersPerTeam(texts.teamSize);
    settings.spectator = texts.spectator;
    settings.scoreboardOnly = texts.scoreboardOnly;
    settings.size.text = texts.sizePercent;
    try {
        settings.size.percent = ParseWholeNumber(texts.sizePercent);
    } catch (const ConversionError &) {
        // Reported by the run where it would scale, as the size's own message.
    }
    settings.saveFolder = WithTrailingSeparator(texts.saveFolder);
    settings.saveName = texts.saveName;
    settings.deleteOriginals = texts.deleteOriginals;
    settings.trash = texts.trash;
    return settings;
}

} // namespace kv::converter
