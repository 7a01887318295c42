#pragma once

#include "TermMatcher.h"

#include <QString>
#include <array>
#include <vector>

class Module;

// What the search looks through: every entry of every category the tree shows, with its title,
// account name, web address and remark (the secrets deciphered), and the category names. It never
// reads a password. It holds the vault's texts only while it lives: the find dialog makes one when
// it opens, and the texts go with it when it closes.
class EntryIndex {
public:
    // Reads the vault once; engine failures are thrown as VaultError. A secret that cannot be
    // deciphered (a damaged field) is searched as empty: one bad entry must not hide the others.
    explicit EntryIndex(Module& module);

    // The entries the query finds, as indices: blanks separate terms, and an entry is found when
    // each term matches its title, account name, web address, remark, or the name of its category
    // or of a category above it (TermMatcher says how a term matches). Entries whose title holds
    // every term come first; otherwise the order is the tree's, then the list's.
    std::vector<int> find(const QString& query) const;
    // The same, looking only at the entries an earlier query found, which is all a query can find
    // when it is the earlier one with more typed at its end (narrows): a term matches wherever its
    // longer form does, and each further term only takes entries away.
    std::vector<int> find(const QString& query, const std::vector<int>& earlierFound) const;
    static bool narrows(const QString& earlierQuery, const QString& query);

    int size() const { return static_cast<int>(m_entries.size()); }
    qint64 entryKey(int index) const { return m_entries[static_cast<size_t>(index)].key; }
    qint64 categoryKey(int index) const;
    QString title(int index) const { return m_entries[static_cast<size_t>(index)].title; }
    QString accountName(int index) const { return m_entries[static_cast<size_t>(index)].accountName; }
    // "全部分类" for an entry filed under the root, else the names from the top: "银行 / 工行".
    QString categoryPath(int index) const;

private:
    enum Field { Title, AccountName, Www, Remark, FieldCount };
    struct Category {
        qint64 key = 0;
        int parent = -1; // index; -1 for the root
        QString name;
        QString folded;
    };
    struct Entry {
        qint64 key = 0;
        int category = 0;
        QString title;
        QString accountName;
        qsizetype start = 0; // of the folded fields in m_folded
        std::array<qsizetype, FieldCount> ends{};
    };

    void readCategories(Module& module);
    void readEntries(Module& module);
    QStringView field(const Entry& entry, Field which) const;
    std::vector<int> findAmong(const QString& query, const std::vector<char>* candidates) const;

    std::vector<Category> m_categories; // in the tree's order: a parent before its children
    std::vector<Entry> m_entries;
    QString m_folded; // every entry's folded fields, one after the other
};
