#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

struct ChildLimits {
    // Address space the child may add to what it inherits.
    qint64 extraMemoryBytes = 0;
    std::chrono::seconds time{0};
};

// What became of work done in a child process.
struct ChildOutcome {
    enum class End { Finished, TimedOut, Killed };
    End end = End::Finished;
    int signal = 0;    // the signal that ended the child, for Killed
    QByteArray output; // all the child wrote, for Finished
};

// Runs work in a forked child under the limits and hands back the bytes it returns; a child that
// overruns its time is killed. Meant for parsers of untrusted files whose library may loop,
// crash or allocate without bound: the child only computes, writes to a pipe and ends with
// _exit, so it must not touch anything the parent's other threads may hold (no Qt objects with
// threads, no event loop, no dlopen). Throws VaultError when no child can be started.
ChildOutcome runInChild(const std::function<QByteArray()>& work, const ChildLimits& limits);
