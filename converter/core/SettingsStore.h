#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ConversionSettings.h"

namespace kv::converter {

// Value names of the store. Names match without regard to letter case: "Savename" (written by
// the default set) and "SaveName" (written by the name field) are one value.
namespace setting {
inline constexpr const char *kSizeNumber = "SizeNumber";
inline constexpr const char *kSavenameDefault = "Savename";
inline constexpr const char *kSaveName = "SaveName";
inline constexpr const char *kSaveFolder = "SaveFolder";
inline constexpr const char *kSize = "Size";
inline constexpr const char *kScoreBoardOnly = "ScoreBoardOnly";
inline constexpr const char *kOpenFolder = "OpenFolder";
inline constexpr const char *kGame = "Game";
inline constexpr const char *kSpectator = "Spectator";
inline constexpr const char *kTrash = "Trash";
// Every name the store knows, each once.
inline constexpr const char *kNames[] = {kSizeNumber, kSaveName,       kSaveFolder,
                                         kSize,       kScoreBoardOnly, kOpenFolder,
                                         kGame,       kSpectator,      kTrash};
// The names the command line's settings come from.
inline constexpr const char *kConversionNames[] = {kGame, kSizeNumber,     kSaveName,  kSaveFolder,
                                                   kSize, kScoreBoardOnly, kSpectator, kTrash};
} // namespace setting

// A settings write the store refused; the text is the store's own message.
class SettingsError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The converter's persistent settings: one key holding string values. Every write reaches the
// disk before it returns.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    virtual bool KeyExists() const = 0;
    // What a start must tell the user about the store (a damaged file renamed aside, a file it
    // cannot read); empty when nothing.
    virtual std::string StartNote() const { return {}; }
    // False when every write would be refused (the store leaves its file alone).
    virtual bool Writable() const { return true; }
    // Removes the key with all its values.
    virtual void DeleteKey() = 0;
    // A missing value reads as the empty text.
    virtual std::string Read(const std::string &name) const = 0;
    // Creates the key when missing. Throws SettingsError when the store refuses the value.
    virtual void Write(const std::string &name, const std::string &value) = 0;
};

// The folder Save To and Open start in on a first start: "C:\" on Windows, elsewhere the home
// folder with a trailing "/" (there "C:\" names no folder).
std::string DefaultFolder();

// The default set in the order it is written.
std::vector<std::pair<std::string, std::string>> DefaultSettings();

// The value store holds under name, or, while it has no key (a first start whose defaults could
// not be written), the value the default set gives it.
std::string StoredOrDefault(const SettingsStore &store, const std::string &name);

// Writes the default set into store, creating its key.
void WriteDefaultSettings(SettingsStore &store);

// The conversion settings the store holds (the first-start defaults where it has no key), as
// the command line starts from them. Delete originals is never stored and starts off; Trash,
// missing from the default set, reads as off.
ConversionSettingTexts StoredConversionSettings(const SettingsStore &store);

} // namespace kv::converter
