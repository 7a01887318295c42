#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// A Jet 4 text value as it lies in the file: UTF-16LE, or "compressed" when it begins with
// FF FE. A compressed value starts in one-byte units (the low byte of a UTF-16 unit whose high
// byte is 0); each 0x00 byte switches between one-byte and two-byte units. Every unit is kept,
// U+0000 included. Nothing for bytes no writer could have produced (half a unit at the end).
std::optional<QString> decodeJetText(QByteArrayView bytes);
