#include "CommandLine.h"

#include <algorithm>
#include <bitset>
#include <cctype>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include "CaptionOrder.h"
#include "ConversionError.h"
#include "ConversionRun.h"
#include "ConverterTexts.h"
#include "FilePath.h"
#include "FolderNotifier.h"
#include "FolderWatch.h"
#include "GameScreenshotFolder.h"
#include "ImageError.h"
#include "ImagingTexts.h"
#include "PlainSettingsStore.h"
#include "ScoreboardTable.h"
#include "ScreenshotFiles.h"
#include "ScreenshotRow.h"
#include "WatchConversion.h"
#include "WholeNumber.h"

namespace kv::converter {

namespace {

constexpr const char *kUsageHead = R"(Usage: kvsc                          open the KVSC window
       kvsc convert [options] FILE...   convert screenshots without a window
       kvsc watch [options] FOLDER...   convert each screenshot that appears in the
                                        folders, until Ctrl+C
       kvsc settings [options]          store the settings given as the window's, and
                                        show the stored settings

Each FILE (BMP or JPEG) is measured, marked supported or not for the game, and the
supported ones are cut to the scoreboard, scaled and written as JPEG files (quality 90)
named SAVE-FOLDER + SAVE-NAME + the lowest free number + ".jpg", with the screenshot's
modification time. A watched screenshot is converted once it is complete.

Options (defaults are the window's stored settings):
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
    // " 6 on 6" typed without its leading blank.
    if (PlayersPerTeam(" " + value)) {
        return " " + value;
    }
    for (std::size_t i = 0; i < kTeamSizes.size(); ++i) {
        if (value == std::to_string(i + 1)) {
            return kTeamSizes[i];
        }
    }
    return std::nullopt;
}

// A size percent the run can use: a whole number, 1 or more.
bool UsableSize(const std::string &value)
{
    try {
        return ParseWholeNumber(value) >= 1;
    } catch (const std::exception &) {
        return false;
    }
}

// Prints what a run reports; messages need no answer on a terminal. Warnings go to err.
class StreamObserver : public ConversionObserver
{
public:
    StreamObserver(std::ostream &out, std::ostream &err) : out_(out), err_(err) {}
    void ShowProgressBar(bool) override {}
    void SetProgress(int) override {}
    void ShowMessage(const std::string &text) override { out_ << text << '\n'; }
    void ShowWarning(const std::string &text) override { err_ << text << '\n'; }
    void ShowDeleteFailure(const std::string &text) override
    {
        ShowWarning(text);
        deleteFailed = true;
    }
    void ShowSkipped(const std::string &text) override { ShowWarning(text); }
    void AddResultRow(const ResultRow &row) override
    {
        out_ << row.fileName << '\t' << row.result << '\t' << row.path << '\n';
    }
    // A watch ends on Ctrl+C, after the screenshot in hand.
    bool StopRequested() const override { return stopOnRequest && StopAsked(); }

    bool deleteFailed = false;
    bool stopOnRequest = false;

private:
    std::ostream &out_;
    std::ostream &err_;
};

// The stored settings an option gives: a command line that gives all of them needs no store.
enum class StoredSetting
{
    kNone,
    kGame,
    kTeamSize,
    kSpectator,
    kScoreboardOnly,
    kSizePercent,
    kSaveFolder,
    kSaveName,
    kTrash,
    kCount
};

struct ParsedCommand
{
    ConversionSettingTexts settings;
    std::bitset<std::size_t(StoredSetting::kCount)> given;
    int jobs = DefaultJobs();
    std::vector<std::string> files;
    bool watch = false;
    bool catchUp = false;
    bool gameFolder = false;
    bool help = false;
    bool version = false;
    std::string unstorable; // the first option given that is no stored setting

