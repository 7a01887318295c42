#pragma once

#include "Platform.h"
#include "vault/VaultError.h"

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

// The error rule of the windows. No exception may cross a Qt event handler, and each handler is of
// one of two kinds, chosen where it is connected to its signal:
// - connectTrapped: an error is reported in the "错误" box, then the handler's own choice runs
//   (onError: nothing by default, so the window stays as the error left it);
// - connectFatal: an error is reported in the same box, then the program ends.
// A handler itself never catches. runTrapped and runFatal apply the same two kinds to work that no
// signal starts: the start-up, a dialog's load.

// The "错误" box: text = description, title = "错误" + number, critical icon.
void reportError(Platform& platform, QWidget* parent, const VaultError& error);

// With a trap: an error is reported and handed back, so the caller can make its own choice; nothing
// when the body ran through.
template <typename Body> std::optional<VaultError> runTrapped(Platform& platform, QWidget* parent, Body&& body) {
    std::optional<VaultError> failure;
    try {
        std::forward<Body>(body)();
    } catch (const VaultError& error) {
        failure = error;
    } catch (const std::exception& error) {
        // Anything that is not a VaultError still gets a box with a number: see VaultError.h for which.
        failure = VaultError::from(error);
    }
    if (failure) {
        reportError(platform, parent, *failure);
    }
    return failure;
}

// Without a trap: an error is reported, then the program ends.
template <typename Body> void runFatal(Platform& platform, QWidget* parent, Body&& body) {
    if (runTrapped(platform, parent, std::forward<Body>(body))) {
        platform.programEnd.endProgram(1);
    }
}

// Work whose failure the window answers itself, without a box (the About box's system-information
// tool and web link): true when it ran through. Any exception counts, not only the program's own.
template <typename Body> bool runQuietly(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
        return true;
    } catch (...) {
        return false;
    }
}

namespace ErrorRule {

// Hands a handler the signal's arguments when it takes them, else calls it without.
template <typename Handler, typename... Args> void call(Handler& handler, Args&&... args) {
    if constexpr (std::is_invocable_v<Handler&, Args...>) {
        std::invoke(handler, std::forward<Args>(args)...);
    } else {
        std::invoke(handler);
    }
}

} // namespace ErrorRule

// The handler runs with a trap on every emission of signal; the connection lives as long as sender.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectTrapped(Platform& platform, QWidget* parent, Sender* sender, Signal signal,
                                       Handler handler, std::function<void(const VaultError&)> onError = {}) {
    return QObject::connect(sender, signal, sender,
                            [&platform, parent, handler = std::move(handler),
                             onError = std::move(onError)](auto&&... args) mutable -> void {
                                const std::optional<VaultError> failure =
                                    runTrapped(platform, parent, [&] { ErrorRule::call(handler, args...); });
                                if (failure && onError) {
                                    onError(*failure);
                                }
                            });
}

// The handler runs without a trap on every emission of signal: an error ends the program.
template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection connectFatal(Platform& platform, QWidget* parent, Sender* sender, Signal signal,
                                     Handler handler) {
    return QObject::connect(sender, signal, sender,
                            [&platform, parent, handler = std::move(handler)](auto&&... args) mutable -> void {
                                runFatal(platform, parent, [&] { ErrorRule::call(handler, args...); });
                            });
}
