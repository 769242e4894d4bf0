#include "app/CobaltlineApplication.h"

START_JUCE_APPLICATION (CobaltlineApplication)
