#pragma once

#include <QString>

// The reversible keyed transform of the stored secrets (account name, password, remark and the
// master password): a character-wise 16-bit XOR of code-page-936 codes with a repeating key,
// then, for an even length, a reversal of each half.
//
// The code mapping is total and reversible: every text comes back unchanged, including
// characters GBK does not have (they travel as escape codes) and codes GBK does not define
// (they appear in the stored form as private-use characters U+F0000 + code).
// Where GBK defines every step, the stored form is exactly the classic algorithm's.
// The key must not be empty (both functions throw VaultError for an empty key).
QString EncodeSecret(const QString& text, const QString& key);
// Throws VaultError when the stored form holds a character no encoding could have produced.
QString DecodeSecret(const QString& text, const QString& key);
