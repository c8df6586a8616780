#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <thread>

#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "FilePath.h"
#include "ImageError.h"
#include "ImagingTexts.h"
#include "ScoreboardTable.h"
#include "ScreenshotRow.h"

namespace kv::converter {

namespace {

constexpr const char *kUsage = R"(Usage: kvsc                          open the KVSC window
       kvsc convert [options] FILE...   convert screenshots without a window

Each FILE (BMP or JPEG) is measured, marked supported or not for the game, and the
supported ones are cut to the scoreboard, scaled and written as JPEG files (quality 90)
named SAVE-FOLDER + SAVE-NAME + the lowest free number + ".jpg".

Options (defaults are the window's stored settings):
  -g, --game EDITION       "Korvane: Veskar" or "Korvane: Ravelock" (or: veskar, ravelock)
  -t, --team SIZE          players per team: " 6 on 6" or just 6 (1 to 10)
      --spectator          the shots were taken as a spectator
      --no-spectator
      --scoreboard-only    keep only the scoreboard (default)
      --whole              keep the whole screenshot
  -s, --size PERCENT       scale in percent (100 keeps the size)
  -o, --save-folder DIR    folder for the JPEG files
  -n, --save-name NAME     base name of the JPEG files
      --delete-originals   delete each screenshot once its JPEG is written
  -j, --jobs N             screenshots worked on at once (default: the number of
                           processors); results still come in list order
  -h, --help               show this text
  -V, --version            show the version
)";

constexpr const char *kVersion = "KV Screenshot Converter 3.0";

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::optional<std::string> GameTitle(const std::string &value)
{
    if (value == texts::kVeskar || Lower(value) == "veskar") {
        return texts::kVeskar;
    }
    if (value == texts::kRavelock || Lower(value) == "ravelock") {
        return texts::kRavelock;
    }
    return std::nullopt;
}

// More workers than this would only add memory.
constexpr int kMaxJobs = 64;

std::optional<int> JobCount(const std::string &value)
{
    if (value.empty() || value.size() > 2 ||
        !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    const int jobs = std::stoi(value);
    if (jobs < 1 || jobs > kMaxJobs) {
        return std::nullopt;
    }
    return jobs;
}

std::optional<std::string> TeamLabel(const std::string &value)
{
    if (PlayersPerTeam(value)) {
        return value;
    }
    for (std::size_t i = 0; i < kTeamSizes.size(); ++i) {
        if (value == std::to_string(i + 1)) {
            return kTeamSizes[i];
        }
    }
    return std::nullopt;
}

// Prints what a run reports; messages need no answer on a terminal. Warnings go to err.
class StreamObserver : public ConversionObserver
{
public:
    StreamObserver(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}
    void ShowProgressBar(bool) override {}
    void SetProgress(int) override {}
    void ProcessPendingMessages() override {}
    void ShowMessage(const std::string &text) override { out_ << text << '\n'; }
    void ShowWarning(const std::string &text) override { err_ << text << '\n'; }
    void AddResultRow(const ResultRow &row) override
    {
        out_ << row.fileName << '\t' << row.result << '\t' << row.path << '\n';
    }

private:
    std::ostream &out_;
    std::ostream &err_;
};

// Screenshots worked on at once unless --jobs says otherwise.
int DefaultJobs()
{
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

// The settings a command line can give, one bit each.
enum Given : unsigned
{
    kGivenGame = 1,
    kGivenTeam = 2,
    kGivenSpectator = 4,
    kGivenScoreboard = 8,
    kGivenSize = 16,
    kGivenFolder = 32,
    kGivenName = 64,
    kGivenAll = 127,
};

struct ParsedCommand
{
    FixedConversionSettings settings;
    unsigned given = 0;
    int jobs = DefaultJobs();
    std::vector<std::string> files;
    bool help = false;
    bool version = false;
};

// Fills command from args; returns an error text for wrong usage.
std::optional<std::string> Parse(const std::vector<std::string> &args, ParsedCommand &command)
{
    std::size_t i = 0;
    if (!args.empty() && args[0] == "convert") {
        i = 1;
    }
    bool onlyFiles = false;
    for (; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            command.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != arg.npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        FixedConversionSettings &s = command.settings;
        if (arg == "-h" || arg == "--help") {
            command.help = true;
        } else if (arg == "-V" || arg == "--version") {
            command.version = true;
        } else if (arg == "--spectator" || arg == "--no-spectator") {
            s.spectator = arg == "--spectator";
            command.given |= kGivenSpectator;
        } else if (arg == "--scoreboard-only" || arg == "--whole") {
            s.scoreboardOnly = arg == "--scoreboard-only";
            command.given |= kGivenScoreboard;
        } else if (arg == "--delete-originals") {
            s.deleteOriginals = true;
        } else if (arg == "-g" || arg == "--game" || arg == "-t" || arg == "--team" ||
                   arg == "-s" || arg == "--size" || arg == "-o" || arg == "--save-folder" ||
                   arg == "-n" || arg == "--save-name" || arg == "-j" || arg == "--jobs") {
            const std::optional<std::string> v = value();
            if (!v) {
                return "option " + arg + " needs a value";
            }
            if (arg == "-g" || arg == "--game") {
                const std::optional<std::string> title = GameTitle(*v);
                if (!title) {
                    return "unknown game \"" + *v + "\" (use \"" + texts::kVeskar + "\" or \"" +
                           texts::kRavelock + "\")";
                }
                s.edition = *title;
                command.given |= kGivenGame;
            } else if (arg == "-t" || arg == "--team") {
                const std::optional<std::string> label = TeamLabel(*v);
                if (!label) {
                    return "unknown team size \"" + *v + "\" (use 1 to 10 or \" 6 on 6\")";
                }
                s.teamSize = *label;
                command.given |= kGivenTeam;
            } else if (arg == "-s" || arg == "--size") {
                s.sizePercent = *v;
                command.given |= kGivenSize;
            } else if (arg == "-j" || arg == "--jobs") {
                const std::optional<int> jobs = JobCount(*v);
                if (!jobs) {
                    return "invalid number of jobs \"" + *v + "\" (use 1 to " +
                           std::to_string(kMaxJobs) + ")";
                }
                command.jobs = *jobs;
            } else if (arg == "-o" || arg == "--save-folder") {
                if (v->empty()) {
                    // It would become the root of the file system.
                    return "the save folder must not be empty";
                }
                s.saveFolder = *v;
                command.given |= kGivenFolder;
            } else {
                s.saveName = *v;
                command.given |= kGivenName;
            }
        } else {
            return "unknown option " + arg;
        }
    }
    return std::nullopt;
}

} // namespace

bool IsCommandLineRequest(const std::vector<std::string> &args)
{
    if (args.empty()) {
        return false;
    }
    const std::string &first = args[0];
    return first == "convert" || first == "-h" || first == "--help" || first == "-V" ||
           first == "--version";
}

int RunCommandLine(const std::vector<std::string> &args, const FixedConversionSettings &defaults,
                   std::ostream &out, std::ostream &err)
{
    ParsedCommand command;
    command.settings = defaults;
    if (const std::optional<std::string> problem = Parse(args, command)) {
        err << "kvsc: " << *problem << "\nTry 'kvsc --help'.\n";
        return 2;
    }
    if (command.help) {
        out << kUsage;
        return 0;
    }
    if (command.version) {
        out << kVersion << '\n';
        return 0;
    }
    if (command.files.empty()) {
        err << "kvsc: no screenshot given\nTry 'kvsc --help'.\n";
        return 2;
    }
    const FixedConversionSettings &settings = command.settings;
    if (settings.edition == texts::kSelectGame) {
        err << texts::kSelectGameFirst << '\n';
        return 1;
    }
    // Options given are checked as they are read; these come from the store, where an INI
    // editor may have dropped a team size's leading blank. Any of them would convert nothing or
    // write into the root of the file system.
    std::optional<std::string> refused;
    if (settings.edition != texts::kVeskar && settings.edition != texts::kRavelock) {
        refused = texts::StoredEditionUnknown(settings.edition);
    } else if (!PlayersPerTeam(settings.teamSize)) {
        refused = texts::StoredTeamSizeUnknown(settings.teamSize);
    } else if (settings.saveFolder.empty()) {
        refused = texts::kStoredSaveFolderEmpty;
    }
    if (refused) {
        err << "kvsc: " << *refused << '\n';
        return 1;
    }

    int status = 0;
    try {
        std::vector<ScreenshotRow> rows;
        for (const std::string &file : command.files) {
            try {
                // The empty name would become the current folder.
                if (file.empty()) {
                    throw imaging::ImageError(
                        imaging::texts::CannotOpenFile(file, imaging::texts::kNotAFile));
                }
                const std::string path =
                    imaging::Utf8FromPath(std::filesystem::absolute(imaging::PathFromUtf8(file)));
                rows.push_back(MeasureScreenshot(path, command.settings.edition));
            } catch (const std::exception &e) {
                err << texts::kInvalidOrNoFile << ": " << file << ": " << e.what() << '\n';
                return 1;
            }
        }
        SortByCaption(rows);
        StreamObserver observer(out, err);
        ConversionRun run(rows, command.settings, observer, command.jobs);
        run.Run();
    } catch (const std::bad_alloc &) {
        err << "Out of memory\n";
        status = 1;
    } catch (const std::exception &e) {
        err << e.what() << '\n';
        status = 1;
    }
    // Lines lost on a closed pipe or a full device leave the caller with a wrong picture of
    // what was written and deleted; the files themselves are done by now.
    if (!out.flush()) {
        err << "kvsc: " << texts::kOutputNotWritten << '\n';
        status = 1;
    }
    return status;
}

int RunCommandLine(const std::vector<std::string> &args,
                   const std::function<FixedConversionSettings()> &readStoredSettings,
                   std::ostream &out, std::ostream &err)
{
    ParsedCommand probe;
    const bool standsAlone =
        Parse(args, probe) || probe.help || probe.version || probe.given == kGivenAll;
    return RunCommandLine(args, standsAlone ? FixedConversionSettings{} : readStoredSettings(), out,
                          err);
}

} // namespace kv::converter
