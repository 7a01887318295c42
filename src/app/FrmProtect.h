#pragma once

#include <QDialog>

class FlatEdit;
class Module;
struct Platform;

// Asks for the master password once more, then turns the protection of the data file on (a
// backup first) or off. The work runs while the dialog is still up, so the main window takes no
// input meanwhile; a failure is reported and the dialog stays for another try or Cancel.
class FrmProtect : public QDialog {
    Q_OBJECT
public:
    FrmProtect(Module& module, Platform& platform, const QString& programFolder, bool turnOn,
               QWidget* parent = nullptr);

    void Button_OK_Click();

private:
    Module& m_module;
    Platform& m_platform;
    bool m_turnOn;
    FlatEdit* m_editZMM = nullptr;
};
