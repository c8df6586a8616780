#include "HelperPrivilegedRun.h"

#include <fstream>
#include <iterator>
#include <utility>

#include <QMetaObject>
#include <QProcess>
#include <QStringList>

#include "FilePath.h"

namespace kv::installer {

namespace {

constexpr const char *kMessageFile = "message.txt";

} // namespace

HelperPrivilegedRun::HelperPrivilegedRun() = default;

HelperPrivilegedRun::~HelperPrivilegedRun()
{
    // Its report to this object, if still queued, goes with it.
    if (waiter_.joinable()) {
        waiter_.join();
    }
}

void HelperPrivilegedRun::start(const std::string &tool, const std::vector<std::string> &arguments,
                                const RunAs &as, Started started, Finished finished)
{
    if (waiter_.joinable()) {
        waiter_.join();
    }
    finished_ = std::move(finished);
    message_.clear();
    messageFolder_ = std::make_unique<QTemporaryDir>();
    std::vector<std::string> withMessage = arguments;
    withMessage.push_back(
        messageFolder_->filePath(QString::fromLatin1(kMessageFile)).toStdString());
    HelperProcess helper = StartHelper(tool, withMessage, as.administrator);
    const StartOutcome outcome = helper.outcome;
    QMetaObject::invokeMethod(
        this, [started = std::move(started), outcome] { started(outcome); }, Qt::QueuedConnection);
    if (outcome != StartOutcome::Started) {
        return;
    }
    // Queued after the start's report, to the same receiver, so it comes second.
    waiter_ = std::thread([this, helper]() mutable {
        const std::optional<unsigned long> status = WaitForHelper(helper);
        QMetaObject::invokeMethod(
            this, [this, status] { ended(status); }, Qt::QueuedConnection);
    });
}

void HelperPrivilegedRun::ended(std::optional<unsigned long> status)
{
    std::ifstream in(imaging::PathFromUtf8(
                         messageFolder_->filePath(QString::fromLatin1(kMessageFile)).toStdString()),
                     std::ios::binary);
    message_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (const Finished finished = std::exchange(finished_, nullptr)) {
        finished(status == 0u);
    }
}

std::string HelperPrivilegedRun::firstErrorLine() const
{
    return message_.substr(0, message_.find_first_of("\r\n"));
}

void HelperPrivilegedRun::runAsUser(const std::string &tool,
                                    const std::vector<std::string> &arguments, Output output)
{
    auto *process = new QProcess(this);
    QStringList argv;
    for (const std::string &argument : arguments) {
        argv.append(QString::fromStdString(argument));
    }
    connect(
        process, &QProcess::finished, this, [process, output](int, QProcess::ExitStatus status) {
            output(status == QProcess::NormalExit
                       ? std::optional<std::string>(process->readAllStandardOutput().toStdString())
                       : std::nullopt);
            process->deleteLater();
        });
    connect(process, &QProcess::errorOccurred, this,
            [process, output](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) {
                    output(std::nullopt);
                    process->deleteLater();
                }
            });
    process->start(QString::fromStdString(tool), argv);
}

} // namespace kv::installer
