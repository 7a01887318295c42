// exportvault FOLDER OUTFILE: writes the vault FOLDER/DB.xml, after its master password, as a
// KeePass 2 XML file that KeePass and KeePassXC import. OUTFILE is created readable by the owner
// only; an existing file is never replaced.

#include "app/MasterPassword.h"
#include "migrate/KeePassXml.h"
#include "vault/Module.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A character a terminal would act on or drop (U+0000 ends a C string) is shown as its code, so a
// refusal naming such a character is read whole.
QString printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7f && u < 0xa0)) {
            out += QStringLiteral("\\u") + QString::number(u, 16).toUpper().rightJustified(4, u'0');
        } else {
            out += c;
        }
    }
    return out;
}

void printLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = (printable(text) + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

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

// One line of standard input; on a terminal it is not echoed.
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

// The login's rule exactly, RootSeq read first as the login does on load.
bool admits(Module& module, const QString& typed) {
    readRootSeq(module);
    const LoginVerdict verdict = checkMasterPassword(module, typed);
    return verdict == LoginVerdict::Admitted || verdict == LoginVerdict::AdmittedFirstRun;
}

void writeNewPrivateFile(const QString& path, const QByteArray& content) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        const int error = errno;
        throw VaultError(
            VaultError::EngineFailure,
            error == EEXIST
                ? QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(path)
                : QStringLiteral("无法创建文件“%1”：%2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    for (qsizetype done = 0; written && done < content.size();) {
        const ssize_t n = ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += n > 0 ? n : 0;
    }
    written = written && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(name.constData());
        throw VaultError(
            VaultError::EngineFailure,
            QStringLiteral("写入文件“%1”失败：%2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3 || argv[1][0] == '\0' || argv[2][0] == '\0') {
        printLine(stderr, QStringLiteral("用法：exportvault 文件夹 输出文件\n"
                                         "Usage: exportvault FOLDER OUTFILE\n"
                                         "询问主密码后，把文件夹中 DB.xml 的全部条目写成 KeePass 2 XML 文件"
                                         "（可用 keepassxc-cli import 导入）；已有的输出文件不会被覆盖。\n"
                                         "Asks the master password, then writes every entry of FOLDER/DB.xml as a "
                                         "KeePass 2 XML file; an existing OUTFILE is never replaced."));
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString outFile = QString::fromLocal8Bit(argv[2]);
    try {
        if (QFile::exists(outFile)) {
            throw VaultError(VaultError::EngineFailure, QStringLiteral("文件“%1”已经存在，不会覆盖它。").arg(outFile));
        }
        Module module;
        module.VaultConnection.setConnectionString(Connection::connectionTextFor(folder));
        module.VaultConnection.open();
        const QString typed = QString::fromLocal8Bit(readPasswordLine());
        if (!admits(module, typed)) {
            printLine(stderr, QStringLiteral("输入的密码有误,请重新再试！"));
            printLine(stderr, QStringLiteral("exportvault: nothing was written."));
            return 1;
        }
        const KeePassExport result = keePassXmlOf(module);
        writeNewPrivateFile(outFile, result.xml);
        printLine(stdout,
                  QStringLiteral("已导出：分组 %1 个（含根分组“全部分类”），条目 %2 个，写入 %3（仅本人可读）。")
                      .arg(result.groups)
                      .arg(result.entries)
                      .arg(outFile));
        printLine(stdout, QStringLiteral("这个文件以明文保存全部密码：导入后请删除它。"));
    } catch (const VaultError& error) {
        printLine(stderr, error.description());
        printLine(stderr, QStringLiteral("exportvault: nothing was written."));
        return 1;
    }
    return 0;
}
