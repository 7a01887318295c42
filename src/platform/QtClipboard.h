#pragma once

#include "Clipboard.h"

#include <QString>
#include <QTimer>
#include <chrono>

// The desktop clipboard. A secret put on it is taken off again after a while and when the program
// ends, but only while the clipboard still holds it: a text copied elsewhere meanwhile stays.
class QtClipboard : public Clipboard {
public:
    static constexpr std::chrono::milliseconds DefaultKeepFor{10000};

    explicit QtClipboard(std::chrono::milliseconds keepFor = DefaultKeepFor);
    QtClipboard(const QtClipboard&) = delete;
    QtClipboard& operator=(const QtClipboard&) = delete;

    void clear() override;
    void setSecretText(const QString& text) override;

    void clearOwnText() override;

private:
    QTimer m_timer;
    QString m_ownText;
    bool m_holdsOwn = false;
};
