#pragma once

#include <optional>
#include <string>

// The log lines and alert texts of what the launcher and the installer share: the location rules,
// the location sheet and its drop target. Shared by the code and the tests. "%@" marks the one
// value a line carries.
namespace kv::game::texts {

// Reading a log's base-directory line; the value is "(null)" when the log gave none.
inline constexpr const char *kGameLogLine = "Unreal Location lineString : %@";
inline constexpr const char *kModLogLine = "KVR OR location lineString : %@";
inline constexpr const char *kNullValue = "(null)";

// Each further place the game is looked for in, when the logs name none; and the game found there.
inline constexpr const char *kLookingIn = "Looking for Unreal in : %@";
inline constexpr const char *kUsingPlace = "Using the game in : %@";

// Looking for the mod's descriptor.
inline constexpr const char *kSheetPathUsed = "You've used a sheet, ya cheeky devil";
inline constexpr const char *kPathFromSheet = "Our appended path from the sheet : %@";
inline constexpr const char *kDescriptorBelowGameLog = "Unreal being used : %@";
inline constexpr const char *kDescriptorBelowModLog = "KVR Or Unreal being used : %@";
inline constexpr const char *kDescriptorBelowPlace = "Unreal found elsewhere being used : %@";

// The location sheet's completion.
inline constexpr const char *kReturned = "Returned...";

// The drop target.
inline constexpr const char *kDroppedPathTaken = "Set the string, apparentley";
inline constexpr const char *kPathErrorTitle = "Path Error";
inline constexpr const char *kPathErrorMessage = "Sorry, but the operation failed";

// The one button of an alert.
inline constexpr const char *kOK = "OK";

// format with its "%@" replaced by value, or by "(null)" when there is no value.
std::string Filled(const char *format, const std::optional<std::string> &value);

} // namespace kv::game::texts
