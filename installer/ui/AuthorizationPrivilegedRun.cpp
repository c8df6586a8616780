#include "AuthorizationPrivilegedRun.h"

#ifdef __APPLE__

#include <cstdio>
#include <thread>
#include <utility>

#include <Security/Authorization.h>
#include <Security/AuthorizationTags.h>
#include <sys/wait.h>

#include <QMetaObject>
#include <QPointer>

namespace kv::installer {

namespace {

StartOutcome OutcomeOf(OSStatus status)
{
    switch (status) {
    case errAuthorizationSuccess:
        return StartOutcome::Started;
    case errAuthorizationCanceled:
        return StartOutcome::Dismissed;
    case errAuthorizationDenied:
    case errAuthorizationInteractionNotAllowed:
        return StartOutcome::Refused;
    default:
        return StartOutcome::FailedToStart;
    }
}

} // namespace

void AuthorizationPrivilegedRun::start(const std::string &tool,
                                       const std::vector<std::string> &arguments, const RunAs &,
                                       Started started, Finished finished)
{
    AuthorizationRef authorization = nullptr;
    OSStatus status = AuthorizationCreate(nullptr, kAuthorizationEmptyEnvironment,
                                          kAuthorizationFlagDefaults, &authorization);
    AuthorizationItem right{kAuthorizationRightExecute, tool.size(),
                            const_cast<char *>(tool.c_str()), 0};
    const AuthorizationRights rights{1, &right};
    if (status == errAuthorizationSuccess) {
        // The password is asked for here, so a refusal is known before anything runs.
        status = AuthorizationCopyRights(authorization, &rights, kAuthorizationEmptyEnvironment,
                                         kAuthorizationFlagInteractionAllowed |
                                             kAuthorizationFlagPreAuthorize |
                                             kAuthorizationFlagExtendRights,
                                         nullptr);
    }
    std::vector<char *> argv;
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    FILE *output = nullptr;
    if (status == errAuthorizationSuccess) {
        // The only service that starts a given program with administrator rights from an
        // application without a helper tool; deprecated, but still present.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
        status = AuthorizationExecuteWithPrivileges(
            authorization, tool.c_str(), kAuthorizationFlagDefaults, argv.data(), &output);
#pragma clang diagnostic pop
    }
    if (status != errAuthorizationSuccess) {
        if (authorization != nullptr) {
            AuthorizationFree(authorization, kAuthorizationFlagDefaults);
        }
        started(OutcomeOf(status));
        return;
    }
    started(StartOutcome::Started);
    // The tool's output ends when the tool does; it is the program's only child, so waiting for
    // any child collects its status.
    QPointer<AuthorizationPrivilegedRun> self(this);
    std::thread([self, output, authorization, done = std::move(finished)] {
        char buffer[4096];
        while (std::fread(buffer, 1, sizeof buffer, output) > 0) {
        }
        std::fclose(output);
        int childStatus = 0;
        const bool succeeded = waitpid(-1, &childStatus, 0) > 0 && WIFEXITED(childStatus) &&
                               WEXITSTATUS(childStatus) == 0;
        AuthorizationFree(authorization, kAuthorizationFlagDefaults);
        QMetaObject::invokeMethod(
            self.data(),
            [self, done, succeeded] {
                if (self && done) {
                    done(succeeded);
                }
            },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace kv::installer

#endif
