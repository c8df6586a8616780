// Any settings file gives values or the "damaged" verdict, never a crash.
#include <cstddef>
#include <cstdint>

#include <QCoreApplication>

#include "FuzzSupport.h"
#include "QtSettingsStore.h"
#include "SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string &path = kv::fuzz::WriteScratch(data, size, ".conf");
    kv::converter::QtSettingsStore store(QString::fromStdString(path));
    volatile bool damaged = store.Damaged();
    (void)damaged;
    for (const char *name : {kv::converter::setting::kGame, kv::converter::setting::kSaveName,
                             kv::converter::setting::kSize, kv::converter::setting::kSpectator}) {
        store.Read(name);
    }
    kv::converter::StoredConversionSettings(store);
    return 0;
}
