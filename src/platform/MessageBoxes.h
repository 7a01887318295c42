#pragma once

#include <QString>

class QWidget;

enum class BoxButtons { Ok, YesNo };
enum class BoxIcon { None, Information, Exclamation, Question, Critical };
enum class BoxAnswer { Ok, Yes, No };

// The title of the program's notices, refusals and questions.
inline const QString PromptTitle = QStringLiteral("提示！");

// Every message box, error box and question of the program goes through here.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual BoxAnswer show(QWidget* parent, const QString& text, const QString& title, BoxButtons buttons,
                           BoxIcon icon) = 0;
};
