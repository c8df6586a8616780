// Change notification on POSIX systems: inotify on Linux.
#include "FolderNotifier.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <map>
#include <thread>

#include <poll.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace kv::converter {

namespace {

volatile std::sig_atomic_t stopAsked = 0;

void AskToStop(int)
{
    stopAsked = 1;
}

#ifdef __linux__
class InotifyNotifier final : public FolderNotifier
{
public:
    InotifyNotifier() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~InotifyNotifier() override
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    void Refresh(const std::vector<std::string> &folders) override
    {
        for (const std::string &folder : folders) {
            if (fd_ < 0 || watched_.count(folder) != 0) {
                continue;
            }
            // A screenshot that appears, is finished or is renamed into the folder; the folder
            // itself going away ends its watch (IN_IGNORED follows).
            const int wd = ::inotify_add_watch(fd_, folder.c_str(),
                                               IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO |
                                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
            if (wd >= 0) {
                watched_[folder] = wd;
            }
        }
    }

    bool Wait(std::chrono::milliseconds timeout) override
    {
        if (fd_ < 0) {
            std::this_thread::sleep_for(timeout);
            return false;
        }
        pollfd events{fd_, POLLIN, 0};
        // A signal ends the wait with EINTR.
        if (::poll(&events, 1, int(timeout.count())) <= 0) {
            return false;
        }
        alignas(inotify_event) char buffer[16384];
        bool changed = false;
        for (;;) {
            const ssize_t length = ::read(fd_, buffer, sizeof buffer);
            if (length <= 0) {
                break;
            }
            for (ssize_t at = 0; at < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                changed = true;
                if (event->mask & (IN_IGNORED | IN_MOVE_SELF)) {
                    Forget(event->wd);
                }
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return changed;
    }

private:
    // The folder of wd is no longer watched (it was deleted or moved away): Refresh watches
    // the folder of that name again once there is one.
    void Forget(int wd)
    {
        for (auto it = watched_.begin(); it != watched_.end(); ++it) {
            if (it->second == wd) {
                ::inotify_rm_watch(fd_, wd);
                watched_.erase(it);
                return;
            }
        }
    }

    int fd_;
    std::map<std::string, int> watched_;
};
#endif

class WaitingNotifier final : public FolderNotifier
{
public:
    void Refresh(const std::vector<std::string> &) override {}
    bool Wait(std::chrono::milliseconds timeout) override
    {
        std::this_thread::sleep_for(timeout);
        return false;
    }
};

} // namespace

std::unique_ptr<FolderNotifier> SystemFolderNotifier()
{
#ifdef __linux__
    return std::make_unique<InotifyNotifier>();
#else
    return std::make_unique<WaitingNotifier>();
#endif
}

void CatchStopRequests()
{
    struct sigaction action = {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    // Other calls go on after the signal; only the watch's wait ends early. The second signal
    // finds the default action back.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool StopAsked()
{
    return stopAsked != 0;
}

} // namespace kv::converter
