#pragma once

#include "core/platform/Clock.h"
#include "core/platform/DesktopServices.h"
#include "core/service/ServiceEndpoint.h"
#include "core/settings/SettingsStore.h"

/** What the windows and jobs of the application share: the settings store,
    the update service's address, the desktop (alerts and browser), the clock
    and the application's version. The application object owns them and hands
    this down by value; a test builds one on a temporary data folder, a
    loopback address and a recording desktop. Everything referred to must
    outlive whoever holds it.
*/
struct AppContext
{
    const SettingsStore& settings;
    const ServiceEndpoint& service;
    DesktopServices& desktop;
    const Clock& clock;
    juce::String applicationVersion;   // e.g. "1.0.4"
};
