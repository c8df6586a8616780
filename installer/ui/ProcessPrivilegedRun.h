#pragma once

#include <memory>

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>

#include "PrivilegedRun.h"

namespace kv::installer {

// Runs the tool as a child process, never through a shell: either the tool itself (when the
// program already runs as administrator, and in tests as the current user), or through an
// elevator such as pkexec, which asks for the password and then runs "tool arguments...".
class ProcessPrivilegedRun final : public QObject, public PrivilegedRun
{
    Q_OBJECT

public:
    // Runs the tool directly.
    ProcessPrivilegedRun();
    // Runs the tool through elevator; its exit status 126 means the password dialog was
    // dismissed, 127 that the rights were refused.
    explicit ProcessPrivilegedRun(QString elevator);
    // Waits for a tool still running: an extraction cut short leaves a half-installed game.
    ~ProcessPrivilegedRun() override;

    // One run at a time: a second start while the first runs replaces (and kills) it.
    // The elevator runs the tool only when as asks for an administrator.
    void start(const std::string &tool, const std::vector<std::string> &arguments, const RunAs &as,
               Started started, Finished finished) override;
    std::string firstErrorLine() const override;
    // Runs as many tools side by side as asked; one still running when the run ends is killed.
    void runAsUser(const std::string &tool, const std::vector<std::string> &arguments,
                   Output output) override;

    static constexpr int kDismissedStatus = 126;
    static constexpr int kRefusedStatus = 127;
    // The child could not become the owner it was to run as.
    static constexpr int kOwnerNotBecome = 125;

private:
    void reportStart(StartOutcome outcome);
    void ended(int exitCode, QProcess::ExitStatus exitStatus);
    void passErrorOutputOn();

    QString elevator_;
    bool elevated_ = false; // the current run goes through the elevator
    std::unique_ptr<QProcess> process_;
    Started started_;
    Finished finished_;
    bool startReported_ = false;
    static constexpr qsizetype kKeptErrorOutput = 4096;
    QByteArray errorOutput_; // the start of the tool's error output
};

} // namespace kv::installer
