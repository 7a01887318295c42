#pragma once

#include "Platform.h"
#include "vault/VaultError.h"

#include <QString>
#include <exception>
#include <utility>

class QWidget;

// The two kinds of event handler. No exception may cross a Qt event handler, so each handler
// body runs through one of these.

// The "错误" box: text = description, title = "错误" + number, critical icon.
void reportError(Platform& platform, QWidget* parent, const VaultError& error);
// Anything that is not a VaultError still gets a box with a number.
VaultError asVaultError(const std::exception& error);

// With a trap: an error is reported; returns false so the handler can make its own choice.
template <typename Body> bool runTrapped(Platform& platform, QWidget* parent, Body&& body) {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (const VaultError& error) {
        reportError(platform, parent, error);
    } catch (const std::exception& error) {
        reportError(platform, parent, asVaultError(error));
    }
    return false;
}

// Without a trap: an error is reported, then the program ends.
template <typename Body> void runFatal(Platform& platform, QWidget* parent, Body&& body) {
    if (!runTrapped(platform, parent, std::forward<Body>(body))) {
        platform.programEnd.endProgram(1);
    }
}