    bool GivesEveryStoredSetting() const
    {
        // kNone is never marked.
        return given.count() == std::size_t(StoredSetting::kCount) - 1;
    }
};

// What an option does with its value (empty for a flag); returns an error text for a wrong value.
using OptionEffect = std::optional<std::string> (*)(ParsedCommand &, const std::string &);

struct Option
{
    const char *name;      // "--game"
    const char *shortName; // "-g", or nullptr
    const char *argument;  // shown in the help; nullptr for a flag, which takes no value
    const char *help;      // its help text, '\n' between lines; empty for none
    StoredSetting sets;
    OptionEffect effect;
};

std::optional<std::string> ShowHelp(ParsedCommand &command, const std::string &)
{
    command.help = true;
    return std::nullopt;
}

std::optional<std::string> ShowVersion(ParsedCommand &command, const std::string &)
{
    command.version = true;
    return std::nullopt;
}

// In the order --help lists them.
constexpr Option kOptions[] =
    {
        {"--game", "-g", "EDITION",
         "\"Korvane: Veskar\" or \"Korvane: Ravelock\" (or: veskar, ravelock)",
         StoredSetting::kGame,
         [](ParsedCommand &c, const std::string &v) -> std::optional<std::string> {
             const std::optional<std::string> title = GameTitle(v);
             if (!title) {
                 return "unknown game \"" + v + "\" (use \"" + texts::kVeskar + "\" or \"" +
                        texts::kRavelock + "\")";
             }
             c.settings.edition = *title;
             return std::nullopt;
         }},
        {"--team", "-t", "SIZE", "players per team: \" 6 on 6\" or just 6 (1 to 10)",
         StoredSetting::kTeamSize,
         [](ParsedCommand &c, const std::string &v) -> std::optional<std::string> {
             const std::optional<std::string> label = TeamLabel(v);
             if (!label) {
                 return "unknown team size \"" + v + "\" (use 1 to 10 or \" 6 on 6\")";
             }
             c.settings.teamSize = *label;
             return std::nullopt;
         }},
        {"--spectator", nullptr, nullptr, "the shots were taken as a spectator",
         StoredSetting::kSpectator,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.spectator = true;
             return std::nullopt;
         }},
        {"--no-spectator", nullptr, nullptr, "", StoredSetting::kSpectator,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.spectator = false;
             return std::nullopt;
         }},
        {"--scoreboard-only", nullptr, nullptr, "keep only the scoreboard (default)",
         StoredSetting::kScoreboardOnly,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.scoreboardOnly = true;
             return std::nullopt;
         }},
        {"--whole", nullptr, nullptr, "keep the whole screenshot", StoredSetting::kScoreboardOnly,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.scoreboardOnly = false;
             return std::nullopt;
         }},
        {"--size", "-s", "PERCENT", "scale in percent (100 keeps the size)",
         StoredSetting::kSizePercent,
         [](ParsedCommand &c, const std::string &v) -> std::optional<std::string> {
             if (!UsableSize(v)) {
                 return texts::SizeRefused(v);
             }
             c.settings.sizePercent = v;
             return std::nullopt;
         }},
        {"--save-folder", "-o", "DIR", "folder for the JPEG files", StoredSetting::kSaveFolder,
         [](ParsedCommand &c, const std::string &v) -> std::optional<std::string> {
             if (v.empty()) {
                 // It would become the root of the file system.
                 return "the save folder must not be empty";
             }
             c.settings.saveFolder = v;
             return std::nullopt;
         }},
        {"--save-name", "-n", "NAME", "base name of the JPEG files", StoredSetting::kSaveName,
         [](ParsedCommand &c, const std::string &v) -> std::optional<std::string> {
             if (std::optional<std::string> problem = SaveNameProblem(v)) {
                 return problem;
             }
             c.settings.saveName = v;
             return std::nullopt;
         }},
        {"--delete-originals", nullptr, nullptr, "delete each screenshot once its JPEG is written",
         StoredSetting::kNone,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.deleteOriginals = true;
             return std::nullopt;
         }},
        {"--trash", nullptr, nullptr,
         "move each screenshot to the desktop's trash once its\nJPEG is written, rather than "
         "deleting it",
         StoredSetting::kTrash,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.trash = true;
             c.settings.deleteOriginals = true;
             return std::nullopt;
         }},
        {"--no-trash", nullptr, nullptr, "", StoredSetting::kTrash,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.settings.trash = false;
             return std::nullopt;
         }},
        {"--jobs", "-j", "N",
         "screenshots worked on at once (default: the number of\nprocessors); results still come "
         "in "
         "list order",
         StoredSetting::kNone,
         [](ParsedCommand &c, const std::string &v) -> std::optional<std::string> {
             const std::optional<int> jobs = JobCount(v);
             if (!jobs) {
                 return "invalid number of jobs \"" + v + "\" (use 1 to " +
                        std::to_string(kMaxJobs) + ")";
             }
             c.jobs = *jobs;
             return std::nullopt;
         }},
        {"--catch-up", nullptr, nullptr, "watch: also convert the screenshots already there",
         StoredSetting::kNone,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.catchUp = true;
             return std::nullopt;
         }},
        {"--game-folder", nullptr, nullptr,
         "watch: also the game's ScreenShots folder (below the\ngame, or ~/.ut2004/ScreenShots)",
         StoredSetting::kNone,
         [](ParsedCommand &c, const std::string &) -> std::optional<std::string> {
             c.gameFolder = true;
             return std::nullopt;
         }},
        {"--help", "-h", nullptr, "show this text", StoredSetting::kNone, ShowHelp},
        {"--version", "-V", nullptr, "show the version", StoredSetting::kNone, ShowVersion},
};

