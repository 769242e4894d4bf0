#include "store/ConnectionPool.h"

ConnectionPool::ConnectionPool (std::string path)
    : databasePath (std::move (path))
{
}

ConnectionPool::Lease::Lease (ConnectionPool& owner, std::unique_ptr<Database> leased)
    : pool (&owner), database (std::move (leased))
{
}

ConnectionPool::Lease::~Lease()
{
    if (database != nullptr)
        pool->giveBack (std::move (database));
}

ConnectionPool::Lease ConnectionPool::acquire()
{
    {
        const std::lock_guard<std::mutex> guard (lock);

        if (! idle.empty())
        {
            auto database = std::move (idle.back());
            idle.pop_back();
            return Lease (*this, std::move (database));
        }
    }

    return Lease (*this, std::make_unique<Database> (databasePath));
}

void ConnectionPool::giveBack (std::unique_ptr<Database> database)
{
    // A connection to a server that went away is not kept: the next
    // request opens a new one.
    if (! database->isUsable())
        return;

    const std::lock_guard<std::mutex> guard (lock);
    idle.push_back (std::move (database));
}
