#include "StatementShape.h"

#include <QStringView>

#include <limits>
#include <optional>
#include <utility>

namespace SqliteSupport {

namespace {

bool isIdentifierChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 0x80;
}

// Whether an identifier is the keyword (given in lower case); the engine's keywords are ASCII.
bool isWord(QStringView word, QLatin1StringView keyword) {
    if (word.size() != keyword.size()) {
        return false;
    }
    for (qsizetype i = 0; i < word.size(); ++i) {
        const char16_t c = word[i].unicode();
        if ((c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c) != keyword[i].unicode()) {
            return false;
        }
    }
    return true;
}

// The whole number a run of decimal digits stands for, when it fits 64 bits.
std::optional<qint64> decimalValue(QStringView digits) {
    quint64 value = 0;
    for (const QChar c : digits) {
        const auto digit = static_cast<quint64>(c.unicode() - u'0');
        if (value > (static_cast<quint64>(std::numeric_limits<qint64>::max()) - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return static_cast<qint64>(value);
}

// Where a quoted piece ("...", '...', `...`, [...]) starting at `from` ends (one past its closing
// character), or -1 when it is not closed.
qsizetype quotedEnd(QStringView sql, qsizetype from) {
    const QChar open = sql[from];
    const QChar close = open == u'[' ? QChar(u']') : open;
    for (qsizetype i = from + 1; i < sql.size(); ++i) {
        if (sql[i] == close) {
            // A doubled quote stands for itself inside the piece.
            if (close != u']' && i + 1 < sql.size() && sql[i + 1] == close) {
                ++i;
                continue;
            }
            return i + 1;
        }
    }
    return -1;
}

} // namespace

StatementShape shapeOf(const QString& sql) {
    const StatementShape unchanged{sql, {}, sql.size()};
    const QStringView text(sql);
    const qsizetype n = text.size();

    std::vector<std::pair<qsizetype, qsizetype>> marks; // start and end of each literal taken out
    std::vector<qint64> literals;
    int depth = 0;
    bool inWhere = false;
    qsizetype orderAt = -1;
    bool limitAfterOrder = false;
    qsizetype end = n;

    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        const QChar next = i + 1 < n ? text[i + 1] : QChar();
        if (c.isSpace()) {
            ++i;
        } else if (c == u'-' && next == u'-') {
            const qsizetype lineEnd = text.indexOf(u'\n', i);
            i = lineEnd < 0 ? n : lineEnd + 1;
        } else if (c == u'/' && next == u'*') {
            const qsizetype commentEnd = text.indexOf(u"*/", i + 2);
            i = commentEnd < 0 ? n : commentEnd + 2;
        } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            i = quotedEnd(text, i);
            if (i < 0) {
                return unchanged; // the engine will say what is wrong
            }
        } else if (c == u'(') {
            ++depth;
            ++i;
        } else if (c == u')') {
            --depth;
            ++i;
        } else if (c == u';' && depth == 0) {
            end = i;
            for (qsizetype rest = i; rest < n; ++rest) {
                if (!text[rest].isSpace() && text[rest] != u';') {
                    return unchanged; // a second statement: refused when prepared
                }
            }
            break;
        } else if (c == u'?' || c == u':' || c == u'@' || c == u'$') {
            return unchanged; // parameters of its own: the text is taken as it is
        } else if (c.isDigit() || (c == u'.' && next.isDigit())) {
            // A number; only a plain run of digits is a whole-number literal.
            const qsizetype start = i;
            while (i < n && text[i].isDigit()) {
                ++i;
            }
            bool plain = i > start;
            while (i < n && (isIdentifierChar(text[i]) || text[i] == u'.' ||
                             ((text[i] == u'+' || text[i] == u'-') && (text[i - 1] == u'e' || text[i - 1] == u'E')))) {
                plain = false;
                ++i;
            }
            if (plain && depth == 0 && inWhere) {
                if (const auto value = decimalValue(text.mid(start, i - start))) {
                    marks.emplace_back(start, i);
                    literals.push_back(*value);
                }
            }
        } else if (isIdentifierChar(c)) {
            const qsizetype start = i;
            while (i < n && isIdentifierChar(text[i])) {
                ++i;
            }
            if (depth != 0) {
                continue;
            }
            const QStringView word = text.mid(start, i - start);
            if (isWord(word, QLatin1StringView("where"))) {
                inWhere = true;
            } else if (isWord(word, QLatin1StringView("group")) || isWord(word, QLatin1StringView("having")) ||
                       isWord(word, QLatin1StringView("window")) || isWord(word, QLatin1StringView("union")) ||
                       isWord(word, QLatin1StringView("except")) || isWord(word, QLatin1StringView("intersect"))) {
                inWhere = false;
            } else if (isWord(word, QLatin1StringView("order"))) {
                inWhere = false;
                orderAt = start;
                limitAfterOrder = false;
            } else if (isWord(word, QLatin1StringView("limit"))) {
                inWhere = false;
                limitAfterOrder = orderAt >= 0;
            }
        } else {
            ++i;
        }
    }
    if (depth != 0) {
        return unchanged;
    }

    // The text up to `until` with every literal before it replaced by a mark.
    const auto shapedUpTo = [&](qsizetype until) {
        QString shaped;
        shaped.reserve(until);
        qsizetype from = 0;
        for (const auto& [start, stop] : marks) {
            if (start >= until) {
                break;
            }
            shaped += text.mid(from, start - from);
            shaped += u'?';
            from = stop;
        }
        shaped += text.mid(from, until - from);
        return shaped;
    };
    StatementShape shape;
    shape.sql = marks.empty() ? sql : shapedUpTo(n);
    // A LIMIT after the ORDER BY depends on the order; the rows are then counted as they are.
    // Every mark lies before the cut, so the cut moves by what the marks took out.
    qsizetype cut = orderAt >= 0 && !limitAfterOrder ? orderAt : end;
    for (const auto& [start, stop] : marks) {
        cut -= stop - start - 1;
    }
    shape.unorderedLength = cut;
    shape.literals = std::move(literals);
    return shape;
}

} // namespace SqliteSupport
