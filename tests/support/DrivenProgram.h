#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kv::test {

// How a real program run ended: whether it ended by itself within the limit (else it was
// killed), its exit status, and its error output (its log lines and the driver's steps).
struct ProgramEnd
{
    bool ended = false;
    int exitCode = -1;
    std::string errorOutput;
};

// Starts program offscreen, its windows driven by script (see tests/support/driver), with
// environment added to ours, in workingDirectory. The script is written to scriptFile.
// runThrough, when given, is the command that runs the program (as another user, with another
// umask), the program its last argument.
inline std::unique_ptr<QProcess>
StartDriven(const std::string &program, const std::vector<std::string> &script,
            const std::filesystem::path &scriptFile,
            const std::vector<std::pair<std::string, std::string>> &environment,
            const std::filesystem::path &workingDirectory,
            const std::vector<std::string> &runThrough = {})
{
    {
        std::ofstream out(scriptFile, std::ios::binary);
        for (const std::string &step : script) {
            out << step << '\n';
        }
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Made absolute here: under Wine a path from the build without a drive letter would name the
    // program's own drive, which need not be ours.
    env.insert(QStringLiteral("QT_PLUGIN_PATH"),
               QString::fromStdString(std::filesystem::absolute(KV_DRIVER_PLUGIN_DIR).string()));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"),
               QStringLiteral("kvdriver:") + QString::fromStdString(scriptFile.string()));
    for (const auto &[name, value] : environment) {
        env.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(QString::fromStdString(workingDirectory.string()));
    process->setProcessChannelMode(QProcess::SeparateChannels);
    QStringList command;
    for (const std::string &part : runThrough) {
        command.append(QString::fromStdString(part));
    }
    command.append(QString::fromStdString(program));
    process->start(command.takeFirst(), command);
    return process;
}

// Waits up to limitMs for a started program to end by itself, else kills it.
inline ProgramEnd WaitForEnd(QProcess &process, int limitMs = 60000)
{
    ProgramEnd end;
    end.ended = process.waitForFinished(limitMs);
    if (!end.ended) {
        process.kill();
        process.waitForFinished(-1);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        end.exitCode = process.exitCode();
    }
    end.errorOutput = process.readAllStandardError().toStdString();
    return end;
}

// Starts program as StartDriven does and waits up to limitMs for it to end by itself.
inline ProgramEnd RunDriven(const std::string &program, const std::vector<std::string> &script,
                            const std::filesystem::path &scriptFile,
                            const std::vector<std::pair<std::string, std::string>> &environment,
                            const std::filesystem::path &workingDirectory, int limitMs = 60000,
                            const std::vector<std::string> &runThrough = {})
{
    const std::unique_ptr<QProcess> process =
        StartDriven(program, script, scriptFile, environment, workingDirectory, runThrough);
    return WaitForEnd(*process, limitMs);
}

} // namespace kv::test
