// The felt run: the real windows on a real display, timed from the user's event to the paint
// that answers it, and the process's peak memory. Not a benchmark of Google Benchmark's kind:
// each start is one measurement, run under xvfb-run, several times and interleaved with the bare
// path, by hand:
//
//   felt_run make FOLDER   writes FOLDER/DB.xml: 1,000 categories and one of 100,000 entries
//   felt_run ours FOLDER   login (Enter) -> main window painted, click on the large category ->
//                          list painted, with the program's windows
//   felt_run raw FOLDER    the same reads on the bare engine into a bare tree and a bare list with
//                          uniform item sizes
//
// Each run prints its two times and its peak resident memory (getrusage).

#include "app/MainWindow.h"
#include "app/frmLogin.h"
#include "controls/CategoryTree.h"
#include "controls/CheckListBox.h"
#include "controls/Fonts.h"
#include "support/BenchVault.h"
#include "support/QuietPlatform.h"
#include "vault/SecretCipher.h"

#include <sqlcipher/sqlite3.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

const QString password = QStringLiteral("Secret-口令-1");
constexpr int entries = 100000;

// Calls `done` once, after the widget has finished painting.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* widget, std::function<void()> done) : m_done(std::move(done)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && m_done) {
            // After the paint itself: the filter runs first, so the report waits for the event loop.
            auto done = std::move(m_done);
            m_done = nullptr;
            QTimer::singleShot(0, this, std::move(done));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_done;
};

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void report(const char* path, qint64 enterNs, qint64 clickNs) {
    std::printf("%s: Enter -> main window painted %.1f ms; click -> list painted %.1f ms; peak memory %.1f MiB\n", path,
                static_cast<double>(enterNs) / 1e6, static_cast<double>(clickNs) / 1e6,
                static_cast<double>(peakKiB()) / 1024.0);
    std::fflush(stdout);
}

void clickAt(QWidget* viewport, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
}

int make(const QString& folder) {
    BenchVault vault;
    vault.fillLoginScene(entries, password);
    const QString target = folder + QStringLiteral("/DB.xml");
    if (QFile::exists(target) || !QFile::copy(vault.folder() + QStringLiteral("/DB.xml"), target)) {
        std::fprintf(stderr, "felt_run: cannot write %s (it must not exist yet)\n", qPrintable(target));
        return 1;
    }
    return 0;
}

int ours(const QString& folder) {
    QuietPlatform desktop;
    Module module;
    module.VaultConnection.setConnectionString(Connection::connectionTextFor(folder));
    module.VaultConnection.open();
    Main window(module, desktop.platform(), folder);
    frmLogin login(module, desktop.platform(), folder, &window);
    login.show();
    QElapsedTimer timer;
    qint64 enterNs = 0;
    PaintWatch mainPainted(&window, [&] {
        enterNs = timer.nsecsElapsed();
        // The category of 100,000 entries is the last child of the root.
        QTreeWidgetItem* root = window.tree()->topLevelItem(0);
        QTreeWidgetItem* large = root->child(root->childCount() - 1);
        window.tree()->scrollToItem(large);
        QApplication::processEvents();
        QWidget* list = window.findChild<CheckListBox*>(QStringLiteral("List"))->viewport();
        static PaintWatch listPainted(list, [&] {
            report("ours", enterNs, timer.nsecsElapsed());
            QApplication::quit();
        });
        const QPoint at = window.tree()->visualItemRect(large).center();
        timer.start();
        clickAt(window.tree()->viewport(), at);
    });
    QObject::connect(&login, &QDialog::accepted, &window, [&] {
        window.GJTree(); // as the start-up does once the login has accepted
        window.show();
    });
    QTimer::singleShot(200, &login, [&] {
        auto* edit = login.findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        edit->setText(password);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        timer.start();
        QApplication::sendEvent(edit, &enter);
    });
    return QApplication::exec();
}