const Option *FindOption(const std::string &arg)
{
    for (const Option &option : kOptions) {
        if (arg == option.name || (option.shortName && arg == option.shortName)) {
            return &option;
        }
    }
    return nullptr;
}

// The usage text: the head, then per option its names and argument, with the help in a column.
std::string Usage()
{
    constexpr std::size_t kHelpColumn = 27;
    std::string usage = kUsageHead;
    for (const Option &option : kOptions) {
        std::string line = "  ";
        line += option.shortName ? std::string(option.shortName) + ", " : "    ";
        line += option.name;
        if (option.argument) {
            line += std::string(" ") + option.argument;
        }
        if (*option.help) {
            line.resize(kHelpColumn, ' ');
            for (const char *c = option.help; *c; ++c) {
                line += *c;
                if (*c == '\n') {
                    line += std::string(kHelpColumn, ' ');
                }
            }
        }
        usage += line + '\n';
    }
    return usage;
}

// Fills command from args; returns an error text for wrong usage.
std::optional<std::string> Parse(const std::vector<std::string> &args, ParsedCommand &command)
{
    std::size_t i = 0;
    if (!args.empty() && (args[0] == "convert" || args[0] == "settings" || args[0] == "watch")) {
        command.watch = args[0] == "watch";
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
        const Option *option = FindOption(arg);
        if (!option) {
            return "unknown option " + arg;
        }
        // A flag takes no value; one given after "=" is passed over.
        std::string value;
        if (option->argument) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return "option " + arg + " needs a value";
            }
        }
        if (std::optional<std::string> problem = option->effect(command, value)) {
            return problem;
        }
        if (option->sets != StoredSetting::kNone) {
            command.given.set(std::size_t(option->sets));
        } else if (option->effect != ShowHelp && option->effect != ShowVersion &&
                   command.unstorable.empty()) {
            command.unstorable = arg;
        }
    }
    return std::nullopt;
}

// Each stored setting's value name and its text as the window stores it.
struct StoredValue
{
    StoredSetting setting;
    const char *name;
    std::string (*text)(const ConversionSettingTexts &);
};

constexpr StoredValue kStoredValues[] = {
    {StoredSetting::kGame, setting::kGame, [](const auto &s) { return s.edition; }},
    {StoredSetting::kTeamSize, setting::kSizeNumber, [](const auto &s) { return s.teamSize; }},
    {StoredSetting::kSpectator, setting::kSpectator,
     [](const auto &s) -> std::string { return s.spectator ? texts::kYes : texts::kNo; }},
    {StoredSetting::kScoreboardOnly, setting::kScoreBoardOnly,
     [](const auto &s) -> std::string { return s.scoreboardOnly ? texts::kYes : texts::kNo; }},
    {StoredSetting::kSizePercent, setting::kSize, [](const auto &s) { return s.sizePercent; }},
    {StoredSetting::kSaveFolder, setting::kSaveFolder, [](const auto &s) { return s.saveFolder; }},
    {StoredSetting::kSaveName, setting::kSaveName, [](const auto &s) { return s.saveName; }},
    {StoredSetting::kTrash, setting::kTrash,
     [](const auto &s) -> std::string { return s.trash ? texts::kYes : texts::kNo; }},
};

