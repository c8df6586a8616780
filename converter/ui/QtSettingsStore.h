#pragma once

#include <memory>

#include <QString>

#include "SettingsStore.h"

class QSettings;

namespace kv::converter {

// The settings store over QSettings. With KVSC.ini beside the program, that file (portable);
// otherwise on Windows the registry key "Software\KVSC" under HKEY_CURRENT_USER, elsewhere the
// file KVSC/KVSC.conf in the user's configuration folder (XDG_CONFIG_HOME is honoured). Names
// match without regard to letter case everywhere.
class QtSettingsStore : public SettingsStore
{
public:
    QtSettingsStore();
    // A store kept in the given INI file, for tests and tools.
    explicit QtSettingsStore(const QString &iniFile);
    ~QtSettingsStore() override;

    // True when the file exists but could not be read as a settings file (garbage, cut short).
    bool Damaged() const override { return damaged_; }
    // True when a folder, a FIFO or a device stands where the settings file belongs. The store
    // then holds no values, never touches it, and every write throws SettingsError saying so.
    bool NotAFile() const;
    // Where the values live, for messages.
    QString Location() const;

    bool KeyExists() const override;
    void DeleteKey() override;
    std::string Read(const std::string &name) const override;
    void Write(const std::string &name, const std::string &value) override;

private:
    QString StoredName(const QString &name) const;
    bool LooksDamaged() const;
    void Reopen();

    std::unique_ptr<QSettings> settings_; // none while the file is not a file
    QString file_;                        // empty for the registry
    bool portable_ = false;               // file_ is KVSC.ini beside the program
    bool damaged_ = false;
};

} // namespace kv::converter
