#pragma once

#include <QDialog>
#include <functional>

class FlatEdit;
class Module;
class QLabel;
class QPushButton;
struct Platform;

// The category name dialog: a name for a new sub-category (LX 1, ID = the parent) or a new name
// for a category (LX 2, ID = the category). The caller sets LX and ID, then calls Form_Load and,
// when it agrees, shows the dialog modally. A successful OK writes the row, closes the dialog and
// rebuilds the tree.
class frmType : public QDialog {
    Q_OBJECT
public:
    static constexpr int NewCategory = 1;
    static constexpr int Rename = 2;

    frmType(Module& module, Platform& platform, std::function<void()> rebuildTree, const QString& programFolder,
            QWidget* owner = nullptr);

    int LX = NewCategory;
    qint64 ID = 0;

    // Reads the category row; in rename mode presets the name. Returns false, after telling the
    // user and rebuilding the tree, when the row no longer exists: the dialog must not be shown.
    // Database errors reach the caller.
    bool Form_Load();

    // The OK button's handler; connected with a trap that ends the program for an engine failure only.
    void OK_Click();

private:
    void buildControls();
    void writeCategory();
    void categoryGone();

    Module& m_module;
    Platform& m_platform;
    std::function<void()> m_rebuildTree;

    FlatEdit* m_typeName = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_label2 = nullptr;
};
