#pragma once

#include <mutex>

/**
    Lets the writers of this process take the database's write lock one
    after the other. SQLite makes a writer that finds the lock taken sleep
    and try again (1, 2, 5, ... ms), which leaves the lock idle while
    writers sleep; waiting here instead wakes the next writer as soon as
    the lock is free. Other processes are still kept in order by SQLite.

    Hold it around every write transaction of the stores, and take no other
    lock of the stores while holding it.
*/
inline std::mutex& writeGate()
{
    static std::mutex gate;
    return gate;
}
