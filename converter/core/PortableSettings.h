#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kv::converter {

// A file of this name beside the program makes KVSC portable: the window and the command line
// keep their settings in it (INI, the store's names and rules) and never in the registry or the
// user's configuration folder. The portable zip ships it empty, which means nothing stored yet.
inline constexpr const char *kPortableSettingsName = "KVSC.ini";

// The folder of the running program (not of a module it loaded).
std::filesystem::path ProgramFolder();

// The UTF-8 path of KVSC.ini beside the program when anything stands there (a folder there is
// then refused as the store's file, not passed over); nothing otherwise.
std::optional<std::string> PortableSettingsFile();

} // namespace kv::converter
