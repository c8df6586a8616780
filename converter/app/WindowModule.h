#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ConversionSettings.h"

namespace kv::converter {

// The window and the settings store (Qt) live in a module of their own, loaded only when
// needed: a conversion from the command line that gives every setting starts without loading
// Qt, which would otherwise take longer than converting a screenshot.
class WindowModule
{
public:
    // The module beside the program, or in ../lib/kvsc where it is installed; nullptr with the
    // reason in error when it cannot be loaded. The module stays loaded until the program ends:
    // Qt's libraries are not made to be unloaded while their globals live.
    static std::unique_ptr<WindowModule> Load(std::string &error);
    WindowModule(const WindowModule &) = delete;
    WindowModule &operator=(const WindowModule &) = delete;

    // Opens the KVSC window and returns the program's exit code when it closes.
    int RunWindow(int argc, char **argv);
    // The converter's stored settings (defaults where nothing is stored); nothing, with the
    // reason in error, when the store cannot be read at all. note gets what the user must be
    // told about the store (as the window tells it at start), or nothing.
    std::optional<ConversionSettingTexts> StoredSettings(std::string &error, std::string &note);

    using RunWindowFunction = int (*)(int, char **);
    using StoredSettingsFunction = bool (*)(ConversionSettingTexts *, std::string *, std::string *);

private:
    WindowModule() = default;

    RunWindowFunction runWindow_ = nullptr;
    StoredSettingsFunction storedSettings_ = nullptr;
};

} // namespace kv::converter
