#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::converter {

// An open file as the system names it: a descriptor, or a HANDLE on Windows.
#ifdef _WIN32
using SystemFile = void *;
#else
using SystemFile = int;
#endif

// The system calls of the file layer whose failures decide what becomes of a JPEG and of its
// original. The layer is handed one, so that tests can put in a file system that fails as a full
// or broken disk does, or that lacks a call as FAT does. Every call but MoveToTrash returns 0 or
// the C library's error number (errno). Paths are UTF-8 text.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Writes all size bytes of data to file, at its current position.
    virtual int Write(SystemFile file, const std::uint8_t *data, std::size_t size) = 0;
    // Pushes what was written to file onto the disk.
    virtual int FlushFile(SystemFile file) = 0;
    // Pushes folder's entries onto the disk ("" is the current folder). 0 where the file system
    // cannot flush a folder: it has nothing to lose by it.
    virtual int FlushFolder(const std::string &folder) = 0;
    // Gives the file at existing the name path too; EEXIST when that name is taken. A file system
    // without hard links answers EPERM, EOPNOTSUPP or ENOSYS (the base: no such call).
    virtual int Link(const std::string & /*existing*/, const std::string & /*path*/)
    {
        return ENOSYS;
    }
    // Moves from to to in one step; EEXIST when to is taken, which stays as it was. EINVAL,
    // ENOSYS, EOPNOTSUPP or ENOTSUP where there is no such rename (the base: none).
    virtual int RenameWithoutReplacing(const std::string & /*from*/, const std::string & /*to*/)
    {
        return ENOSYS;
    }
    // Deletes the file at path.
    virtual int Remove(const std::string &path) = 0;
    // Gives the written file the modification time modified, in FileIdentity's units.
    virtual int SetModifiedTime(SystemFile file, std::int64_t modified) = 0;
    // Moves the file at path into the desktop's trash, from where the user can restore it.
    // Returns the empty text, or why no trash took it (the file then stays where it is).
    virtual std::string MoveToTrash(const std::string &path) = 0;
};

// The system's own calls, which the file layer uses unless it is handed others.
FileSystem &SystemFileSystem();

} // namespace kv::converter
