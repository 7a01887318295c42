#pragma once

#include <QString>

class QWidget;

// Dresses windows in the program's skin: a Qt style sheet with named colour slots ("@Slot")
// that a colour-scheme ini file in the same folder fills in.
class SkinEngine {
public:
    // Reads the skin and the scheme. Returns false, and leaves windows unskinned later, when either
    // file is missing or unreadable; never throws.
    bool loadSkin(const QString& skinFile, const QString& iniName);
    // Applies the loaded skin to a window; does nothing when no skin is loaded.
    void applyTo(QWidget* window) const;
    bool isLoaded() const { return !m_styleSheet.isEmpty(); }
    const QString& styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
};
