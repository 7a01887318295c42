#include "PasswordGenerator.h"

#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace PasswordGenerator {

namespace {

const QString LookAlikes = QStringLiteral("0O1lI");

QString without(QString characters, bool excludeLookAlikes) {
    if (excludeLookAlikes) {
        for (const QChar ch : LookAlikes) {
            characters.remove(ch);
        }
    }
    return characters;
}

} // namespace

QStringList classesOf(const PasswordRules& rules) {
    const bool ex = rules.excludeLookAlikes;
    return {rules.upper ? without(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), ex) : QString(),
            rules.lower ? without(QStringLiteral("abcdefghijklmnopqrstuvwxyz"), ex) : QString(),
            rules.digits ? without(QStringLiteral("0123456789"), ex) : QString(),
            rules.symbols ? QStringLiteral("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~") : QString()};
}

QString generate(const PasswordRules& rules, QRandomGenerator& random) {
    if (!rules.anyClass()) {
        throw std::invalid_argument("生成密码至少要选择一类字符");
    }
    if (rules.length < PasswordRules::MinLength || rules.length > PasswordRules::MaxLength) {
        throw std::invalid_argument("密码长度须在 8 到 128 之间");
    }
    const QStringList classes = classesOf(rules);
    const QString alphabet = classes.join(QString());
    QString password(rules.length, QChar());
    for (;;) {
        for (QChar& ch : password) {
            ch = alphabet[static_cast<qsizetype>(random.bounded(static_cast<quint32>(alphabet.size())))];
        }
        bool everyClass = true;
        for (const QString& characters : classes) {
            if (!characters.isEmpty() &&
                std::none_of(password.cbegin(), password.cend(), [&](QChar ch) { return characters.contains(ch); })) {
                everyClass = false;
            }
        }
        if (everyClass) {
            return password;
        }
    }
}

QString generate(const PasswordRules& rules) {
    return generate(rules, *QRandomGenerator::system());
}

double strengthBits(const PasswordRules& rules) {
    if (!rules.anyClass()) {
        return 0;
    }
    const QStringList classes = classesOf(rules);
    std::vector<double> sizes;
    double alphabet = 0;
    for (const QString& characters : classes) {
        if (!characters.isEmpty()) {
            sizes.push_back(static_cast<double>(characters.size()));
            alphabet += sizes.back();
        }
    }
    // The share of all strings over the alphabet that hold every class: the sum over the sets of
    // classes left out, of (-1)^(classes left out) x (share of strings avoiding them).
    double share = 0;
    const unsigned subsets = 1u << sizes.size();
    for (unsigned left = 0; left < subsets; ++left) {
        double avoided = 0;
        int count = 0;
        for (size_t c = 0; c < sizes.size(); ++c) {
            if ((left >> c) & 1u) {
                avoided += sizes[c];
                ++count;
            }
        }
        const double term = std::pow(1.0 - avoided / alphabet, rules.length);
        share += count % 2 == 0 ? term : -term;
    }
    return rules.length * std::log2(alphabet) + std::log2(share);
}

} // namespace PasswordGenerator
