#include "BenchVault.h"

#include "vault/FreshVault.h"
#include "vault/SecretCipher.h"

#include <sqlcipher/sqlite3.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

namespace {

// One prepared statement of the filling, every step checked.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
            benchFail("prepare", db);
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, qint64 value) {
        if (sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK) {
            benchFail("bind", m_db);
        }
    }
    void bind(int index, const QString& text) {
        if (sqlite3_bind_text16(m_statement, index, text.utf16(), static_cast<int>(text.size() * 2),
                                SQLITE_TRANSIENT) != SQLITE_OK) {
            benchFail("bind", m_db);
        }
    }
    void run(const char* what) {
        if (sqlite3_step(m_statement) != SQLITE_DONE) {
            benchFail(what, m_db);
        }
        sqlite3_reset(m_statement);
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

const char* const insertCategory = "INSERT INTO Quorvane_Type (PID, Name, Seq) VALUES (?, ?, 1)";

qint64 addCategoryWith(Statement& insert, sqlite3* db, qint64 parent, const QString& name) {
    insert.bind(1, parent);
    insert.bind(2, name);
    insert.run("insert category");
    return static_cast<qint64>(sqlite3_last_insert_rowid(db));
}

} // namespace

void benchFail(const char* what, sqlite3* db) {
    std::fprintf(stderr, "benchmark fixture: %s: %s\n", what, db ? sqlite3_errmsg(db) : "failed");
    std::abort();
}

BenchVault::BenchVault() {
    if (!m_dir.isValid()) {
        benchFail("temporary folder");
    }
    const QString connectionText = Connection::connectionTextFor(m_dir.path());
    const QString path = Connection::dataSourceOf(connectionText);
    createFreshVault(path);
    // The flags of the program's own connection, so the bare side pays no locking the layer skips.
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        benchFail("open", m_raw);
    }
    const QByteArray key = Connection::passwordOf(connectionText).toUtf8();
    if (sqlite3_key(m_raw, key.constData(), static_cast<int>(key.size())) != SQLITE_OK) {
        benchFail("key", m_raw);
    }
    exec("SELECT count(*) FROM sqlite_master"); // a wrong key shows here, not as empty figures
    m_module.VaultConnection.setConnectionString(connectionText);
    m_module.VaultConnection.open();
}

BenchVault::~BenchVault() {
    sqlite3_close_v2(m_raw);
}

void BenchVault::exec(const char* sql) const {
    if (sqlite3_exec(m_raw, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        benchFail(sql, m_raw);
    }
}

qint64 BenchVault::addCategory(qint64 parent, const QString& name) const {
    Statement insert(m_raw, insertCategory);
    return addCategoryWith(insert, m_raw, parent, name);
}

std::vector<BenchCategory> BenchVault::addCategoryTree(const BenchTreeShape& shape) const {
    std::vector<BenchCategory> rows;
    rows.reserve(static_cast<size_t>(shape.categories()));
    exec("BEGIN");
    {
        Statement insert(m_raw, insertCategory);
        const auto add = [&](qint64 parent, const QString& name) {
            const qint64 id = addCategoryWith(insert, m_raw, parent, name);
            rows.push_back({id, parent, name});
            return id;
        };
        for (int a = 0; a < shape.levelOne; ++a) {
            const qint64 first = add(1, QStringLiteral("分类 %1").arg(a));
            for (int b = 0; b < shape.levelTwo; ++b) {
                const qint64 second = add(first, QStringLiteral("分类 %1.%2").arg(a).arg(b));
                for (int c = 0; c < shape.levelThree; ++c) {
                    add(second, QStringLiteral("分类 %1.%2.%3").arg(a).arg(b).arg(c));
                }
            }
        }
    }
    exec("COMMIT");
    return rows;
}

void BenchVault::setMasterPassword(const QString& password) const {
    Statement update(m_raw, "UPDATE Quorvane_Login SET Pass = ? WHERE ID = 1");
    update.bind(1, EncodeSecret(password + QStringLiteral("0"), Module::SecretKey));
    update.run("store the master password");
    exec("UPDATE Quorvane_Type SET Seq = 0 WHERE ID = 1");
}

void BenchVault::fillLoginScene(int entryCount, const QString& password) const {
    addCategoryTree(benchTree1000);
    const qint64 category = addCategory(1, QStringLiteral("大类"));
    addEntries(category, entryCount, [](int i) {
        const QString n = QString::number(i);
        return BenchEntry{QStringLiteral("账号 ") + n,
                          EncodeSecret(QStringLiteral("user") + n, Module::SecretKey),
                          EncodeSecret(QStringLiteral("Pa55-") + n, Module::SecretKey),
                          QStringLiteral("https://www.example.com/login"),
                          EncodeSecret(QStringLiteral("备注 ") + n, Module::SecretKey),
                          QStringLiteral("网络账号")};
    });
    setMasterPassword(password);
}

void BenchVault::addEntries(qint64 category, int count, const std::function<BenchEntry(int)>& entryAt) const {
    exec("BEGIN");
    {
        Statement insert(m_raw, "INSERT INTO Quorvane_Pass (Type, Caption, Name, Pass, Www, Remark, Sort, Seq) "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, 1)");
        for (int i = 0; i < count; ++i) {
            const BenchEntry entry = entryAt(i);
            insert.bind(1, category);
            insert.bind(2, entry.caption);
            insert.bind(3, entry.name);
            insert.bind(4, entry.pass);
            insert.bind(5, entry.www);
            insert.bind(6, entry.remark);
            insert.bind(7, entry.sort);
            insert.run("insert entry");
        }
    }
    exec("COMMIT");
}

int runBenchmarks(int argc, char** argv, BenchApplication application, const std::function<void()>& run) {
    std::optional<QApplication> app;
    if (application == BenchApplication::Widgets) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        app.emplace(argc, argv);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    int result = 0;
    try {
        if (run) {
            run();
        } else {
            benchmark::RunSpecifiedBenchmarks();
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        result = 1;
    }
    benchmark::Shutdown();
    return result;
}

void TimesReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        // The aggregates follow the single runs, so the median of the repetitions replaces them:
        // on a shared machine it is the figure a burst of other work disturbs least.
        if (run.run_type == Run::RT_Iteration ||
            (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")) {
            const double toMs = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            milliseconds[run.run_name.str()] = {run.GetAdjustedRealTime() * toMs, run.GetAdjustedCPUTime() * toMs};
        }
    }
}

void runWithRatios(const std::vector<RatioLine>& lines) {
    TimesReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The ratio of the real times is the one the goal is for; the ratio of CPU times beside it
    // shows how much of a difference came from other work on a shared machine.
    std::printf("\n%-44s %-28s %9s %9s %6s %5s %9s\n", "operation", "size", "ours ms", "limit ms", "ratio", "goal",
                "CPU ratio");
    for (const RatioLine& line : lines) {
        const auto ours = reporter.milliseconds.find(line.ours);
        const auto limit = reporter.milliseconds.find(line.limit);
        if (ours == reporter.milliseconds.end() || limit == reporter.milliseconds.end()) {
            continue;
        }
        const double ratio = ours->second.real / limit->second.real;
        std::printf("%-44s %-28s %9.3f %9.3f %6.2f %5.2f %9.2f%s\n", line.operation, line.size, ours->second.real,
                    limit->second.real, ratio, line.goal, ours->second.cpu / limit->second.cpu,
                    ratio <= line.goal ? "" : "  over the goal");
    }
    std::fflush(stdout);
}
