#include "frmGenerate.h"

#include "controls/Fonts.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <cmath>

frmGenerate::frmGenerate(const QString& programFolder, QWidget* owner) : QDialog(owner) {
    setUpFixedDialog(*this, "frmGenerate", QStringLiteral("生成密码"), programFolder, {400, 226});
    setFont(songTiFont(10.5));

    placeControl<QLabel>(this, "Label_Length", {12, 12, 60, 24}, QStringLiteral("长度："));
    m_length = placeControl<QSpinBox>(this, "Spin_Length", {72, 12, 80, 24});
    m_length->setRange(PasswordRules::MinLength, PasswordRules::MaxLength);
    m_length->setValue(PasswordRules{}.length);

    m_upper = placeControl<QCheckBox>(this, "Check_Upper", {12, 44, 110, 22}, QStringLiteral("大写字母"));
    m_lower = placeControl<QCheckBox>(this, "Check_Lower", {130, 44, 110, 22}, QStringLiteral("小写字母"));
    m_digits = placeControl<QCheckBox>(this, "Check_Digits", {248, 44, 70, 22}, QStringLiteral("数字"));
    m_symbols = placeControl<QCheckBox>(this, "Check_Symbols", {320, 44, 70, 22}, QStringLiteral("符号"));
    m_exclude = placeControl<QCheckBox>(this, "Check_Exclude", {12, 72, 376, 22},
                                        QStringLiteral("排除易混淆字符（0 O 1 l I）"));
    for (QCheckBox* box : {m_upper, m_lower, m_digits, m_symbols, m_exclude}) {
        box->setChecked(true);
    }

    m_sample = placeControl<QLineEdit>(this, "Edit_Sample", {12, 104, 376, 28});
    m_sample->setReadOnly(true);
    // Characters that look alike in a text face are told apart in a fixed one.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(11);
    m_sample->setFont(fixed);
    m_strength = placeControl<QLabel>(this, "Label_Strength", {12, 140, 376, 22});

    m_again = placeControl<QPushButton>(this, "Button_Again", {12, 184, 100, 30}, QStringLiteral("重新生成"));
    m_ok = placeControl<QPushButton>(this, "OK", {184, 184, 96, 30}, QStringLiteral("确定"));
    auto* cancel = placeControl<QPushButton>(this, "Cancel", {290, 184, 96, 30}, QStringLiteral("取消"));
    m_ok->setDefault(true);

    connect(m_again, &QPushButton::clicked, this, [this] { drawAgain(); });
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_length, &QSpinBox::valueChanged, this, [this] { drawAgain(); });
    for (QCheckBox* box : {m_upper, m_lower, m_digits, m_symbols, m_exclude}) {
        connect(box, &QCheckBox::toggled, this, [this] { drawAgain(); });
    }
    drawAgain();
}

PasswordRules frmGenerate::rules() const {
    PasswordRules rules;
    rules.length = m_length->value();
    rules.upper = m_upper->isChecked();
    rules.lower = m_lower->isChecked();
    rules.digits = m_digits->isChecked();
    rules.symbols = m_symbols->isChecked();
    rules.excludeLookAlikes = m_exclude->isChecked();
    return rules;
}

QString frmGenerate::password() const {
    return m_sample->text();
}

void frmGenerate::drawAgain() {
    const PasswordRules current = rules();
    const bool possible = current.anyClass();
    m_ok->setEnabled(possible);
    m_again->setEnabled(possible);
    if (!possible) {
        m_sample->clear();
        m_strength->setText(QStringLiteral("请至少选择一类字符！"));
        return;
    }
    m_sample->setText(PasswordGenerator::generate(current));
    m_sample->setCursorPosition(0);
    m_strength->setText(
        QStringLiteral("强度：约 %1 位").arg(static_cast<int>(std::floor(PasswordGenerator::strengthBits(current)))));
}
