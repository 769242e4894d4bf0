#include "core/inventory/ScanLock.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <unistd.h>
#endif

ScanLock::ScanLock (const juce::File& dataFolder)
{
    const auto file = dataFolder.getChildFile (fileName);

   #if JUCE_WINDOWS
    // A handle that shares nothing: a second open fails until it is closed,
    // which Windows does when the process ends.
    const auto opened = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ | GENERIC_WRITE,
                                     0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (opened != INVALID_HANDLE_VALUE)
        handle = opened;
    else
        busy = GetLastError() == ERROR_SHARING_VIOLATION;
   #else
    descriptor = ::open (file.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);

    // flock's locks belong to the open file, so another ScanLock of this
    // process is refused as well as one of another process.
    if (descriptor >= 0 && ::flock (descriptor, LOCK_EX | LOCK_NB) != 0)
    {
        busy = errno == EWOULDBLOCK;
        ::close (descriptor);
        descriptor = -1;
    }
   #endif
}

ScanLock::~ScanLock()
{
   #if JUCE_WINDOWS
    if (handle != nullptr)
        CloseHandle (handle);
   #else
    if (descriptor >= 0)
        ::close (descriptor);
   #endif
}

bool ScanLock::isHeld() const noexcept
{
   #if JUCE_WINDOWS
    return handle != nullptr;
   #else
    return descriptor >= 0;
   #endif
}

AlertRequest ScanLock::makeBusyAlert()
{
    return AlertRequest::ok (busyTitle, busyText, AlertIcon::warning);
}
