#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ConverterTexts.h"

namespace {

kv::converter::FixedConversionSettings FirstStartDefaults()
{
    kv::converter::FixedConversionSettings defaults;
    defaults.edition = kv::converter::texts::kSelectGame;
    const char *home = std::getenv("HOME");
    defaults.saveFolder = std::string(home ? home : ".") + "/";
    return defaults;
}

} // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        args.push_back("--help");
    }
    return kv::converter::RunCommandLine(args, FirstStartDefaults(), std::cout, std::cerr);
}
