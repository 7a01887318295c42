#pragma once

class Connection;

// Makes the reads and the writes of one operation a whole: from its start no other program can
// write to the file, so what the operation read is still so when it writes, and nothing it wrote
// stays unless commit() is reached (an error or an early return undoes it all).
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& connection);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    void commit();

private:
    Connection& m_connection;
    bool m_open = false;
};