// The window's size field takes whole numbers from 1 to 999.
bool StorableSize(const std::string &text)
{
    try {
        const int size = ParseWholeNumber(text);
        return size >= 1 && size <= 999;
    } catch (const ConversionError &) {
        return false;
    }
}

// Converts what the watch hands over as `kvsc convert` would convert those files, printing the
// same lines; notes on the watch itself go to err.
class CommandLineWatch : public WatchHandler
{
public:
    CommandLineWatch(ParsedCommand &command, std::ostream &out, std::ostream &err,
                     FileSystem &files)
        : command_(command), out_(out), err_(err), files_(files)
    {}

    Outcome Convert(const std::vector<std::string> &paths) override
    {
        StreamObserver observer(out_, err_);
        observer.stopOnRequest = true;
        const Outcome outcome = ConvertWatchedScreenshots(
            paths, command_.settings, command_.jobs, observer,
            [this](const std::string &text) {
                err_ << text << '\n';
                failed = true;
            },
            files_);
        failed = failed || observer.deleteFailed;
        if (!out_.flush()) {
            outputLost = true;
        }
        return outcome;
    }

    void Incomplete(const std::string &path) override
    {
        err_ << texts::StillIncomplete(path) << std::endl;
    }
    void Watching(const std::string &folder) override
    {
        err_ << texts::WatchingFolder(folder) << std::endl;
    }
    void FolderMissing(const std::string &folder) override
    {
        err_ << texts::FolderMissing(folder) << std::endl;
    }
    bool StopRequested() const override { return StopAsked(); }

    bool failed = false;
    bool outputLost = false;

private:
    ParsedCommand &command_;
    std::ostream &out_;
    std::ostream &err_;
    FileSystem &files_;
};

int Watch(ParsedCommand &command, std::ostream &out, std::ostream &err, FileSystem &files)
{
    std::vector<std::string> folders;
    for (const std::string &folder : command.files) {
        std::error_code error;
        const std::filesystem::path path = imaging::PathFromUtf8(folder);
        if (folder.empty() || !std::filesystem::is_directory(path, error)) {
            err << "kvsc: " << texts::NotAFolder(folder) << '\n';
            return 1;
        }
        folders.push_back(imaging::Utf8FromPath(std::filesystem::absolute(path)));
    }
    CatchStopRequests();
    const std::unique_ptr<FolderNotifier> notifier = SystemFolderNotifier();
    CommandLineWatch handler(command, out, err, files);
    FolderWatch(folders, *notifier, handler).Run(command.catchUp);
    if (handler.outputLost) {
        err << "kvsc: " << texts::kOutputNotWritten << '\n';
    }
    return handler.failed || handler.outputLost ? 1 : 0;
}

} // namespace

bool IsCommandLineRequest(const std::vector<std::string> &args)
{
    if (args.empty()) {
        return false;
    }
    if (args[0] == "convert" || args[0] == "settings" || args[0] == "watch") {
        return true;
    }
    const Option *option = FindOption(args[0]);
    return option && (option->effect == ShowHelp || option->effect == ShowVersion);
}

