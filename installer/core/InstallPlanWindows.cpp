#include "InstallPlan.h"

#include <string_view>

#include <shlobj.h>
#include <windows.h>

#include "ExtractionHelper.h"
#include "FilePath.h"

namespace kv::installer {

bool FolderWritable(const std::string &folder)
{
    std::wstring probe = imaging::PathFromUtf8(folder).native();
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/') {
        probe += L'\\';
    }
    probe += L".kvrinstaller-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE file = CreateFileW(
        probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

RunAs RunAsFor(const std::string &gameLocation)
{
    const std::string modFolder = gameLocation + "KVRavelock";
    std::error_code error;
    const bool writable =
        FolderWritable(gameLocation) &&
        (!std::filesystem::is_directory(imaging::PathFromUtf8(modFolder), error) ||
         FolderWritable(modFolder));
    return RunAs{!writable, std::nullopt};
}

ExtractionCommand ExtractionCommandFor(const std::string &installerFolder,
                                       const std::string &archive, const std::string &gameLocation)
{
    return {installerFolder + "/" + kHelperProgram, {archive, gameLocation}};
}

bool RootOwnsTheFiles(const RunAs &)
{
    return false;
}

std::optional<std::string> KnownDesktopFolder()
{
    PWSTR path = nullptr;
    std::optional<std::string> folder;
    if (SHGetKnownFolderPath(FOLDERID_Desktop, KF_FLAG_DEFAULT, nullptr, &path) == S_OK) {
        folder = imaging::Utf8FromPath(std::filesystem::path(std::wstring_view(path)));
    }
    CoTaskMemFree(path);
    return folder;
}

} // namespace kv::installer
