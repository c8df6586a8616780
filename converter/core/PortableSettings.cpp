#include "PortableSettings.h"

#include <cstdint>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include "FilePath.h"

namespace kv::converter {

namespace fs = std::filesystem;

fs::path ProgramFolder()
{
#if defined(_WIN32)
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    return fs::path(std::wstring(buffer.data(), length)).parent_path();
#elif defined(__APPLE__)
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buffer(size + 1, '\0');
    _NSGetExecutablePath(buffer.data(), &size);
    std::error_code ignored;
    return fs::canonical(buffer.data(), ignored).parent_path();
#else
    std::error_code ignored;
    return fs::read_symlink("/proc/self/exe", ignored).parent_path();
#endif
}

std::optional<std::string> PortableSettingsFile()
{
    const fs::path folder = ProgramFolder();
    if (folder.empty()) {
        return std::nullopt;
    }
    const fs::path file = folder / kPortableSettingsName;
    std::error_code error;
    if (fs::symlink_status(file, error).type() == fs::file_type::not_found || error) {
        return std::nullopt;
    }
    return imaging::Utf8FromPath(file);
}

} // namespace kv::converter
