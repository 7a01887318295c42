#pragma once

#include "platform/Registry.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
struct Platform;

// The About box: icon, product title, version, studio name and web link, and a button that starts
// the system-information tool. Created afresh for every showing; it holds no data and writes nothing.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(Platform& platform, const QString& programFolder, QWidget* parent = nullptr);

    // Starts the system-information tool the registry names, or says that it is not available.
    void StartSysInfo();
    // Reads one registry value into text. False (and text emptied) when the key or the value is
    // missing or the value does not fit the 1024-byte buffer; a type other than string or double
    // word leaves text as the caller passed it.
    bool GetKeyValue(RegistryRoot root, const QString& keyPath, const QString& valueName, QString& text);

    static QString webAddress();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void load();
    void onLinkClicked();

    Platform& m_platform;

    QLabel* m_picIcon = nullptr;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_lblDescription = nullptr;
    QLabel* m_Label1 = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdSysInfo = nullptr;
};
