#pragma once

#include <QtGlobal>

// The root category every vault holds from the start: the tree's top node, the group the export
// hangs everything from, and the row whose Seq is RootSeq. It can be renamed, never deleted.
namespace RootCategory {

constexpr qint64 Key = 1;     // its ID
constexpr qint64 Parent = -1; // its PID, which no other category has

} // namespace RootCategory
