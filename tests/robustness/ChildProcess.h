// Runs tolvane-cli as a child process the way a shell would, which QProcess
// cannot: arguments as raw bytes (file names that are not UTF-8), extra
// environment entries, an address-space limit (ulimit -v) set in the child
// and file-size limit (ulimit -f) set in the child only, and optionally as the unprivileged user "nobody".
#pragma once

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane::robustness {

struct ChildCall {
    QList<QByteArray> arguments;           // after the program name
    QList<QByteArray> environment;         // "NAME=value" entries added to (or replacing) the inherited ones
    rlim_t addressSpaceBytes = RLIM_INFINITY;
    rlim_t fileSizeBytes = RLIM_INFINITY;  // ulimit -f, in bytes
    bool asNobody = false;                 // only meaningful when the test runs as root
};

struct ChildResult {
    bool started = false;
    bool exited = false;  // false: killed by a signal (an abort, a crash)
    int exitCode = -1;
    int signal = 0;
    QByteArray out;
    QByteArray err;
};

// Exit status of the child when it could not become the user asked for.
inline constexpr int kChildSetupFailed = 99;

inline ChildResult RunChild(const QByteArray& program, const ChildCall& call)
{
    ChildResult result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0)
        return result;
    if (::pipe(errPipe) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    // Everything the child needs is built before the fork.
    std::vector<std::string> storage;
    storage.push_back(program.toStdString());
    for (const QByteArray& argument : call.arguments)
        storage.push_back(argument.toStdString());
    const std::size_t argumentCount = storage.size();
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        bool replaced = false;
        for (const QByteArray& extra : call.environment)
            replaced = replaced || text.rfind(extra.left(extra.indexOf('=') + 1).toStdString(), 0) == 0;
        if (!replaced)
            storage.push_back(text);
    }
    for (const QByteArray& extra : call.environment)
        storage.push_back(extra.toStdString());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (std::size_t i = 0; i < storage.size(); ++i)
        (i < argumentCount ? argv : envp).push_back(storage[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        if (call.asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(kChildSetupFailed);
        if (call.addressSpaceBytes != RLIM_INFINITY) {
            const rlimit limit{call.addressSpaceBytes, call.addressSpaceBytes};
            if (::setrlimit(RLIMIT_AS, &limit) != 0)
                ::_exit(kChildSetupFailed);
        }
        if (call.fileSizeBytes != RLIM_INFINITY) {
            const rlimit limit{call.fileSizeBytes, call.fileSizeBytes};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                ::_exit(kChildSetupFailed);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return result;
    }
    result.started = true;
    // Both pipes are drained together, so a chatty child never blocks on a full one.
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    QByteArray* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, got);
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

}  // namespace tolvane::robustness
