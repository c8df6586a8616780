#pragma once

#include <memory>
#include <string>

#include "SettingsStore.h"
#include "StoredSettingsReader.h"

namespace kv::converter {

// The store as the command line changes it, without Qt: the settings file in the plain form the
// window's store writes and reads (KVSC.ini beside the program when there is one), or on Windows
// the registry key. What holds more than that form is left to the window's store.
class PlainSettingsStore : public SettingsStore
{
public:
    // The user's store; nullptr, with the reason in error, when it holds what only the window's
    // store can read or change (a hand-edited or damaged file, a folder where the file belongs).
    static std::unique_ptr<PlainSettingsStore> Open(std::string &error);
    // Where the values live, for messages.
    virtual std::string Location() const = 0;
};

// The store in a plain settings file. Writes keep every other line of the file and replace the
// whole file in one step, as the window's store does.
class PlainSettingsFile final : public PlainSettingsStore
{
public:
    // Nothing when the file holds more than the plain form, or cannot be read.
    static std::unique_ptr<PlainSettingsFile> Load(const std::string &path);

    std::string Location() const override { return path_; }
    bool KeyExists() const override { return exists_; }
    void DeleteKey() override;
    std::string Read(const std::string &name) const override;
    // Throws SettingsError when the value holds control characters (the plain form has none)
    // or the file cannot be written; the file then stays as it was.
    void Write(const std::string &name, const std::string &value) override;

private:
    PlainSettingsFile(std::string path, bool exists, SettingsLines lines)
        : path_(std::move(path)), exists_(exists), lines_(std::move(lines))
    {}

    std::string path_;
    bool exists_;
    SettingsLines lines_;
};

// The text of a settings file holding lines, as the window's store writes it.
std::string PlainSettingsText(const SettingsLines &lines);

#ifdef _WIN32
// The registry key, for PlainSettingsStore::Open.
std::unique_ptr<PlainSettingsStore> OpenRegistrySettings(std::string &error);
#endif

} // namespace kv::converter
