#pragma once

#include <QObject>

class QSocketNotifier;

namespace kv::converter {

// SIGTERM and SIGINT (POSIX) as a Qt signal on the thread that made this object, so that the
// program ends through its own close path: a watch or a run finishes the screenshot in hand. The
// handler only writes a byte to a pipe; a second signal ends the program at once. One at a time.
class TerminationRequests : public QObject
{
    Q_OBJECT

public:
    explicit TerminationRequests(QObject *parent = nullptr);
    ~TerminationRequests() override;

signals:
    void requested();

private:
    void readRequest();

    QSocketNotifier *notifier_ = nullptr;
};

} // namespace kv::converter
