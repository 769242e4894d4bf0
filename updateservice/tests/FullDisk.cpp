#include "FullDisk.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

namespace
{
    const FullDisk* active = nullptr;
    sqlite3_vfs shim {};

    // The system's file follows this header in the same allocation.
    struct File
    {
        sqlite3_file base;
        sqlite3_file* real;
    };

    sqlite3_file* real (sqlite3_file* f) { return reinterpret_cast<File*> (f)->real; }
    const sqlite3_io_methods& of (sqlite3_file* f) { return *real (f)->pMethods; }

    int write (sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset)
    {
        if (active != nullptr && active->full)
            return SQLITE_FULL;

        return of (f).xWrite (real (f), data, amount, offset);
    }

    int truncate (sqlite3_file* f, sqlite3_int64 size)
    {
        return of (f).xTruncate (real (f), size);
    }

    int close (sqlite3_file* f)
    {
        const auto rc = of (f).xClose (real (f));
        f->pMethods = nullptr;
        return rc;
    }

    const sqlite3_io_methods methods {
        3,
        close,
        [] (sqlite3_file* f, void* data, int amount, sqlite3_int64 offset) { return of (f).xRead (real (f), data, amount, offset); },
        write,
        truncate,
        [] (sqlite3_file* f, int flags) { return of (f).xSync (real (f), flags); },
        [] (sqlite3_file* f, sqlite3_int64* size) { return of (f).xFileSize (real (f), size); },
        [] (sqlite3_file* f, int level) { return of (f).xLock (real (f), level); },
        [] (sqlite3_file* f, int level) { return of (f).xUnlock (real (f), level); },
        [] (sqlite3_file* f, int* out) { return of (f).xCheckReservedLock (real (f), out); },
        [] (sqlite3_file* f, int op, void* arg) { return of (f).xFileControl (real (f), op, arg); },
        [] (sqlite3_file* f) { return of (f).xSectorSize (real (f)); },
        [] (sqlite3_file* f) { return of (f).xDeviceCharacteristics (real (f)); },
        [] (sqlite3_file* f, int region, int size, int extend, void volatile** out) { return of (f).xShmMap (real (f), region, size, extend, out); },
        [] (sqlite3_file* f, int offset, int n, int flags) { return of (f).xShmLock (real (f), offset, n, flags); },
        [] (sqlite3_file* f) { of (f).xShmBarrier (real (f)); },
        [] (sqlite3_file* f, int remove) { return of (f).xShmUnmap (real (f), remove); },
        [] (sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) { return of (f).xFetch (real (f), offset, amount, out); },
        [] (sqlite3_file* f, sqlite3_int64 offset, void* page) { return of (f).xUnfetch (real (f), offset, page); }
    };

    int open (sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags)
    {
        auto* system = static_cast<sqlite3_vfs*> (vfs->pAppData);
        auto* file = reinterpret_cast<File*> (f);
        file->real = reinterpret_cast<sqlite3_file*> (file + 1);
        file->base.pMethods = nullptr;
        const auto rc = system->xOpen (system, name, file->real, flags, outFlags);

        if (file->real->pMethods != nullptr)
            file->base.pMethods = &methods;

        return rc;
    }
}

FullDisk::FullDisk()
{
    if (active != nullptr)
        throw std::logic_error ("one FullDisk at a time");

    system = sqlite3_vfs_find ("unix");

    if (system == nullptr || system->iVersion < 3)
        throw std::runtime_error ("no unix file system for SQLite");

    shim = *system;
    shim.zName = "cobaltline-full-disk";
    shim.szOsFile = static_cast<int> (sizeof (File)) + system->szOsFile;
    shim.pAppData = system;
    shim.xOpen = open;
    shim.pNext = nullptr;
    active = this;
    sqlite3_vfs_register (&shim, 1);
}

FullDisk::~FullDisk()
{
    sqlite3_vfs_unregister (&shim);
    sqlite3_vfs_register (system, 1);
    active = nullptr;
}
