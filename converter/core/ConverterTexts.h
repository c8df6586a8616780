#pragma once

#include <cstdint>
#include <string>

// Every text the converter shows to users, shared by the window, the command line and tests.
namespace kv::converter::texts {

inline constexpr const char *kVeskar = "Korvane: Veskar";
inline constexpr const char *kRavelock = "Korvane: Ravelock";
inline constexpr const char *kSelectGame = "Select Game:";

inline constexpr const char *kSelectGameFirst = "Select a game first";
inline constexpr const char *kInvalidOrNoFile = "Invalid or no file selected";
inline constexpr const char *kSettingsReset = "All settings have been reset!";
inline constexpr const char *kOpenFilter = "Supported Files (*.bmp; *.jpg)|*.bmp;*.jpg";
inline constexpr const char *kSelectFolderTitle = "Select a folder:";
inline constexpr const char *kAbout = "KV Screenshot Converter\nVersion 3.0\nOrlinde";
inline constexpr const char *kSettingsDamaged =
    "The stored settings could not be read; KVSC starts with the default settings.";
inline constexpr const char *kSaved = "Saved";
inline constexpr const char *kYes = "Yes";
inline constexpr const char *kNo = "No";

// "Screenshot N: This resolution is not (yet) supported", N counted from 1.
std::string ResolutionNotSupported(int rowNumber);
// "'%s' is not a valid integer value".
std::string NotAValidInteger(const std::string &text);
// A size percent that leaves no pixels: nothing is written for that screenshot.
std::string NothingToSave(int rowNumber, const std::string &sizeText);

// The crop preview: its window title and the screenshot list's context-menu entry, then what it
// says under the picture.
inline constexpr const char *kPreview = "Preview";
// "Output: 782 x 304 pixels", the size of the JPEG the settings would write.
std::string PreviewOutputSize(std::int64_t width, std::int64_t height);
// "1680 x 1050: not supported": the run skips the screenshot.
std::string PreviewNotSupported(const std::string &resolution);
// A team-size text that is none of the ten labels: the run converts nothing.
std::string PreviewNoTeamSize(const std::string &teamSize);
// A size that leaves no pixels: the run writes nothing.
std::string PreviewNothingToSave(const std::string &sizeText);

} // namespace kv::converter::texts
