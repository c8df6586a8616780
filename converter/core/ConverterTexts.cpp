#include "ConverterTexts.h"

namespace kv::converter::texts {

std::string ResolutionNotSupported(int rowNumber)
{
    return "Screenshot " + std::to_string(rowNumber) + ": " + kNotSupported;
}

std::string NotAValidInteger(const std::string &text)
{
    return "'" + text + "' is not a valid integer value";
}

std::string NothingToSave(int rowNumber, const std::string &sizeText)
{
    return "Screenshot " + std::to_string(rowNumber) + ": A size of " + sizeText +
           "% leaves no pixels; nothing was saved";
}

std::string PreviewOutputSize(std::int64_t width, std::int64_t height)
{
    return "Output: " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string PreviewNotSupported(const std::string &resolution)
{
    return resolution + ": not supported";
}

std::string PreviewNoTeamSize(const std::string &teamSize)
{
    return "Team size '" + teamSize +
           "' is none of \" 1 on 1\" to \"10 on 10\": nothing is converted";
}

std::string PreviewNothingToSave(const std::string &sizeText)
{
    return "A size of " + sizeText + "% leaves no pixels; nothing is saved";
}

std::string InScreenshot(int rowNumber, const std::string &caption, const std::string &text)
{
    return "Screenshot " + std::to_string(rowNumber) + " (" + caption + "): " + text;
}

std::string SizeChanged(const std::string &now, const std::string &listed)
{
    return "Its size is now " + now + ", not the listed " + listed + "; it was not converted";
}

std::string CannotDelete(const std::string &reason)
{
    return "The original could not be deleted. " + reason;
}

std::string NotAFolder(const std::string &folder)
{
    return "Cannot watch \"" + folder + "\". Not a folder";
}

std::string WatchingFolder(const std::string &folder)
{
    return "Watching " + folder;
}

std::string FolderMissing(const std::string &folder)
{
    return "The folder " + folder + " is not there; it is watched again once it is back";
}

std::string StillIncomplete(const std::string &path)
{
    return path + ": still cut short after waiting; it was not converted and was kept";
}

std::string CannotMoveToTrash(const std::string &why)
{
    return "The original could not be moved to the Trash (" + why + "); it was kept";
}

namespace {

const char *const kTeamSizes = "none of \" 1 on 1\" to \"10 on 10\"";
std::string Editions()
{
    return "neither \"" + std::string(kVeskar) + "\" nor \"" + kRavelock + "\"";
}

} // namespace

std::string NothingConvertedTeamSize(const std::string &teamSize)
{
    return "Nothing was converted: the team size \"" + teamSize + "\" is " + kTeamSizes;
}

std::string NothingConvertedEdition(const std::string &edition)
{
    return "Nothing was converted: the game \"" + edition + "\" is " + Editions();
}

std::string StoredTeamSizeUnknown(const std::string &teamSize)
{
    return "the stored team size \"" + teamSize + "\" is " + kTeamSizes + "; give one with --team";
}

std::string StoredEditionUnknown(const std::string &edition)
{
    return "the stored game \"" + edition + "\" is " + Editions() + "; give one with --game";
}

std::string SettingsFileNotAFile(const std::string &location)
{
    return "The settings file \"" + location +
           "\" is not a file (a folder, a FIFO or a device); no settings can be read or stored "
           "there";
}

std::string SaveNameRefused(const std::string &what)
{
    return "The save name cannot hold " + what + ": it names the files, not their folder";
}

std::string SizeRefused(const std::string &size)
{
    return "invalid size \"" + size + "\" (use a whole number of percent, 1 or more)";
}

std::string StoredSizeRefused(const std::string &size)
{
    return "the stored size \"" + size +
           "\" is no whole number of percent, 1 or more; give one with --size";
}

std::string SettingsMovedAside(const std::string &aside)
{
    return std::string(kSettingsDamaged) + " The file was kept as \"" + aside + "\".";
}

std::string SettingsFileUnreadable(const std::string &location, const std::string &reason)
{
    return "The settings file \"" + location + "\" cannot be read (" + reason +
           "); it is left as it is, and no settings can be read or stored there";
}

std::string CannotWriteSetting(const std::string &name, const std::string &location)
{
    return "Cannot write the setting \"" + name + "\" to " + location;
}

std::string SettingsNotPlain(const std::string &location)
{
    return "the stored settings in \"" + location +
           "\" hold more than the command line can change (edited by hand, or damaged); change "
           "them in the KVSC window";
}

std::string SettingNotPlain(const std::string &name)
{
    return "the setting \"" + name + "\" cannot hold control characters";
}

} // namespace kv::converter::texts
