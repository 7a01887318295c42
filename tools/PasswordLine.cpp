#include "PasswordLine.h"

#include <QString>

#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal's settings while the password is typed without echo. A signal that ends the program
// then (Ctrl-C, a kill) must not leave the user's shell without echo: the handler puts the settings
// back and lets the signal end the program as it would have.
termios echoingTerminal{};
volatile std::sig_atomic_t echoIsOff = 0;

void restoreEchoAndEnd(int number) {
    if (echoIsOff) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &echoingTerminal);
        const char newline = '\n';
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, &newline, 1);
    }
    ::signal(number, SIG_DFL);
    ::raise(number);
}

} // namespace

std::string readPasswordLine() {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
    struct sigaction previousHup {};
    if (terminal) {
        std::fputs(QStringLiteral("主密码：").toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
        if (::tcgetattr(STDIN_FILENO, &echoingTerminal) == 0) {
            struct sigaction restore {};
            restore.sa_handler = restoreEchoAndEnd;
            sigemptyset(&restore.sa_mask);
            ::sigaction(SIGINT, &restore, &previousInt);
            ::sigaction(SIGTERM, &restore, &previousTerm);
            ::sigaction(SIGHUP, &restore, &previousHup);
            termios quiet = echoingTerminal;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            echoIsOff = 1;
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        line.push_back(static_cast<char>(c));
    }
    if (echoIsOff) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoingTerminal);
        echoIsOff = 0;
        ::sigaction(SIGINT, &previousInt, nullptr);
        ::sigaction(SIGTERM, &previousTerm, nullptr);
        ::sigaction(SIGHUP, &previousHup, nullptr);
    }
    if (terminal) {
        std::fputc('\n', stderr);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}
