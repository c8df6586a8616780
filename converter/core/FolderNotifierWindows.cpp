// Change notification on Windows: one change handle per folder.
#include "FolderNotifier.h"

#include <atomic>
#include <map>
#include <thread>

#include <windows.h>

#include "FilePath.h"

namespace kv::converter {

namespace {

std::atomic<int> stopRequests{0};

BOOL WINAPI AskToStop(DWORD)
{
    // The second request takes the default way: the process ends.
    return stopRequests.fetch_add(1) == 0 ? TRUE : FALSE;
}

class ChangeHandleNotifier final : public FolderNotifier
{
public:
    ~ChangeHandleNotifier() override
    {
        for (const auto &[folder, handle] : watched_) {
            FindCloseChangeNotification(handle);
        }
    }

    void Refresh(const std::vector<std::string> &folders) override
    {
        for (const std::string &folder : folders) {
            const std::wstring path = imaging::PathFromUtf8(folder).wstring();
            const DWORD attributes = GetFileAttributesW(path.c_str());
            const bool there = attributes != INVALID_FILE_ATTRIBUTES &&
                               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const auto it = watched_.find(folder);
            if (it != watched_.end() && !there) {
                // Gone: the handle keeps watching nothing. A new one once it is back.
                FindCloseChangeNotification(it->second);
                watched_.erase(it);
            } else if (it == watched_.end() && there) {
                const HANDLE handle = FindFirstChangeNotificationW(
                    path.c_str(), FALSE,
                    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                        FILE_NOTIFY_CHANGE_LAST_WRITE);
                if (handle != INVALID_HANDLE_VALUE) {
                    watched_[folder] = handle;
                }
            }
        }
    }

    bool Wait(std::chrono::milliseconds timeout) override
    {
        std::vector<HANDLE> handles;
        for (const auto &[folder, handle] : watched_) {
            handles.push_back(handle);
        }
        if (handles.empty() || handles.size() > MAXIMUM_WAIT_OBJECTS) {
            std::this_thread::sleep_for(timeout);
            return false;
        }
        const DWORD result = WaitForMultipleObjects(DWORD(handles.size()), handles.data(), FALSE,
                                                    DWORD(timeout.count()));
        if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
            FindNextChangeNotification(handles[result - WAIT_OBJECT_0]);
            return true;
        }
        return false;
    }

private:
    std::map<std::string, HANDLE> watched_;
};

} // namespace

std::unique_ptr<FolderNotifier> SystemFolderNotifier()
{
    return std::make_unique<ChangeHandleNotifier>();
}

void CatchStopRequests()
{
    SetConsoleCtrlHandler(AskToStop, TRUE);
}

bool StopAsked()
{
    return stopRequests.load() != 0;
}

} // namespace kv::converter
