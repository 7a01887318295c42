#pragma once

#include <QDialog>

class FlatEdit;
class Module;
class QGroupBox;
class QPushButton;
struct Platform;

// Sets the master password on first use (drawing a new RootSeq) or changes it afterwards.
// The stored form is EncodeSecret(password + RootSeq). Only OK or Cancel closes it.
class FrmPass : public QDialog {
    Q_OBJECT
public:
    FrmPass(Module& module, Platform& platform, const QString& programFolder, QWidget* parent = nullptr);

    void Button_OK_Click();
    void Button_Cancel_Click();

    bool isFirstRun() const { return m_firstRun; }
    // The stored master password as decoded on load: the old password followed by the suffix.
    const QString& storedPass() const { return m_storedPass; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void load();
    void refuse(const QString& message);

    Module& m_module;
    Platform& m_platform;
    bool m_firstRun = false;
    bool m_closing = false;
    QString m_storedPass;
    QGroupBox* m_groupBox1 = nullptr;
    FlatEdit* m_editYMM = nullptr;
    FlatEdit* m_editXMM = nullptr;
    FlatEdit* m_editQRM = nullptr;
    QPushButton* m_buttonCancel = nullptr;
};
