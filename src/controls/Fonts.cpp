#include "Fonts.h"

#include <QStringList>

QFont songTiFont(qreal pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("AR PL UMing CN")});
    font.setPointSizeF(pointSize);
    return font;
}
