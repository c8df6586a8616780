#pragma once

#include <string>

namespace kv::converter {

// The folder the game writes its screenshots to, found by the game's location rules for the
// user running us (its logs, then the places where the game is installed); empty when none is
// found, and on Windows, where the converter does not look for the game yet.
std::string GameScreenshotFolder();

} // namespace kv::converter
