#include "frmFind.h"

#include "controls/FlatEdit.h"
#include "controls/Fonts.h"
#include "controls/Placement.h"
#include "controls/WindowFrame.h"
#include "search/EntryIndex.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTreeView>

// The found entries as rows of title, category path and account name. It asks the index for the
// texts of the rows on screen only, so a query that finds every entry costs no more to show than
// one that finds ten.
class FoundEntriesModel : public QAbstractTableModel {
public:
    explicit FoundEntriesModel(QObject* parent) : QAbstractTableModel(parent) {}

    void setMatches(const EntryIndex* index, std::vector<int> matches) {
        beginResetModel();
        m_index = index;
        m_matches = std::move(matches);
        endResetModel();
    }
    int entryAt(int row) const { return m_matches[static_cast<size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_matches.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || m_index == nullptr) {
            return {};
        }
        const int entry = entryAt(index.row());
        const auto text = [&](int column) {
            switch (column) {
            case 0:
                return m_index->title(entry);
            case 1:
                return m_index->categoryPath(entry);
            default:
                return m_index->accountName(entry);
            }
        };
        if (role == Qt::DisplayRole) {
            return text(index.column());
        }
        // A column too narrow for its text still lets the user read all of it.
        if (role == Qt::ToolTipRole) {
            return text(index.column());
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return {};
        }
        static const QString headers[] = {QStringLiteral("标题"), QStringLiteral("分类"), QStringLiteral("账户名称")};
        return headers[section];
    }

private:
    const EntryIndex* m_index = nullptr;
    std::vector<int> m_matches;
};

frmFind::frmFind(Module& module, const QString& programFolder, QWidget* owner) : QDialog(owner), m_module(module) {
    setUpFixedDialog(*this, "frmFind", QStringLiteral("查找"), programFolder, {560, 380});
    setFont(songTiFont(10.5));

    m_query = placeControl<FlatEdit>(this, "Edit_Find", {10, 10, 540, 26});
    m_query->setPlaceholderText(QStringLiteral("标题、账户名称、网址、备注或分类，汉字可用拼音或首字母"));
    m_matches = placeControl<QTreeView>(this, "List_Find", {10, 44, 540, 300});
    m_count = placeControl<QLabel>(this, "Label_Count", {10, 350, 540, 22});

    m_model = new FoundEntriesModel(this);
    m_matches->setModel(m_model);
    m_matches->setRootIsDecorated(false);
    m_matches->setUniformRowHeights(true);
    m_matches->setAllColumnsShowFocus(true);
    m_matches->setSelectionMode(QAbstractItemView::SingleSelection);
    m_matches->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_matches->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_matches->setFocusPolicy(Qt::NoFocus); // the keys stay with the field; arrows reach the list through it
    m_matches->header()->setSectionsMovable(false);
    m_matches->header()->resizeSection(0, 200);
    m_matches->header()->resizeSection(1, 170);

    connect(m_query, &QLineEdit::textChanged, this, [this] { search(); });
    connect(m_matches, &QAbstractItemView::doubleClicked, this, [this] { choose(); });
    m_query->installEventFilter(this);
}

frmFind::~frmFind() = default;

void frmFind::Form_Load() {
    m_index = std::make_unique<EntryIndex>(m_module);
    search();
}

void frmFind::search() {
    if (m_index == nullptr) {
        return;
    }
    const QString query = m_query->text();
    // Typing on narrows what was found; only the first letter looks through every entry.
    std::vector<int> found =
        EntryIndex::narrows(m_lastQuery, query) ? m_index->find(query, m_lastFound) : m_index->find(query);
    m_lastQuery = query;
    m_lastFound = found;
    const auto count = found.size();
    m_model->setMatches(m_index.get(), std::move(found));
    if (count > 0) {
        m_matches->setCurrentIndex(m_model->index(0, 0));
    }
    m_count->setText(m_query->text().trimmed().isEmpty() ? QString() : QStringLiteral("找到 %1 条记录").arg(count));
}

void frmFind::choose() {
    const QModelIndex current = m_matches->currentIndex();
    if (!current.isValid() || m_index == nullptr) {
        return;
    }
    const int entry = m_model->entryAt(current.row());
    m_chosenEntry = m_index->entryKey(entry);
    m_chosenCategory = m_index->categoryKey(entry);
    accept();
}

// The vault's texts go as soon as the dialog closes, however it closes.
void frmFind::done(int result) {
    m_model->setMatches(nullptr, {});
    m_lastFound = {};
    m_lastQuery.clear();
    m_index.reset();
    QDialog::done(result);
}

bool frmFind::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_query || event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        QCoreApplication::sendEvent(m_matches, event);
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}