int RunCommandLine(const std::vector<std::string> &args, const ConversionSettingTexts &defaults,
                   std::ostream &out, std::ostream &err, FileSystem &files)
{
    ParsedCommand command;
    command.settings = defaults;
    if (const std::optional<std::string> problem = Parse(args, command)) {
        err << "kvsc: " << *problem << "\nTry 'kvsc --help'.\n";
        return 2;
    }
    if (command.help) {
        out << Usage();
        return 0;
    }
    if (command.version) {
        out << kVersion << '\n';
        return 0;
    }
    if (!command.watch && (command.catchUp || command.gameFolder)) {
        err << "kvsc: " << (command.catchUp ? "--catch-up" : "--game-folder")
            << " is for watch\nTry 'kvsc --help'.\n";
        return 2;
    }
    if (command.watch && command.gameFolder) {
        const std::string folder = GameScreenshotFolder();
        if (folder.empty()) {
            err << "kvsc: " << texts::kGameFolderNotFound << '\n';
            return 1;
        }
        command.files.push_back(folder);
    }
    if (command.files.empty()) {
        err << "kvsc: " << (command.watch ? "no folder given" : "no screenshot given") << '\n';
        if (const std::string folder = command.watch ? GameScreenshotFolder() : std::string();
            !folder.empty()) {
            err << "The game's screenshots are in " << folder << " (--game-folder)\n";
        }
        err << "Try 'kvsc --help'.\n";
        return 2;
    }
    const ConversionSettingTexts &settings = command.settings;
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
    } else if (!UsableSize(settings.sizePercent)) {
        refused = texts::StoredSizeRefused(settings.sizePercent);
    } else if (const std::optional<std::string> problem = SaveNameProblem(settings.saveName)) {
        refused = *problem;
    }
    if (refused) {
        err << "kvsc: " << *refused << '\n';
        return 1;
    }
    if (command.watch) {
        return Watch(command, out, err, files);
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
        ConversionRun run(rows, ReadConversionSettings(command.settings), observer, command.jobs,
                          files);
        run.Run();
        if (observer.deleteFailed) {
            status = 1;
        }
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
                   const std::function<ConversionSettingTexts()> &readStoredSettings,
                   std::ostream &out, std::ostream &err)
{
    ParsedCommand probe;
    const bool standsAlone =
        Parse(args, probe) || probe.help || probe.version || probe.GivesEveryStoredSetting();
    return RunCommandLine(args, standsAlone ? ConversionSettingTexts{} : readStoredSettings(), out,
                          err);
}

int RunSettingsCommand(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    std::string error;
    const std::unique_ptr<PlainSettingsStore> store = PlainSettingsStore::Open(error);
    if (!store) {
        err << "kvsc: " << error << '\n';
        return 1;
    }
    return RunSettingsCommand(args, *store, out, err);
}

int RunSettingsCommand(const std::vector<std::string> &args, PlainSettingsStore &store,
                       std::ostream &out, std::ostream &err)
{
    ParsedCommand command;
    std::optional<std::string> problem = Parse(args, command);
    if (!problem && !command.files.empty()) {
        problem = "settings takes no files";
    } else if (!problem && !command.unstorable.empty()) {
        problem = command.unstorable + " is no stored setting";
    } else if (!problem && command.given.test(std::size_t(StoredSetting::kSizePercent)) &&
               !StorableSize(command.settings.sizePercent)) {
        problem = "invalid size \"" + command.settings.sizePercent + "\" (use 1 to 999)";
    }
    if (problem) {
        err << "kvsc: " << *problem << "\nTry 'kvsc --help'.\n";
        return 2;
    }
    if (command.help || command.version) {
        out << (command.help ? Usage() : std::string(kVersion) + '\n');
        return 0;
    }
    try {
        // Values alone would leave the window's other controls empty at its next start.
        if (command.given.any() && !store.KeyExists()) {
            WriteDefaultSettings(store);
        }
        for (const StoredValue &value : kStoredValues) {
            if (command.given.test(std::size_t(value.setting))) {
                store.Write(value.name, value.text(command.settings));
            }
        }
    } catch (const SettingsError &e) {
        err << "kvsc: " << e.what() << '\n';
        return 1;
    }
    out << "Settings in " << store.Location() << '\n';
    if (!store.KeyExists()) {
        out << "(nothing stored yet: the defaults apply)\n";
    } else {
        for (const StoredValue &value : kStoredValues) {
            const std::string text = store.Read(value.name);
            // Trash is no part of the default set: off, and not listed, until it is stored.
            if (value.setting != StoredSetting::kTrash || !text.empty()) {
                out << value.name << '=' << text << '\n';
            }
        }
    }
    return out.flush() ? 0 : 1;
}

} // namespace kv::converter
