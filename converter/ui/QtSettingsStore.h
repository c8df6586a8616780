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

    // What the store made of its file when it was made, in the words a user reads; empty when
    // there was nothing to say. Both the window and the command line go by this one judgement:
    // - a file from which the store reads any of its values is kept, whatever else it holds;
    // - a file that can be opened but gives none of them (garbage, cut to nothing) is renamed
    //   aside, never deleted, and the store starts empty;
    // - a file that cannot be opened (no permission, say), or a folder, FIFO or device where
    //   the file belongs, is left as it is: the store then holds no values and every write
    //   throws SettingsError with Refusal().
    std::string StartNote() const override { return note_; }
    // Why the store leaves its file alone; empty when it does not.
    std::string Refusal() const;
    bool Writable() const override;
    // Where the values live, for messages.
    QString Location() const;

    bool KeyExists() const override;
    void DeleteKey() override;
    std::string Read(const std::string &name) const override;
    void Write(const std::string &name, const std::string &value) override;

private:
    QString StoredName(const QString &name) const;
    // Judges the file as StartNote() says, before QSettings reads it.
    void OpenFile();
    void Reopen();

    std::unique_ptr<QSettings> settings_; // none while the file is not a file
    QString file_;                        // empty for the registry
    std::string note_;
    std::string unreadable_; // the system's reason the file cannot be opened
    bool portable_ = false;  // file_ is KVSC.ini beside the program
};

} // namespace kv::converter
