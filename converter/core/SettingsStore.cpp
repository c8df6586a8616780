#include "SettingsStore.h"

#include <cstdlib>

#include "ConverterTexts.h"

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
    return {{setting::kSizeNumber, " 6 on 6"},   {setting::kSavenameDefault, "Screenshot"},
            {setting::kSaveFolder, folder},      {setting::kSize, "100"},
            {setting::kScoreBoardOnly, "Yes"},   {setting::kOpenFolder, folder},
            {setting::kGame, texts::kSelectGame}};
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
        settings.edition = texts::kSelectGame;
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
