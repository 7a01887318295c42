#pragma once

#include <QDialog>
#include <memory>
#include <vector>

class EntryIndex;
class FlatEdit;
class FoundEntriesModel;
class Module;
class QLabel;
class QTreeView;

// The find dialog: one field, and the entries it finds listed as the user types (title, category
// path, account name). Enter or a double click chooses the highlighted entry and closes the
// dialog; Esc closes it without a choice. What it read of the vault is let go when it closes.
class frmFind : public QDialog {
    Q_OBJECT
public:
    frmFind(Module& module, const QString& programFolder, QWidget* owner = nullptr);
    ~frmFind() override;

    // Reads the vault; its failures reach the caller, and the dialog must then not be shown.
    void Form_Load();

    // The chosen entry and its category, once the dialog was accepted.
    qint64 chosenEntry() const { return m_chosenEntry; }
    qint64 chosenCategory() const { return m_chosenCategory; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search();
    void choose();

    Module& m_module;
    std::unique_ptr<EntryIndex> m_index;
    FlatEdit* m_query = nullptr;
    QTreeView* m_matches = nullptr;
    QLabel* m_count = nullptr;
    FoundEntriesModel* m_model = nullptr;
    QString m_lastQuery;
    std::vector<int> m_lastFound;
    qint64 m_chosenEntry = 0;
    qint64 m_chosenCategory = 0;
};
