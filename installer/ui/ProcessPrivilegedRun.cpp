#include "ProcessPrivilegedRun.h"

#include <cstdio>
#include <utility>

#include <QStringList>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::installer {

namespace {

QStringList Arguments(const std::vector<std::string> &arguments)
{
    QStringList argv;
    for (const std::string &argument : arguments) {
        argv.append(QString::fromStdString(argument));
    }
    return argv;
}

} // namespace

ProcessPrivilegedRun::ProcessPrivilegedRun() = default;

ProcessPrivilegedRun::ProcessPrivilegedRun(QString elevator) : elevator_(std::move(elevator)) {}

ProcessPrivilegedRun::~ProcessPrivilegedRun()
{
    // QProcess would kill a running child. Its end is no longer reported to anyone; its input
    // is closed so that nothing waits for it.
    if (process_) {
        process_->disconnect(this);
        process_->closeWriteChannel();
        process_->waitForFinished(-1);
    }
}

void ProcessPrivilegedRun::start(const std::string &tool, const std::vector<std::string> &arguments,
                                 const RunAs &as, Started started, Finished finished)
{
    started_ = std::move(started);
    finished_ = std::move(finished);
    startReported_ = false;
    errorOutput_.clear();
    process_ = std::make_unique<QProcess>();
    elevated_ = as.administrator && !elevator_.isEmpty();
    const std::optional<std::pair<unsigned, unsigned>> owner = as.owner;
    // Runs in the child between fork and exec: only calls safe there. The user's umask (077,
    // say) would keep the player who runs the game from reading what root installs; pkexec
    // passes the umask on. Root becomes the owner (group first, while it still may).
    process_->setChildProcessModifier([owner] {
        ::umask(022);
        if (owner) {
            const gid_t group = owner->second;
            if (::setgroups(1, &group) != 0 || ::setgid(group) != 0 ||
                ::setuid(owner->first) != 0) {
                ::_exit(kOwnerNotBecome);
            }
        }
    });

    QStringList argv = Arguments(arguments);
    if (!elevated_) {
        process_->setProgram(QString::fromStdString(tool));
        process_->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        connect(process_.get(), &QProcess::started, this,
                [this] { reportStart(StartOutcome::Started); });
    } else {
        process_->setProgram(elevator_);
        argv.prepend(QString::fromStdString(tool));
        // The elevator prints nothing on standard output itself, so the tool's first line there
        // (tar's verbose listing) shows it runs; the output is passed on.
        process_->setProcessChannelMode(QProcess::SeparateChannels);
        connect(process_.get(), &QProcess::readyReadStandardOutput, this, [this] {
            const QByteArray output = process_->readAllStandardOutput();
            std::fwrite(output.constData(), 1, std::size_t(output.size()), stdout);
            reportStart(StartOutcome::Started);
        });
    }
    process_->setArguments(argv);
    connect(process_.get(), &QProcess::readyReadStandardError, this,
            &ProcessPrivilegedRun::passErrorOutputOn);
    // Queued, so that a start that fails at once is reported after start() has returned.
    connect(
        process_.get(), &QProcess::errorOccurred, this,
        [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                reportStart(elevated_ ? StartOutcome::NoElevator : StartOutcome::FailedToStart);
            }
        },
        Qt::QueuedConnection);
    connect(process_.get(), &QProcess::finished, this, &ProcessPrivilegedRun::ended);
    process_->start();
}

void ProcessPrivilegedRun::runAsUser(const std::string &tool,
                                     const std::vector<std::string> &arguments, Output output)
{
    // A child of this run, so it ends with it; killing it changes nothing, unlike the tool run
    // with rights.
    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Exactly one of the two below runs: a process that fails to start never finishes.
    const auto report = [process, output = std::move(output)](std::optional<std::string> text) {
        process->deleteLater();
        if (output) {
            output(std::move(text));
        }
    };
    connect(process, &QProcess::finished, this,
            [process, report](int, QProcess::ExitStatus status) {
                if (status != QProcess::NormalExit) {
                    report(std::nullopt);
                    return;
                }
                report(process->readAllStandardOutput().toStdString());
            });
    // Queued, so that a start that fails at once is reported after runAsUser() has returned.
    connect(
        process, &QProcess::errorOccurred, this,
        [report](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                report(std::nullopt);
            }
        },
        Qt::QueuedConnection);
    process->start(QString::fromStdString(tool), Arguments(arguments));
}

void ProcessPrivilegedRun::reportStart(StartOutcome outcome)
{
    if (startReported_) {
        return;
    }
    startReported_ = true;
    if (started_) {
        started_(outcome);
    }
}

std::string ProcessPrivilegedRun::firstErrorLine() const
{
    // gzip, run by tar, starts its message with an empty line.
    for (const QByteArray &line : errorOutput_.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            return line.trimmed().toStdString();
        }
    }
    return {};
}

void ProcessPrivilegedRun::passErrorOutputOn()
{
    const QByteArray output = process_->readAllStandardError();
    std::fwrite(output.constData(), 1, std::size_t(output.size()), stderr);
    // Enough for the first message; the rest is only passed on.
    if (errorOutput_.size() < kKeptErrorOutput) {
        errorOutput_ += output.left(kKeptErrorOutput - errorOutput_.size());
    }
}

void ProcessPrivilegedRun::ended(int exitCode, QProcess::ExitStatus exitStatus)
{
    passErrorOutputOn();
    const bool normal = exitStatus == QProcess::NormalExit;
    if (!startReported_ && elevated_ && normal) {
        if (exitCode == kDismissedStatus) {
            reportStart(StartOutcome::Dismissed);
            return;
        }
        if (exitCode == kRefusedStatus) {
            reportStart(StartOutcome::Refused);
            return;
        }
    }
    // A tool that wrote nothing before ending still ran.
    reportStart(StartOutcome::Started);
    if (finished_) {
        finished_(normal && exitCode == 0);
    }
}

} // namespace kv::installer
