#include "ChildProcess.h"

#include "vault/SafeFile.h"
#include "vault/VaultError.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The child's present address space, from /proc: the limit is set on top of what it inherits,
// since a GUI process already maps far more than a reader needs.
qint64 currentAddressSpace() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    char text[64] = {};
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0) {
        return -1;
    }
    qint64 pages = 0;
    for (ssize_t i = 0; i < got && text[i] >= '0' && text[i] <= '9'; ++i) {
        pages = pages * 10 + (text[i] - '0');
    }
    return pages * ::sysconf(_SC_PAGESIZE);
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

[[noreturn]] void runChild(int fd, const std::function<QByteArray()>& work, const ChildLimits& limits) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // A crash handler the parent installed (a reporter, a debugger hook) has no business here:
    // a crash simply ends the child and the parent tells the user.
    for (const int crash : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL}) {
        ::signal(crash, SIG_DFL);
    }
    // CPU time backs up the parent's clock should the parent itself be stopped.
    const rlim_t seconds = static_cast<rlim_t>(limits.time.count()) + 1;
    const rlimit cpu{seconds, seconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    const qint64 present = currentAddressSpace();
    if (present > 0) {
        const auto bytes = static_cast<rlim_t>(present + limits.extraMemoryBytes);
        const rlimit memory{bytes, bytes};
        ::setrlimit(RLIMIT_AS, &memory);
    }
    int status = 1;
    try {
        const QByteArray output = work();
        status = writeAll(fd, output.constData(), output.size()) ? 0 : 1;
    } catch (...) {
        status = 1;
    }
    ::_exit(status);
}

} // namespace

ChildOutcome runInChild(const std::function<QByteArray()>& work, const ChildLimits& limits) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("无法启动读取进程：%1").arg(SafeFile::systemMessage(errno)));
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        throw VaultError(VaultError::EngineFailure,
                         QStringLiteral("无法启动读取进程：%1").arg(SafeFile::systemMessage(error)));
    }
    if (pid == 0) {
        ::close(fds[0]);
        runChild(fds[1], work, limits);
    }
    ::close(fds[1]);

    ChildOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    bool timedOut = false;
    char buffer[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd ready{fds[0], POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled == 0) {
            timedOut = true;
            break;
        }
        const ssize_t got = polled < 0 ? -1 : ::read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        outcome.output.append(buffer, got);
    }
    ::close(fds[0]);
    if (timedOut) {
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)) {
        outcome.end = ChildOutcome::End::TimedOut;
        outcome.output.clear();
    } else if (WIFSIGNALED(status)) {
        outcome.end = ChildOutcome::End::Killed;
        outcome.signal = WTERMSIG(status);
        outcome.output.clear();
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.end = ChildOutcome::End::Killed;
        outcome.output.clear();
    }
    return outcome;
}
