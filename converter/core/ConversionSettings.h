#pragma once

#include <string>

#include "EditionRules.h"

namespace kv::converter {

// The settings a conversion run reads, each at the moment it uses it, so that the window's
// controls (or the command line's options) are the one source of truth.
class ConversionSettings
{
public:
    virtual ~ConversionSettings() = default;

    virtual std::string Edition() const = 0;  // game edition title
    virtual std::string TeamSize() const = 0; // team-size label, " 6 on 6"
    virtual bool Spectator() const = 0;
    virtual bool ScoreboardOnly() const = 0;
    virtual std::string SizePercent() const = 0; // text, parsed as a whole number when used
    virtual std::string SaveFolder() const = 0;
    // The run writes the folder back with a trailing separator, as the field would show it.
    virtual void SetSaveFolder(const std::string &folder) = 0;
    virtual std::string SaveName() const = 0;
    // Whether each original goes once its JPEG is written, and whether it then goes to the
    // desktop's trash rather than being deleted.
    virtual bool DeleteOriginals() const = 0;
    virtual bool Trash() const = 0;
};

// Settings held as plain values: the command line and tests.
struct FixedConversionSettings : ConversionSettings
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

    std::string Edition() const override { return edition; }
    std::string TeamSize() const override { return teamSize; }
    bool Spectator() const override { return spectator; }
    bool ScoreboardOnly() const override { return scoreboardOnly; }
    std::string SizePercent() const override { return sizePercent; }
    std::string SaveFolder() const override { return saveFolder; }
    void SetSaveFolder(const std::string &folder) override { saveFolder = folder; }
    std::string SaveName() const override { return saveName; }
    bool DeleteOriginals() const override { return deleteOriginals; }
    bool Trash() const override { return trash; }
};

} // namespace kv::converter
