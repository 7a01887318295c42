#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Acts on a modal dialog once it is up. A dialog's exec() blocks the test, so the action is
// scheduled beforehand; it waits (polling the event loop) until a dialog of the wanted type is
// the active modal widget, then runs. Gives up after a few seconds, leaving the failure to the
// test's own checks. Only the pending timer holds the poll, so nothing is left behind however the
// polling stops: the action ran, the time ran out, or the test function that asked for it returned.
// An action usually refers to the test's locals: one left waiting (a dialog that rightly never came)
// must never act on the next test's dialog.

// Counts the test functions that have returned (the suite guard bumps it after each).
inline int& testFunctionsEnded() {
    static int ended = 0;
    return ended;
}

template <typename Dialog> void whenModal(std::function<void(Dialog*)> action, int timeoutMs = 5000) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto poll = std::make_shared<std::function<void()>>();
    const std::weak_ptr<std::function<void()>> self = poll;
    *poll = [action = std::move(action), clock, self, timeoutMs, test = testFunctionsEnded()]() {
        if (test != testFunctionsEnded()) {
            return;
        }
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            action(dialog);
            return;
        }
        if (clock->elapsed() < timeoutMs) {
            if (const auto again = self.lock()) {
                QTimer::singleShot(10, [again] { (*again)(); });
            }
        }
    };
    QTimer::singleShot(0, [poll] { (*poll)(); });
}
