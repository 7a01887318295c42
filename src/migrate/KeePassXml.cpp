#include "KeePassXml.h"

#include "vault/Module.h"
#include "vault/RootCategory.h"
#include "vault/SecretCipher.h"
#include "vault/VaultError.h"

#include <QMap>
#include <QSet>
#include <QUuid>

#include <vector>

namespace {

// Stable identities: exporting the same vault again gives the same groups and entries, so a
// second import can be merged with the first.
const QUuid IdentitySpace = QUuid(QStringLiteral("{5a0c6f4e-2b7d-4c1a-9e3f-8d6b2a7c1e94}"));

struct Category {
    qint64 id = 0;
    qint64 parent = 0;
    QString name;
};

struct Entry {
    qint64 id = 0;
    qint64 category = 0;
    QString title, userName, password, url, notes, kind;
};

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Character data; a carriage return is written as a reference, or the reader would turn CR LF
// into LF and a remark would come back changed.
QString escaped(const QString& text, const QString& where) {
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c);
            out.append(text.at(++i));
            continue;
        }
        if (!isXmlChar(c.unicode())) {
            throw VaultError(VaultError::EngineFailure,
                             QStringLiteral("%1含有 XML 文件无法表示的字符 U+%2，无法导出。请先在程序中修改它。")
                                 .arg(where, QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0')));
        }
        switch (c.unicode()) {
        case u'&':
            out.append(QStringLiteral("&amp;"));
            break;
        case u'<':
            out.append(QStringLiteral("&lt;"));
            break;
        case u'>':
            out.append(QStringLiteral("&gt;"));
            break;
        case u'\r':
            out.append(QStringLiteral("&#13;"));
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

QString uuidText(const QString& what, qint64 id) {
    return QString::fromLatin1(QUuid::createUuidV5(IdentitySpace, what + QString::number(id)).toRfc4122().toBase64());
}

// A Null where the program always writes a text reads as empty here.
QString textOrEmpty(const Recordset& rows, const QString& column) {
    const QVariant value = rows.value(column);
    return value.isNull() ? QString() : value.toString();
}

QString secretOrEmpty(const Recordset& rows, const QString& column) {
    const QVariant value = rows.value(column);
    return value.isNull() ? QString() : DecodeSecret(value.toString(), Module::SecretKey);
}

class Writer {
public:
    Writer(const std::vector<Category>& categories, const std::vector<Entry>& entries) {
        for (const Category& category : categories) {
            m_children[category.parent].push_back(&category);
            m_byId.insert(category.id, &category);
        }
        for (const Entry& entry : entries) {
            m_entries[entry.category].push_back(&entry);
        }
    }

    KeePassExport write() {
        m_out += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<KeePassFile>\n"
                                "\t<Meta>\n\t\t<Generator>Vaultry</Generator>\n"
                                "\t\t<DatabaseName>Quorvane密码箱</DatabaseName>\n\t</Meta>\n\t<Root>\n");
        openGroup(uuidText(QStringLiteral("category:"), RootCategory::Key), QStringLiteral("全部分类"), 2);
        m_placed.insert(RootCategory::Key);
        writeContents(RootCategory::Key, 3);
        // What the tree cannot reach still belongs to the user: each detached branch goes under the root.
        for (const auto& [parent, children] : m_children.asKeyValueRange()) {
            for (const Category* category : children) {
                if (!m_placed.contains(category->id)) {
                    writeGroup(*topOfDetachedBranch(*category), 3);
                }
            }
        }
        for (const auto& [category, entries] : m_entries.asKeyValueRange()) {
            if (!m_placed.contains(category)) {
                for (const Entry* entry : entries) {
                    writeEntry(*entry, 3);
                }
            }
        }
        closeGroup(2);
        m_out += QStringLiteral("\t</Root>\n</KeePassFile>\n");
        return {m_out.toUtf8(), m_groups, m_entryCount};
    }

private:
    const Category* topOfDetachedBranch(const Category& category) const {
        const Category* top = &category;
        QSet<qint64> seen{top->id};
        for (;;) {
            const Category* parent = m_byId.value(top->parent);
            if (!parent || m_placed.contains(parent->id) || seen.contains(parent->id)) {
                return top;
            }
            seen.insert(parent->id);
            top = parent;
        }
    }

    void openGroup(const QString& uuid, const QString& name, int depth) {
        const QString indent(depth, u'\t');
        m_out += indent + QStringLiteral("<Group>\n") + indent + QStringLiteral("\t<UUID>") + uuid +
                 QStringLiteral("</UUID>\n") + indent + QStringLiteral("\t<Name>") + name + QStringLiteral("</Name>\n");
        ++m_groups;
    }

    void closeGroup(int depth) { m_out += QString(depth, u'\t') + QStringLiteral("</Group>\n"); }

    void writeGroup(const Category& category, int depth) {
        m_placed.insert(category.id);
        openGroup(uuidText(QStringLiteral("category:"), category.id),
                  escaped(category.name, QStringLiteral("分类（ID %1）的名称").arg(category.id)), depth);
        writeContents(category.id, depth + 1);
        closeGroup(depth);
    }

    void writeContents(qint64 id, int depth) {
        for (const Entry* entry : m_entries.value(id)) {
            writeEntry(*entry, depth);
        }
        for (const Category* child : m_children.value(id)) {
            // A loop in the parent links would repeat a branch without end.
            if (!m_placed.contains(child->id)) {
                writeGroup(*child, depth);
            }
        }
    }

    void writeEntry(const Entry& entry, int depth) {
        const QString indent(depth, u'\t');
        const QString where = QStringLiteral("条目“%1”（ID %2）的").arg(entry.title).arg(entry.id);
        m_out += indent + QStringLiteral("<Entry>\n") + indent + QStringLiteral("\t<UUID>") +
                 uuidText(QStringLiteral("entry:"), entry.id) + QStringLiteral("</UUID>\n");
        auto field = [&](const QString& key, const QString& value, const QString& label, bool secret = false) {
            m_out += indent + QStringLiteral("\t<String><Key>") + key + QStringLiteral("</Key><Value") +
                     (secret ? QStringLiteral(" ProtectInMemory=\"True\">") : QStringLiteral(">")) +
                     escaped(value, where + label) + QStringLiteral("</Value></String>\n");
        };
        field(QStringLiteral("Title"), entry.title, QStringLiteral("标题"));
        field(QStringLiteral("UserName"), entry.userName, QStringLiteral("账户名称"));
        field(QStringLiteral("Password"), entry.password, QStringLiteral("密码"), true);
        field(QStringLiteral("URL"), entry.url, QStringLiteral("网址"));
        field(QStringLiteral("Notes"), entry.notes, QStringLiteral("备注"));
        field(QStringLiteral("类型"), entry.kind, QStringLiteral("类型"));
        m_out += indent + QStringLiteral("</Entry>\n");
        ++m_entryCount;
    }

    QMap<qint64, std::vector<const Category*>> m_children;
    QMap<qint64, const Category*> m_byId;
    QMap<qint64, std::vector<const Entry*>> m_entries;
    QSet<qint64> m_placed;
    QString m_out;
    qint64 m_groups = 0;
    qint64 m_entryCount = 0;
};

} // namespace

KeePassExport keePassXmlOf(Module& module) {
    std::vector<Category> categories;
    const auto types = module.freshRecordset();
    types->open(QStringLiteral("SELECT * FROM Quorvane_Type ORDER BY Seq, ID"), module.VaultConnection);
    for (qint64 i = 0; i < types->recordCount(); ++i) {
        const qint64 id = types->integer(QStringLiteral("ID"));
        // The root row is the root group; its own name is never shown.
        if (id != RootCategory::Key) {
            const QVariant parent = types->value(QStringLiteral("PID"));
            categories.push_back({id, parent.isNull() ? -1 : types->integer(QStringLiteral("PID")),
                                  textOrEmpty(*types, QStringLiteral("Name"))});
        }
        types->moveNext();
    }
    types->close();

    std::vector<Entry> entries;
    const auto pass = module.freshRecordset();
    pass->open(QStringLiteral("SELECT * FROM Quorvane_Pass ORDER BY Seq, ID"), module.VaultConnection);
    for (qint64 i = 0; i < pass->recordCount(); ++i) {
        const QVariant category = pass->value(QStringLiteral("Type"));
        entries.push_back({pass->integer(QStringLiteral("ID")),
                           category.isNull() ? -1 : pass->integer(QStringLiteral("Type")),
                           textOrEmpty(*pass, QStringLiteral("Caption")), secretOrEmpty(*pass, QStringLiteral("Name")),
                           secretOrEmpty(*pass, QStringLiteral("Pass")), textOrEmpty(*pass, QStringLiteral("Www")),
                           secretOrEmpty(*pass, QStringLiteral("Remark")), textOrEmpty(*pass, QStringLiteral("Sort"))});
        pass->moveNext();
    }
    pass->close();

    return Writer(categories, entries).write();
}
