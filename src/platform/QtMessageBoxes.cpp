#include "QtMessageBoxes.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon qtIcon(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Exclamation:
        return QMessageBox::Warning;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::Critical:
        return QMessageBox::Critical;
    case BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

BoxAnswer QtMessageBoxes::show(QWidget* parent, const QString& text, const QString& title, BoxButtons buttons,
                               BoxIcon icon) {
    // A box without a title of its own carries the program's name, as desktop boxes do.
    const QString caption = title.isEmpty() ? QGuiApplication::applicationDisplayName() : title;
    const QMessageBox::StandardButtons standard =
        buttons == BoxButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
    QMessageBox box(qtIcon(icon), caption, text, standard, parent);
    // Error texts carry file names and stored values: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    if (buttons == BoxButtons::YesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const int answer = box.exec();
    if (buttons == BoxButtons::Ok) {
        return BoxAnswer::Ok;
    }
    // Closing the question without choosing counts as No: only Yes goes ahead.
    return answer == QMessageBox::Yes ? BoxAnswer::Yes : BoxAnswer::No;
}
