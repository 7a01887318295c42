#include "JetText.h"

std::optional<QString> decodeJetText(QByteArrayView bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    QString text;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        text.reserve(size);
        bool oneByte = true;
        qsizetype i = 2;
        while (i < size) {
            // A 0x00 byte can never start a unit of its own in either run: it is the switch.
            if (data[i] == 0x00) {
                oneByte = !oneByte;
                ++i;
            } else if (oneByte) {
                text.append(QChar(static_cast<char16_t>(data[i])));
                ++i;
            } else if (i + 1 < size) {
                text.append(QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8))));
                i += 2;
            } else {
                return std::nullopt;
            }
        }
        return text;
    }
    if (size % 2 != 0) {
        return std::nullopt;
    }
    text.resize(size / 2);
    for (qsizetype u = 0; u < size / 2; ++u) {
        text[u] = QChar(static_cast<char16_t>(data[2 * u] | (data[2 * u + 1] << 8)));
    }
    return text;
}
