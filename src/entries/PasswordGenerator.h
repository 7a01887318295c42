#pragma once

#include <QString>

class QRandomGenerator;

// What a generated password is made of.
struct PasswordRules {
    static constexpr int MinLength = 8;
    static constexpr int MaxLength = 128;

    int length = 20;
    bool upper = true;
    bool lower = true;
    bool digits = true;
    bool symbols = true;
    bool excludeLookAlikes = true; // 0 O 1 l I, which the eye mistakes for one another

    bool anyClass() const { return upper || lower || digits || symbols; }
};

namespace PasswordGenerator {

// Every password of the rules' length over the chosen classes that holds each chosen class at
// least once is equally likely: characters are drawn uniformly from the union of the classes, and
// a draw that misses a class is drawn again whole. Throws std::invalid_argument when no class is
// chosen or the length is outside MinLength .. MaxLength.
QString generate(const PasswordRules& rules, QRandomGenerator& random);
// The same with the operating system's generator.
QString generate(const PasswordRules& rules);

// log2 of the number of passwords generate() chooses among: length x log2(alphabet), less what
// the rule "each class at least once" rules out (counted by inclusion and exclusion). 0 without a
// class.
double strengthBits(const PasswordRules& rules);

// The characters of each class under the rules, in the order upper, lower, digits, symbols;
// empty for a class not chosen.
QStringList classesOf(const PasswordRules& rules);

} // namespace PasswordGenerator
