#pragma once

/** True when the Windows build runs under Wine rather than on Windows. Only
    the few places where Wine is known to behave differently ask.
*/
bool isRunningUnderWine();
