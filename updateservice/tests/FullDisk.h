#pragma once

#include <atomic>

struct sqlite3_vfs;

/**
    A disk that fills up on demand, for tests: while an object lives, every
    SQLite connection opened in the process uses the system's files through
    it, and while `full` is set every write to them fails as a full disk
    makes it fail (SQLITE_FULL). Reads go on as before.

    Make it before the connections it should cover and let it outlive them.
    One at a time.
*/
class FullDisk
{
public:
    FullDisk();
    ~FullDisk();

    FullDisk (const FullDisk&) = delete;
    FullDisk& operator= (const FullDisk&) = delete;

    std::atomic<bool> full { false };

private:
    sqlite3_vfs* system = nullptr;
};
