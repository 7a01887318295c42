#include "FlatEdit.h"

#include "PasswordMask.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <limits>

FlatEdit::FlatEdit(QWidget* parent) : QLineEdit(parent) {
    // Qt's default limit of 32767 characters would cut a longer pasted or stored value silently.
    setMaxLength(std::numeric_limits<int>::max());
    setBackColor(m_backColor);
}

void FlatEdit::setText(const QString& text) {
    QLineEdit::setText(text);
    setCursorPosition(0);
}

QString FlatEdit::passwordChar() const {
    return echoMode() == QLineEdit::Normal ? QString() : QStringLiteral("*");
}

// Any character masks the text; the windows only ever hand in "*" or the empty text.
void FlatEdit::setPasswordChar(const QString& character) {
    setEchoMode(character.isEmpty() ? QLineEdit::Normal : QLineEdit::Password);
}

void FlatEdit::setBackColor(const QColor& color) {
    if (applyBackColor(*this, m_backColor, color, "FlatEdit", AsteriskMaskRule)) {
        refreshPasswordCharacter(*this);
    }
}

void FlatEdit::withdrawSelection() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!m_holdsSecret || !clipboard->supportsSelection() || !clipboard->ownsSelection()) {
        return;
    }
    const QString selected = selectedText();
    if (!selected.isEmpty() && clipboard->text(QClipboard::Selection) == selected) {
        clipboard->clear(QClipboard::Selection);
    }
}

void FlatEdit::copySecret(bool cut) {
    // A masked field copies nothing, as the line edit itself would not.
    if (echoMode() != QLineEdit::Normal || !hasSelectedText()) {
        return;
    }
    emit secretCopied(selectedText());
    if (cut && !isReadOnly()) {
        del();
    }
}

void FlatEdit::keyPressEvent(QKeyEvent* event) {
    if (m_holdsSecret && (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut))) {
        copySecret(event->matches(QKeySequence::Cut));
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
    withdrawSelection();
}

void FlatEdit::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    withdrawSelection();
}

void FlatEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    withdrawSelection();
}

void FlatEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (!m_holdsSecret) {
        QLineEdit::contextMenuEvent(event);
        return;
    }
    QPointer<QMenu> menu = createStandardContextMenu();
    if (!menu) {
        return;
    }
    // The menu's own copy and cut would put the text on the clipboard plainly and for good. The
    // entries are known by what they are connected to: not every Qt version names them.
    const auto takeOver = [this](QAction* action, const char* slot, auto member, bool cut) {
        if (QObject::disconnect(action, &QAction::triggered, this, member) ||
            QObject::disconnect(action, SIGNAL(triggered()), this, slot)) {
            connect(action, &QAction::triggered, this, [this, cut] { copySecret(cut); });
        }
    };
    for (QAction* action : menu->actions()) {
        takeOver(action, SLOT(copy()), &QLineEdit::copy, false);
        takeOver(action, SLOT(cut()), &QLineEdit::cut, true);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
