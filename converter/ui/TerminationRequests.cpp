#include "TerminationRequests.h"

#include <csignal>

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kv::converter {

namespace {

// [0] is read on the Qt side, [1] written by the handler.
int requestPipe[2] = {-1, -1};

void WriteRequest(int)
{
    const char byte = 1;
    // Nothing else is safe in a handler; a full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = ::write(requestPipe[1], &byte, 1);
}

} // namespace

TerminationRequests::TerminationRequests(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, requestPipe) != 0) {
        return; // the signals keep their default: they end the program at once
    }
    ::fcntl(requestPipe[1], F_SETFL, O_NONBLOCK);
    notifier_ = new QSocketNotifier(requestPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationRequests::readRequest);
    struct sigaction action = {};
    action.sa_handler = WriteRequest;
    sigemptyset(&action.sa_mask);
    // The second signal finds the default action back.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TerminationRequests::~TerminationRequests()
{
    if (notifier_ == nullptr) {
        return;
    }
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    ::close(requestPipe[0]);
    ::close(requestPipe[1]);
    requestPipe[0] = requestPipe[1] = -1;
}

void TerminationRequests::readRequest()
{
    char byte = 0;
    if (::read(requestPipe[0], &byte, 1) == 1) {
        emit requested();
    }
}

} // namespace kv::converter
