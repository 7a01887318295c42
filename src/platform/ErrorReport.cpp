#include "ErrorReport.h"

void reportError(Platform& platform, QWidget* parent, const VaultError& error) {
    platform.boxes.show(parent, error.description(), QStringLiteral("错误") + QString::number(error.number()),
                        BoxButtons::Ok, BoxIcon::Critical);
}