// The bare path: the statements on the engine, the rows into bare widgets.
int raw(const QString& folder) {
    sqlite3* db = nullptr;
    const QString connectionText = Connection::connectionTextFor(folder);
    sqlite3_open_v2(QFile::encodeName(Connection::dataSourceOf(connectionText)).constData(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const QByteArray key = Connection::passwordOf(connectionText).toUtf8();
    sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    const auto each = [db](const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            row(statement);
        }
        sqlite3_finalize(statement);
    };
    const auto text = [](sqlite3_stmt* statement, int column) {
        return QString(static_cast<const QChar*>(sqlite3_column_text16(statement, column)),
                       sqlite3_column_bytes16(statement, column) / 2);
    };

    QWidget window;
    window.resize(756, 520);
    auto* tree = new QTreeWidget(&window);
    tree->setGeometry(2, 47, 217, 449);
    tree->setHeaderHidden(true);
    auto* list = new QListWidget(&window);
    list->setGeometry(223, 47, 233, 449);
    list->setUniformItemSizes(true);
    QLineEdit edit;
    edit.show();
    QElapsedTimer timer;
    qint64 enterNs = 0;
    qint64 largeKey = 0;
    PaintWatch windowPainted(&window, [&] {
        enterNs = timer.nsecsElapsed();
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QTreeWidgetItem* large = root->child(root->childCount() - 1);
        tree->scrollToItem(large);
        QApplication::processEvents();
        static PaintWatch listPainted(list->viewport(), [&] {
            report("raw", enterNs, timer.nsecsElapsed());
            QApplication::quit();
        });
        QObject::connect(tree, &QTreeWidget::itemClicked, list, [&] {
            list->clear();
            const QByteArray sql =
                "Select * from Quorvane_Pass Where Type =" + QByteArray::number(largeKey) + " Order by Seq,ID";
            each(sql.constData(), [&](sqlite3_stmt* row) {
                auto* item = new QListWidgetItem(text(row, 2));
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
                item->setCheckState(Qt::Unchecked);
                item->setData(Qt::UserRole, QVariant::fromValue<qint64>(sqlite3_column_int64(row, 0)));
                list->addItem(item);
            });
        });
        const QPoint at = tree->visualItemRect(large).center();
        timer.start();
        clickAt(tree->viewport(), at);
    });
    QTimer::singleShot(200, &edit, [&] {
        timer.start();
        bool admitted = false;
        each("Select * from Quorvane_Login Where ID=1", [&](sqlite3_stmt* row) {
            admitted = DecodeSecret(text(row, 1), Module::SecretKey) == password + QStringLiteral("0");
        });
        qint64 count = 0;
        each("SELECT count(*) FROM Quorvane_Pass", [&](sqlite3_stmt* row) { count = sqlite3_column_int64(row, 0); });
        if (!admitted || count != entries) {
            std::fprintf(stderr, "felt_run: the bare login failed\n");
            QApplication::exit(1);
            return;
        }
        auto* root = new QTreeWidgetItem(QStringList{QStringLiteral("全部分类")});
        QHash<qint64, QTreeWidgetItem*> byKey{{1, root}};
        each("Select * from Quorvane_Type Order by PID,Seq,ID", [&](sqlite3_stmt* row) {
            const qint64 id = sqlite3_column_int64(row, 0);
            const qint64 pid = sqlite3_column_int64(row, 1);
            if (QTreeWidgetItem* parent = byKey.value(pid)) {
                byKey.insert(id, new QTreeWidgetItem(parent, QStringList{text(row, 2)}));
                if (pid == 1) {
                    largeKey = id; // the root's last child is the large category
                }
            }
        });
        tree->addTopLevelItem(root);
        tree->expandAll();
        edit.hide();
        window.show();
    });
    const int result = QApplication::exec();
    sqlite3_close_v2(db);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setFont(songTiFont(9));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: felt_run make|ours|raw FOLDER\n");
        return 2;
    }
    const QString& mode = arguments.at(1);
    const QString& folder = arguments.at(2);
    if (mode == QLatin1String("make")) {
        return make(folder);
    }
    return mode == QLatin1String("ours") ? ours(folder) : raw(folder);
}
