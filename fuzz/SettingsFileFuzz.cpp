// Any settings file gives values or the "damaged" verdict, never a crash; and whatever the reader
// without Qt makes of it, the store reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <QCoreApplication>

#include "FuzzSupport.h"
#include "QtSettingsStore.h"
#include "SettingsStore.h"
#include "StoredSettingsReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace kv::converter;
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".conf");
    QtSettingsStore store(QString::fromStdString(path));
    volatile bool damaged = store.Damaged();
    (void)damaged;
    StoredConversionSettings(store);
    const auto plain =
        ParsePlainSettingsText(std::string_view(reinterpret_cast<const char *>(data), size));
    for (const char *name : {setting::kGame, setting::kSizeNumber, setting::kSaveName,
                             setting::kSaveFolder, setting::kSize, setting::kScoreBoardOnly,
                             setting::kSpectator}) {
        const std::string stored = store.Read(name);
        if (plain && StoredValues(*plain).Read(name) != stored) {
            std::abort();
        }
    }
    return 0;
}
