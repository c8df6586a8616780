// Any settings file gives values or is renamed aside, never a crash; and whatever the reader
// without Qt makes of it, the store reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <QCoreApplication>

#include "FuzzSupport.h"
#include "QtSettingsStore.h"
#include "SettingsStore.h"
#include "StoredSettingsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace kv::converter;
    // A new name for every input: QSettings keeps what it read of a path, and takes a rewritten
    // file of the same size and time for the one it has.
    static unsigned long inputs = 0;
    const std::string path =
        kv::fuzz::WriteScratch(data, size, ".conf") + "." + std::to_string(++inputs);
    std::rename(kv::fuzz::ScratchFile(".conf").c_str(), path.c_str());
    const struct Removal
    {
        const std::string &path;
        ~Removal()
        {
            std::remove(path.c_str());
            std::remove((path + ".damaged").c_str());
        }
    } removal{path};
    QtSettingsStore store(QString::fromStdString(path));
    volatile bool noted = !store.StartNote().empty();
    (void)noted;
    StoredConversionSettings(store);
    const auto plain =
        ParsePlainSettingsText(std::string_view(reinterpret_cast<const char *>(data), size));
    for (const char *name : setting::kConversionNames) {
        const std::string stored = store.Read(name);
        if (plain && StoredValues(*plain).Read(name) != stored) {
            std::abort();
        }
    }
    return 0;
}
