#include "SettingsStore.h"

#include <cstdlib>

#include "ConverterTexts.h"
#include "EditionRules.h"

namespace kv::converter {

std::string DefaultFolder()
{
#ifdef _WIN32
    return "C:\\";
#else
    const char *home = std::getenv("HOME");
    std::string folder = home && *home ? home : "/";
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
#endif
}

std::vector<std::pair<std::string, std::string>> DefaultSettings()
{
    const std::string folder = DefaultFolder();
    const DefaultSettingValues &d = kDefaultSettings;
    return {{setting::kSizeNumber, d.teamSize},
            {setting::kSavenameDefault, d.saveName},
            {setting::kSaveFolder, folder},
            {setting::kSize, d.sizePercent},
            {setting::kScoreBoardOnly, d.scoreboardOnly ? texts::kYes : texts::kNo},
            {setting::kOpenFolder, folder},
            {setting::kGame, d.game}};
}

void WriteDefaultSettings(SettingsStore &store)
{
    for (const auto &[name, value] : DefaultSettings()) {
        store.Write(name, value);
    }
}

FixedConversionSettings StoredConversionSettings(const SettingsStore &store)
{
    FixedConversionSettings settings;
    if (!store.KeyExists()) {
        settings.edition = kDefaultSettings.game;
        settings.saveFolder = DefaultFolder();
        return settings;
    }
    settings.edition = store.Read(setting::kGame);
    settings.teamSize = store.Read(setting::kSizeNumber);
    settings.saveName = store.Read(setting::kSaveName);
    settings.saveFolder = store.Read(setting::kSaveFolder);
    settings.sizePercent = store.Read(setting::kSize);
    settings.scoreboardOnly = store.Read(setting::kScoreBoardOnly) == texts::kYes;
    settings.spectator = store.Read(setting::kSpectator) == texts::kYes;
    return settings;
}

} // namespace kv::converter
