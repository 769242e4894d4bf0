#include "core/platform/BackgroundTask.h"

BackgroundTask::~BackgroundTask()
{
    cancel();
}

void BackgroundTask::cancel (int waitMs)
{
    pendingContinuation.reset();

    if (current == nullptr)
        return;

    current->cancelled = true;
    current->finished.wait (waitMs);
    current.reset();
}
