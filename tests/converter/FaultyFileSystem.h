#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "FileSystem.h"

namespace kv::test {

// The system's own file calls, with the faults a test arms: each Fail... fault hits the next call
// of its kind once, then the calls work again. The files are real; only the failure is made up.
class FaultyFileSystem : public converter::FileSystem
{
public:
    // The next Write stores half of its bytes and then fails with error (ENOSPC, EIO), as a disk
    // that fills up or breaks mid-file does.
    void FailNextWrite(int error) { writeError_ = error; }
    // The next FlushFolder fails with error: the file is whole, its folder entry may be lost.
    void FailNextFolderFlush(int error) { folderFlushError_ = error; }
    // The next Remove fails with error (EACCES) and deletes nothing.
    void FailNextRemove(int error) { removeError_ = error; }
    // The next MoveToTrash fails with why and moves nothing, as where no trash takes the file.
    void FailNextTrash(std::string why) { trashError_ = std::move(why); }
    // From now on a file system without hard links (FAT, exFAT, some network shares) and, with
    // alsoWithoutExclusiveRename, without a rename that refuses to replace a file either.
    void DropHardLinks(bool alsoWithoutExclusiveRename = false)
    {
        withoutLinks_ = true;
        withoutExclusiveRename_ = alsoWithoutExclusiveRename;
    }

    int Write(converter::SystemFile file, const std::uint8_t *data, std::size_t size) override
    {
        if (const int error = std::exchange(writeError_, 0)) {
            system_.Write(file, data, size / 2);
            return error;
        }
        return system_.Write(file, data, size);
    }
    int FlushFile(converter::SystemFile file) override { return system_.FlushFile(file); }
    int FlushFolder(const std::string &folder) override
    {
        if (const int error = std::exchange(folderFlushError_, 0)) {
            return error;
        }
        return system_.FlushFolder(folder);
    }
    // What link() says on FAT.
    int Link(const std::string &existing, const std::string &path) override
    {
        return withoutLinks_ ? EPERM : system_.Link(existing, path);
    }
    // What renameat2() says where the kernel or the file system lacks RENAME_NOREPLACE.
    int RenameWithoutReplacing(const std::string &from, const std::string &to) override
    {
        return withoutExclusiveRename_ ? EINVAL : system_.RenameWithoutReplacing(from, to);
    }
    int Remove(const std::string &path) override
    {
        if (const int error = std::exchange(removeError_, 0)) {
            return error;
        }
        return system_.Remove(path);
    }
    int SetModifiedTime(converter::SystemFile file, std::int64_t modified) override
    {
        return system_.SetModifiedTime(file, modified);
    }
    std::string MoveToTrash(const std::string &path) override
    {
        if (std::string why = std::exchange(trashError_, std::string()); !why.empty()) {
            return why;
        }
        return system_.MoveToTrash(path);
    }

private:
    converter::FileSystem &system_ = converter::SystemFileSystem();
    // The run makes its file calls on the calling thread only, where tests arm the faults too.
    int writeError_ = 0;
    int folderFlushError_ = 0;
    int removeError_ = 0;
    std::string trashError_;
    bool withoutLinks_ = false;
    bool withoutExclusiveRename_ = false;
};

} // namespace kv::test
