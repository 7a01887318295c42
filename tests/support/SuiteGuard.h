#pragma once

#include <QObject>
#include <QtTest>

// Runs a test object as QTest::qExec does, except that an exception escaping a test function (or
// its _data function) fails that function, for that data row alone, with the error's number and
// text; the rest of the suite still runs. QTest itself (Qt 6.4) reports "Caught unhandled
// exception" without a word of what was thrown and then rethrows it, which ends the program.
int runGuarded(QObject& suite, int argc, char* argv[]);

// QTEST_MAIN with the guard.
#define VAULTRY_TEST_MAIN(TestObject)                                                                                  \
    int main(int argc, char* argv[]) {                                                                                 \
        QTEST_MAIN_SETUP()                                                                                             \
        TestObject suite;                                                                                              \
        return runGuarded(suite, argc, argv);                                                                          \
    }

// QTEST_GUILESS_MAIN with the guard, for suites that need no window system.
#define VAULTRY_GUILESS_TEST_MAIN(TestObject)                                                                          \
    int main(int argc, char* argv[]) {                                                                                 \
        QTEST_QAPP_SETUP(QCoreApplication)                                                                             \
        TestObject suite;                                                                                              \
        return runGuarded(suite, argc, argv);                                                                          \
    }
