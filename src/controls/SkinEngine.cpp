#include "SkinEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QWidget>

namespace {

bool readUtf8(const QString& path, QString& text) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    return file.error() == QFileDevice::NoError;
}

// The [Colors] section of a colour-scheme file: "Slot=value" lines; ";" and "#" at the start of a
// line begin a comment. Written by hand because QSettings would take "#rrggbb" for a comment.
QHash<QString, QString> colourSlots(const QString& ini) {
    QHash<QString, QString> scheme;
    bool inColours = false;
    for (QString line : ini.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inColours =
                line.mid(1, line.size() - 2).trimmed().compare(QLatin1String("Colors"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inColours && equals > 0) {
            scheme.insert(line.left(equals).trimmed().toLower(), line.mid(equals + 1).trimmed());
        }
    }
    return scheme;
}

} // namespace

bool SkinEngine::loadSkin(const QString& skinFile, const QString& iniName) {
    m_styleSheet.clear();
    QString skin;
    QString ini;
    const QString iniPath = QFileInfo(skinFile).dir().filePath(iniName);
    if (iniName.isEmpty() || !readUtf8(skinFile, skin) || !readUtf8(iniPath, ini)) {
        return false;
    }
    QHash<QString, QString> scheme = colourSlots(ini);
    // Pictures a skin refers to sit beside it: "url(@SkinDir/arrow.png)".
    scheme.insert(QStringLiteral("skindir"), QFileInfo(skinFile).absolutePath());

    // Comments may mention slots; they are of no use to Qt either.
    static const QRegularExpression comment(QStringLiteral("/\\*.*?\\*/"),
                                            QRegularExpression::DotMatchesEverythingOption);
    skin.remove(comment);

    // A slot the scheme does not fill would leave a sheet Qt rejects as a whole: refuse the pair.
    static const QRegularExpression slotName(QStringLiteral("@([A-Za-z_][A-Za-z0-9_]*)"));
    QString result;
    qsizetype done = 0;
    for (auto match = slotName.globalMatch(skin); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const auto value = scheme.constFind(found.captured(1).toLower());
        if (value == scheme.constEnd()) {
            return false;
        }
        result += QStringView(skin).mid(done, found.capturedStart() - done);
        result += *value;
        done = found.capturedEnd();
    }
    result += QStringView(skin).mid(done);
    m_styleSheet = result.trimmed().isEmpty() ? QString() : result;
    return isLoaded();
}

void SkinEngine::applyTo(QWidget* window) const {
    if (window != nullptr && isLoaded()) {
        window->setStyleSheet(m_styleSheet);
    }
}
