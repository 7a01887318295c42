#include "QtClipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>

namespace {

bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

// X11 tells a program when another one takes the clipboard, so ownership is the witness there.
bool ownershipIsReliable() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace

QtClipboard::QtClipboard(std::chrono::milliseconds keepFor) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(keepFor);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { clearOwnText(); });
    // The close box ends the program through the event loop; Exit ends it through ProgramEnd,
    // which calls clearOwnText itself.
    if (auto* application = QCoreApplication::instance()) {
        QObject::connect(application, &QCoreApplication::aboutToQuit, &m_timer, [this] { clearOwnText(); });
    }
}

void QtClipboard::clear() {
    m_timer.stop();
    m_holdsOwn = false;
    m_ownText.clear();
    QGuiApplication::clipboard()->clear();
}

// Plain text (Qt offers it as UTF-8 text/plain) plus the hint KDE's Klipper and other clipboard
// managers read to keep a password out of their history.
void QtClipboard::setSecretText(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    m_ownText = text;
    m_holdsOwn = true;
    m_timer.start();
}

void QtClipboard::clearOwnText() {
    m_timer.stop();
    if (!m_holdsOwn) {
        return;
    }
    m_holdsOwn = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Elsewhere the text is the witness: offscreen the clipboard lives in the process, and on Wayland
    // Qt was seen to give up ownership of a selection that the compositor still served as ours.
    const bool ours = ownershipIsReliable() ? clipboard->ownsClipboard()
                                            : clipboard->ownsClipboard() || clipboard->text() == m_ownText;
    m_ownText.clear();
    if (!ours) {
        return;
    }
    if (!onWayland()) {
        clipboard->clear();
        return;
    }
    // Weston and others ignore a request to empty the selection; an empty offer of our own replaces
    // the secret everywhere. Some compositors refuse any change from a window without focus, and Qt
    // cannot tell: wl-copy clears it by its own means where it is installed.
    clipboard->setMimeData(new QMimeData);
    const QString wlCopy = QStandardPaths::findExecutable(QStringLiteral("wl-copy"));
    if (!wlCopy.isEmpty()) {
        QProcess process;
        process.start(wlCopy, {QStringLiteral("--clear")});
        if (!process.waitForFinished(2000)) {
            process.kill();
            process.waitForFinished(500);
        }
    }
}
