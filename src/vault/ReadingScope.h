#pragma once

#include <memory>

class Connection;
namespace SqliteSupport {
struct PreparedStatement;
}

// Holds the file in one state while it lives: the record sets opened meanwhile on the connection
// read that state, without each of them taking the file and giving it back (which, for a tree of
// thousands of categories read with as many small queries, costs more than the reading). Writes
// on the connection still go through at once. Another program cannot write to the file until it
// ends, so it lives no longer than one burst of reading.
class ReadingScope {
public:
    explicit ReadingScope(Connection& connection);
    ~ReadingScope();
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

private:
    std::shared_ptr<SqliteSupport::PreparedStatement> m_statement;
};
