#pragma once

#include "PasswordGenerator.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The password generator: length and character classes, a sample with its strength, 重新生成 for
// another, 确定 to take the sample. With no class chosen there is nothing to take.
class frmGenerate : public QDialog {
    Q_OBJECT
public:
    explicit frmGenerate(const QString& programFolder, QWidget* owner = nullptr);

    // The sample the user took with 确定.
    QString password() const;
    PasswordRules rules() const;

private:
    void drawAgain();

    QSpinBox* m_length = nullptr;
    QCheckBox* m_upper = nullptr;
    QCheckBox* m_lower = nullptr;
    QCheckBox* m_digits = nullptr;
    QCheckBox* m_symbols = nullptr;
    QCheckBox* m_exclude = nullptr;
    QLineEdit* m_sample = nullptr;
    QLabel* m_strength = nullptr;
    QPushButton* m_again = nullptr;
    QPushButton* m_ok = nullptr;
};
