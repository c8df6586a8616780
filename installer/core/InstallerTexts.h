#pragma once

// Every status text, button title, alert text and log line of the installer, shared by the code
// and the tests. Log lines that carry a path log the path alone on the next line.
namespace kv::installer::texts {

// The status line of the install window, in the order a run shows them.
inline constexpr const char *kMovingFiles = "Moving the files into Unreal Tournament...";
inline constexpr const char *kInstallingFiles = "Installing files...";
inline constexpr const char *kInstallationComplete = "Installation Complete";
// The extraction tool was not started: the password dialog was dismissed or refused.
inline constexpr const char *kIncorrectPassword = "Incorrect Password!";
// The extraction tool ran but failed, or left no marker behind, or could not be run at all;
// the reason is shown beneath it.
inline constexpr const char *kInstallationFailed = "Installation Failed!";
// pkexec, which asks for the password, is missing: no password was asked for at all.
inline constexpr const char *kRightsNotRequested = "Administrator rights could not be requested!";
// Cancel or closing the window while the extraction runs: it is never cut short.
inline constexpr const char *kWaitingForExtraction =
    "Waiting for the extraction to end before quitting...";

// Why the install failed, shown beneath the status; "%@" is a path.
inline constexpr const char *kArchiveNotFound =
    "KVRinstall.tgz is not in %@, beside the installer.";
inline constexpr const char *kGameFolderNotFound =
    "There is no folder %@. Please check the path of Unreal Tournament 2004.";
inline constexpr const char *kArchiveHoldsDevices =
    "KVRinstall.tgz holds device files or FIFOs, so nothing was installed.";
inline constexpr const char *kArchiveOwnerOnly =
    "KVRinstall.tgz holds files only their owner may read, which players could not read once "
    "installed with administrator rights, so nothing was installed.";
inline constexpr const char *kArchiveNotListed = "KVRinstall.tgz could not be listed.";
// Where the installer unpacks the archive itself (Windows); "%@" is the member, or the file.
inline constexpr const char *kArchiveMemberRefused =
    "KVRinstall.tgz holds %@, a link, a device's name or a name outside the game folder, so "
    "nothing "
    "was installed.";
inline constexpr const char *kFileNotWritten = "%@ could not be written.";
inline constexpr const char *kMarkerNotInArchive =
    "KVRinstall.tgz holds no KVRavelock/Textures/KV2_Quarrytide1.utx.";
// The extraction tool failed without saying why.
#ifdef _WIN32
inline constexpr const char *kToolFailed = "KVRExtract ended with an error.";
#else
inline constexpr const char *kToolFailed = "tar ended with an error.";
#endif
inline constexpr const char *kNoElevator =
    "pkexec, which asks for the administrator's password, is missing or cannot be run. Install "
    "the package pkexec, or start KVRInstaller as root.";

// Titles of the install window's button after completion and after a failure.
inline constexpr const char *kDone = "Done";
inline constexpr const char *kQuit = "Quit";

// The warning shown when the all-users option is chosen.
inline constexpr const char *kAdminTitle = "Administrator Password Required";
inline constexpr const char *kAdminMessage =
    "In order to install KV:Ravelock for all users, you must know the Administrator Password!";
inline constexpr const char *kOK = "OK";
inline constexpr const char *kCancel = "Cancel";

// Log lines: the option choice, then the extraction in order of a run.
inline constexpr const char *kAllUsersChosen = "here, at least";
inline constexpr const char *kSystemFolderNext = "Unreal System Path:";
inline constexpr const char *kInstallerFolderNext = "KVR Install App Path:";
inline constexpr const char *kPreparingForInstall = "Preparing for install";
inline constexpr const char *kShouldBeRunning = "Should be running about now";
inline constexpr const char *kWorkerStarted = "Seperating thread...";
inline constexpr const char *kAborted = "Aborted";
inline constexpr const char *kCopyLauncher = "Copy Launcher to Desktop";
inline constexpr const char *kLauncherCopied = "Launcher copy was a success.";
inline constexpr const char *kLauncherNotCopied = "Unable to copy Launcher!";
inline constexpr const char *kInstallationDone = "Installation done!";
// The extraction tool ended with a failure, or succeeded without writing the marker.
inline constexpr const char *kExtractionFailed = "Extraction failed";
inline constexpr const char *kMarkerMissing = "Marker missing after extraction";
// The archive holds a device node or FIFO (or could not be listed as holding none): not extracted.
inline constexpr const char *kArchiveRefused = "Archive holds device files: not extracted";
inline constexpr const char *kArchiveOwnerOnlyRefused =
    "Archive holds owner-only files and would be extracted as root: not extracted";
// Who extracts: the user, an administrator, or root as the game folder's owner ("%@" its uid).
inline constexpr const char *kExtractingAsUser = "Extracting as the user";
inline constexpr const char *kExtractingAsAdministrator = "Extracting with administrator rights";
inline constexpr const char *kExtractingAsOwner = "Extracting as the game folder's owner : %@";

} // namespace kv::installer::texts
