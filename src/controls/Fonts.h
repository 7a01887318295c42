#pragma once

#include <QFont>

// 宋体 as the windows ask for it: fontconfig does not know the Chinese name, and a bare "SimSun"
// falls back to a Japanese glyph set, so the families are listed in order of preference.
QFont songTiFont(qreal pointSize);
