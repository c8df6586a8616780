#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SettingsStore.h"

namespace kv::converter {

// The stored settings, read without Qt, so that a command line that leaves settings to the store
// starts as fast as one that gives them all. The reader knows only what the store itself writes;
// for anything else (a hand-edited file, an exotic value, a folder where the file belongs) it
// answers nothing and the caller asks the store, which then has the last word.

// The values of a settings file as the store reads them, by name in lower case; nothing when the
// text holds anything beyond the plain lines the store writes.
std::optional<std::map<std::string, std::string>> ParsePlainSettingsText(std::string_view text);

// The same values with their names as written, in the file's order.
using SettingsLines = std::vector<std::pair<std::string, std::string>>;
std::optional<SettingsLines> ParsePlainSettingsLines(std::string_view text);

// A text as the store reads it back: a leading "@@" stands for "@"; nothing for any other leading
// "@", which marks a typed value.
std::optional<std::string> PlainStoredText(std::string text);

// Value names match without regard to letter case; this is the form they are kept in.
std::string LowerCaseName(std::string name);

// A read-only store over values read without Qt. Names match without regard to letter case.
class StoredValues : public SettingsStore
{
public:
    StoredValues() = default; // no key
    explicit StoredValues(std::map<std::string, std::string> lowerCaseValues)
        : exists_(true), values_(std::move(lowerCaseValues))
    {}

    bool KeyExists() const override { return exists_; }
    void DeleteKey() override;
    std::string Read(const std::string &name) const override;
    void Write(const std::string &name, const std::string &value) override;

private:
    bool exists_ = false;
    std::map<std::string, std::string> values_;
};

// The user's stored values (KVSC.ini beside the program, else the registry key on Windows, else
// the settings file); nothing when only the store itself can tell.
std::optional<StoredValues> ReadStoredValuesWithoutQt();

// The settings file's path as the store finds it (KVSC.ini beside the program, else
// XDG_CONFIG_HOME, else HOME's .config); nothing where the store is the registry or the path
// depends on more than these rules cover.
std::optional<std::string> PlainSettingsFilePath();

// The text of a settings file: exists is false when there is none. Nothing for anything but a
// small regular file (a folder or FIFO in its place, a file that cannot be read): the store's to
// explain.
struct SettingsFileText
{
    bool exists = false;
    std::string text;
};
std::optional<SettingsFileText> ReadSettingsFileText(const std::string &path);

// True when the text of the file at path holds nothing yet: the empty KVSC.ini of the portable
// zip. Every other file the store wrote holds at least one value.
bool HoldsNothingYet(const std::string &path, const std::string &text);

// The stored values of the settings file at path; nothing when only the store itself can tell.
std::optional<StoredValues> ReadPlainSettingsFile(const std::string &path);

} // namespace kv::converter
