#include "WindowModule.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "PortableSettings.h"

namespace kv::converter {

namespace {

namespace fs = std::filesystem;

void *OpenLibrary(const fs::path &path, std::string &error)
{
#if defined(_WIN32)
    void *handle = LoadLibraryW(path.c_str());
    if (!handle) {
        error = path.string() + ": error " + std::to_string(GetLastError());
    }
    return handle;
#else
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *reason = dlerror();
        error = reason ? reason : path.string();
    }
    return handle;
#endif
}

void *Symbol(void *handle, const char *name)
{
#if defined(_WIN32)
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

} // namespace

std::unique_ptr<WindowModule> WindowModule::Load(std::string &error)
{
    const fs::path folder = ProgramFolder();
    fs::path path = folder / KV_WINDOW_MODULE;
    std::error_code missing;
    if (!fs::exists(path, missing)) {
        path = folder.parent_path() / "lib" / "kvsc" / KV_WINDOW_MODULE;
    }
    void *handle = OpenLibrary(path, error);
    if (!handle) {
        return nullptr;
    }
    std::unique_ptr<WindowModule> module(new WindowModule);
    module->runWindow_ = reinterpret_cast<RunWindowFunction>(Symbol(handle, "kvscRunWindow"));
    module->storedSettings_ =
        reinterpret_cast<StoredSettingsFunction>(Symbol(handle, "kvscStoredSettings"));
    if (!module->runWindow_ || !module->storedSettings_) {
        error = path.string() + ": not a KVSC window module";
        return nullptr;
    }
    return module;
}

int WindowModule::RunWindow(int argc, char **argv)
{
    return runWindow_(argc, argv);
}

std::optional<ConversionSettingTexts> WindowModule::StoredSettings(std::string &error,
                                                                   std::string &note)
{
    ConversionSettingTexts settings;
    if (!storedSettings_(&settings, &error, &note)) {
        return std::nullopt;
    }
    return settings;
}

} // namespace kv::converter
