#include "EntryIndex.h"

#include "vault/Module.h"
#include "vault/RootCategory.h"
#include "vault/SecretCipher.h"
#include "vault/Statements.h"
#include "vault/VaultError.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>

namespace {

QString textOf(const Recordset& rs, const QString& column) {
    return rs.value(column).toString(); // a Null is searched as an empty text
}

QString secretOf(const Recordset& rs, const QString& column) {
    try {
        return DecodeSecret(textOf(rs, column), Module::SecretKey);
    } catch (const VaultError&) {
        return {};
    }
}

} // namespace

EntryIndex::EntryIndex(Module& module) {
    // Both reads see one state of the file.
    const ReadingScope reading(module.VaultConnection);
    readCategories(module);
    readEntries(module);
}

// The categories the tree shows, in its order; rows not reachable from the root are left out, as
// the tree leaves them out, since a found entry could not be shown.
void EntryIndex::readCategories(Module& module) {
    struct Row {
        qint64 key;
        qint64 parentKey;
        QString name;
    };
    std::vector<Row> rows;
    QHash<qint64, std::vector<size_t>> children;
    const auto rs = module.freshRecordset();
    rs->open(Statements::searchCategories(), module.VaultConnection);
    for (qint64 i = 1, n = rs->recordCount(); i <= n; ++i) {
        rows.push_back({rs->integer(QStringLiteral("ID")), rs->integer(QStringLiteral("PID")),
                        textOf(*rs, QStringLiteral("Name"))});
        children[rows.back().parentKey].push_back(rows.size() - 1);
        rs->moveNext();
    }
    rs->close();

    m_categories.push_back({RootCategory::Key, -1, QStringLiteral("全部分类"), QString()});
    // Depth first without recursion: a deep chain of categories must not exhaust the stack.
    std::vector<std::pair<int, size_t>> stack; // parent index, row
    const auto pushChildren = [&](int parentIndex, qint64 parentKey) {
        const auto found = children.constFind(parentKey);
        if (found == children.constEnd()) {
            return;
        }
        for (auto it = found->rbegin(); it != found->rend(); ++it) {
            stack.emplace_back(parentIndex, *it);
        }
    };
    pushChildren(0, RootCategory::Key);
    while (!stack.empty()) {
        const auto [parentIndex, row] = stack.back();
        stack.pop_back();
        const Row& category = rows[row];
        if (category.key == RootCategory::Key) {
            continue;
        }
        m_categories.push_back({category.key, parentIndex, category.name, foldForSearch(category.name)});
        pushChildren(static_cast<int>(m_categories.size() - 1), category.key);
    }
}

void EntryIndex::readEntries(Module& module) {
    QHash<qint64, int> categoryIndex;
    for (size_t i = 0; i < m_categories.size(); ++i) {
        categoryIndex.insert(m_categories[i].key, static_cast<int>(i));
    }
    const auto rs = module.freshRecordset();
    rs->open(Statements::searchEntries(), module.VaultConnection);
    const qint64 rows = rs->recordCount();
    m_entries.reserve(static_cast<size_t>(rows));
    for (qint64 i = 1; i <= rows; ++i, rs->moveNext()) {
        const auto category = categoryIndex.constFind(rs->integer(QStringLiteral("Type")));
        if (category == categoryIndex.constEnd()) {
            continue;
        }
        Entry entry;
        entry.key = rs->integer(QStringLiteral("ID"));
        entry.category = *category;
        entry.title = textOf(*rs, QStringLiteral("Caption"));
        entry.accountName = secretOf(*rs, QStringLiteral("Name"));
        entry.start = m_folded.size();
        const QString texts[FieldCount] = {entry.title, entry.accountName, textOf(*rs, QStringLiteral("Www")),
                                           secretOf(*rs, QStringLiteral("Remark"))};
        for (int f = 0; f < FieldCount; ++f) {
            m_folded += foldForSearch(texts[f]);
            entry.ends[static_cast<size_t>(f)] = m_folded.size();
        }
        m_entries.push_back(std::move(entry));
    }
    rs->close();
    m_folded.squeeze();
    // The rows come in the list's order within a category; the tree's order goes first.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return a.category < b.category; });
}

QStringView EntryIndex::field(const Entry& entry, Field which) const {
    const qsizetype from = which == Title ? entry.start : entry.ends[static_cast<size_t>(which) - 1];
    return QStringView(m_folded).sliced(from, entry.ends[static_cast<size_t>(which)] - from);
}

qint64 EntryIndex::categoryKey(int index) const {
    return m_categories[static_cast<size_t>(m_entries[static_cast<size_t>(index)].category)].key;
}

QString EntryIndex::categoryPath(int index) const {
    int category = m_entries[static_cast<size_t>(index)].category;
    if (category == 0) {
        return m_categories[0].name;
    }
    QStringList names;
    for (; category > 0; category = m_categories[static_cast<size_t>(category)].parent) {
        names.prepend(m_categories[static_cast<size_t>(category)].name);
    }
    return names.join(QStringLiteral(" / "));
}

std::vector<int> EntryIndex::find(const QString& query) const {
    return findAmong(query, nullptr);
}

std::vector<int> EntryIndex::find(const QString& query, const std::vector<int>& earlierFound) const {
    // Marks rather than the list itself, which comes partitioned, not in the tree's order.
    std::vector<char> candidates(m_entries.size(), 0);
    for (const int entry : earlierFound) {
        candidates[static_cast<size_t>(entry)] = 1;
    }
    return findAmong(query, &candidates);
}

bool EntryIndex::narrows(const QString& earlierQuery, const QString& query) {
    const QString earlier = foldForSearch(earlierQuery);
    return !earlier.trimmed().isEmpty() && foldForSearch(query).startsWith(earlier);
}

std::vector<int> EntryIndex::findAmong(const QString& query, const std::vector<char>* candidates) const {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList terms = foldForSearch(query).split(blanks, Qt::SkipEmptyParts);
    if (terms.isEmpty()) {
        return {};
    }
    std::vector<TermMatcher> matchers;
    // Per term, whether a category or one above it has a matching name. The root's fixed text is
    // not the user's: it would match every entry.
    std::vector<std::vector<char>> inCategory;
    for (const QString& term : terms) {
        const TermMatcher& matcher = matchers.emplace_back(term);
        std::vector<char>& hit = inCategory.emplace_back(m_categories.size(), 0);
        for (size_t c = 1; c < m_categories.size(); ++c) {
            const Category& category = m_categories[c];
            hit[c] = static_cast<char>(hit[static_cast<size_t>(category.parent)] || matcher.matches(category.folded));
        }
    }

    std::vector<int> inTitle;
    std::vector<int> elsewhere;
    for (size_t e = 0; e < m_entries.size(); ++e) {
        if (candidates != nullptr && (*candidates)[e] == 0) {
            continue;
        }
        const Entry& entry = m_entries[e];
        bool allInTitle = true;
        bool found = true;
        for (size_t t = 0; t < matchers.size() && found; ++t) {
            const TermMatcher& matcher = matchers[t];
            if (matcher.matches(field(entry, Title))) {
                continue;
            }
            allInTitle = false;
            found = inCategory[t][static_cast<size_t>(entry.category)] || matcher.matches(field(entry, AccountName)) ||
                    matcher.matches(field(entry, Www)) || matcher.matches(field(entry, Remark));
        }
        if (found) {
            (allInTitle ? inTitle : elsewhere).push_back(static_cast<int>(e));
        }
    }
    inTitle.insert(inTitle.end(), elsewhere.begin(), elsewhere.end());
    return inTitle;
}
