#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ConversionSettings.h"
#include "FileSystem.h"
#include "PlainSettingsStore.h"

namespace kv::converter {

// True when args (without the program name) ask for the command-line converter rather than
// the window: "convert", "settings", "--help", "--version" and their short forms.
bool IsCommandLineRequest(const std::vector<std::string> &args);

// Runs `kvsc convert [options] FILE...` (or --help / --version), starting from defaults for
// every option not given. Messages and result rows go to out, errors to err; files are written and
// deleted through files. Returns 0 when the run finished, 1 when an error ended it, 2 for wrong
// usage.
int RunCommandLine(const std::vector<std::string> &args, const ConversionSettingTexts &defaults,
                   std::ostream &out, std::ostream &err, FileSystem &files = SystemFileSystem());

// The same with the stored settings as defaults, read only when the command line leaves one of
// them out (or is wrong): a command line that gives them all runs without the store.
int RunCommandLine(const std::vector<std::string> &args,
                   const std::function<ConversionSettingTexts()> &readStoredSettings,
                   std::ostream &out, std::ostream &err);

// Runs `kvsc settings [options]`: stores the settings given (the default set first where nothing
// is stored yet) as the window stores them, then prints where the settings live and the stored
// ones. Returns 0, 1 when the store cannot be read or refused a value, 2 for wrong usage.
int RunSettingsCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
// The same with the store given.
int RunSettingsCommand(const std::vector<std::string> &args, PlainSettingsStore &store,
                       std::ostream &out, std::ostream &err);

} // namespace kv::converter
