// KVRExtract ARCHIVE GAME-LOCATION MESSAGE-FILE: unpacks the mod's archive into the game folder
// for the installer, which starts it with administrator rights only when the folder needs them.
// Its exit status is the ExtractionResult; the text the user is shown goes into MESSAGE-FILE
// (UTF-8), which an elevated helper can still write since it lies in the user's own folders.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ArchiveExtraction.h"
#include "ExtractionHelper.h"
#include "FilePath.h"

namespace {

int Run(const std::vector<std::string> &arguments)
{
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: KVRExtract ARCHIVE GAME-LOCATION MESSAGE-FILE\n");
        return kv::installer::kHelperUsage;
    }
    const kv::installer::ExtractionOutcome outcome =
        kv::installer::ExtractArchive(arguments[0], arguments[1]);
    std::ofstream(kv::imaging::PathFromUtf8(arguments[2]), std::ios::binary | std::ios::trunc)
        << outcome.message;
    if (!outcome.message.empty()) {
        std::fprintf(stderr, "%s\n", outcome.message.c_str());
    }
    return int(outcome.result);
}

} // namespace

#ifdef _WIN32
#include <filesystem>

// Started with wide arguments, so that paths in any script arrive whole.
int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::u8string text = std::filesystem::path(argv[i]).u8string();
        arguments.emplace_back(text.begin(), text.end());
    }
    return Run(arguments);
}
#else
int main(int argc, char **argv)
{
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
