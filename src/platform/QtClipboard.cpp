#include "QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void QtClipboard::clear() {
    QGuiApplication::clipboard()->clear();
}

// Plain text (Qt offers it as UTF-8 text/plain) plus the hint KDE's Klipper and other clipboard
// managers read to keep a password out of their history.
void QtClipboard::setSecretText(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
}
