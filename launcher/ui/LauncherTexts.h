#pragma once

// Every log line and alert text of the launcher's own, shared by the code and the tests; those of
// the location rules and the location sheet are in GameTexts.h. "%@" marks the one value a line
// carries.
namespace kv::launcher::texts {

// Search and decision.
inline constexpr const char *kGameNotFound = "No Unreal Found";
inline constexpr const char *kGameFound = "Unreal Found";
inline constexpr const char *kUsingGameLog = "Using unreal log";
inline constexpr const char *kUsingModLog = "using KVR log";

// Starting the game, in this order.
inline constexpr const char *kLaunchingIt = "Launching it";
inline constexpr const char *kStartingExecutable = "binString : %@";
inline constexpr const char *kAllocTask = "Alloc Task";
inline constexpr const char *kCurrentDir = "Current dir";
inline constexpr const char *kLaunchPath = "launchPath";
inline constexpr const char *kArgumentsSet = "arguements";
inline constexpr const char *kLaunch = "launch";
inline constexpr const char *kAnimate = "animate";
inline constexpr const char *kWaitForExit = "wait for exit";
// The game's executable could not be started; the value is its path.
inline constexpr const char *kLaunchFailed = "Could not start : %@";

// The main window's line while the game runs.
inline constexpr const char *kGameRunning =
    "KVRavelock is running. This window closes when the game ends.";

// The alert shown when the mod is not installed; the program ends when it is dismissed.
inline constexpr const char *kModNotFoundTitle = "KVRavelock Not Found!";
inline constexpr const char *kModNotFoundMessage = "Please check your Installation.";

// The alert shown when the game's executable cannot be started; the program ends after it.
inline constexpr const char *kGameNotStartedTitle = "Unreal Tournament 2004 Could Not Be Started!";
inline constexpr const char *kGameNotStartedMessage =
    "Nothing could be started at the path you gave. Please choose the game itself.";

// Steam starts the game itself: the launcher cannot wait for it and ends after this alert.
inline constexpr const char *kHandedToSteamTitle = "Unreal Tournament 2004 Is Started by Steam";
inline constexpr const char *kHandedToSteamMessage =
    "Steam starts the game with KVRavelock. The launcher cannot wait for the game and quits now.";
inline constexpr const char *kHandedToSteam = "Handed to Steam : %@";

// The program that starts this game is missing; the value names it. The program ends after it.
inline constexpr const char *kRunnerMissingMessage =
    "The game needs %@ to start, which is not installed (no such command was found).";
inline constexpr const char *kRunnerMissing = "Not installed : %@";

} // namespace kv::launcher::texts
