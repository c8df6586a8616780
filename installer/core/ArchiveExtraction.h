#pragma once

#include <string>

// Unpacking KVRinstall.tgz with libarchive, where no tar can be counted on (Windows). It keeps the
// rules the Linux install gets from tar and its listing: nothing outside the game folder, no
// device nodes, FIFOs or links, and no file half-written under its name.
namespace kv::installer {

enum class ExtractionResult
{
    Extracted,
    // Not a readable gzip-compressed tar archive (missing, damaged, cut short): nothing written.
    Unreadable,
    // A device node, FIFO or socket: nothing written.
    HoldsDevices,
    // A link, or a name leading outside the game folder: nothing written.
    MemberRefused,
    // A file or folder could not be written; the files written before it stay, whole.
    WriteFailed,
};

struct ExtractionOutcome
{
    ExtractionResult result = ExtractionResult::Extracted;
    // What the user is shown beneath "Installation Failed!"; empty when extracted.
    std::string message;
};

// Reads the whole archive (every header and all data, so that a damaged or cut archive is known)
// and checks each member by the rules of ExtractArchive; writes nothing. Extracted when it would
// be unpacked.
ExtractionOutcome CheckArchive(const std::string &archive);

// Reads the whole archive once to check every member (CheckArchive), and only then unpacks it into
// gameLocation (a folder, with or without a trailing separator; UTF-8). Each file is written under
// a temporary name beside its own and renamed over its name once whole, so an existing file is
// replaced only by a complete one. A hard link becomes a copy of the member it names. Never throws
// for archive or file faults; out of memory stays std::bad_alloc.
ExtractionOutcome ExtractArchive(const std::string &archive, const std::string &gameLocation);

// Whether name, as a tar member names it, stays inside the folder it is unpacked into: relative,
// no ".." among its parts ("/" and "\" both separate them, as Windows reads both), no drive
// letter or other ":" (which would name a Windows stream), no part Windows takes for a device
// (CON, nul.txt, COM1, ...), and not empty.
bool MemberNameStaysInside(const std::string &name);

} // namespace kv::installer
