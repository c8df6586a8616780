#include "SettingsStore.h"

#include <cstdlib>

#include "ConverterTexts.h"
#include "EditionRules.h"
#include "StoredSettingsReader.h"

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

std::string StoredOrDefault(const SettingsStore &store, const std::string &name)
{
    if (store.KeyExists()) {
        return store.Read(name);
    }
    for (const auto &[key, value] : DefaultSettings()) {
        if (LowerCaseName(key) == LowerCaseName(name)) {
            return value;
        }
    }
    return {};
}

void WriteDefaultSettings(SettingsStore &store)
{
    for (const auto &[name, value] : DefaultSettings()) {
        store.Write(name, value);
    }
}

ConversionSettingTexts StoredConversionSettings(const SettingsStore &store)
{
    const auto read = [&](const char *name) { return StoredOrDefault(store, name); };
    ConversionSettingTexts settings;
    settings.edition = read(setting::kGame);
    settings.teamSize = read(setting::kSizeNumber);
    settings.saveName = read(setting::kSaveName);
    settings.saveFolder = read(setting::kSaveFolder);
    settings.sizePercent = read(setting::kSize);
    settings.scoreboardOnly = read(setting::kScoreBoardOnly) == texts::kYes;
    settings.spectator = read(setting::kSpectator) == texts::kYes;
    settings.trash = read(setting::kTrash) == texts::kYes;
    return settings;
}

} // namespace kv::converter
