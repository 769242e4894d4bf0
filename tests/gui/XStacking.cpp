#include "XStacking.h"

#include <X11/Xlib.h>

namespace XStacking
{
namespace
{
    struct Connection
    {
        Connection() : display (XOpenDisplay (nullptr)) {}
        ~Connection()   { if (display != nullptr) XCloseDisplay (display); }

        Display* const display;
    };

    /** The window's ancestor that is a child of the root (a window manager may have framed it). */
    Window topLevelOf (Display* display, Window window)
    {
        for (;;)
        {
            Window root = 0, parent = 0, *children = nullptr;
            unsigned int count = 0;

            if (XQueryTree (display, window, &root, &parent, &children, &count) == 0)
                return 0;

            if (children != nullptr)
                XFree (children);

            if (parent == root || parent == 0)
                return window;

            window = parent;
        }
    }

    /** The position among the root's children, bottom first; -1 when not there. */
    int positionOf (Display* display, Window window)
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        int position = -1;

        if (XQueryTree (display, DefaultRootWindow (display), &root, &parent, &children, &count) == 0)
            return -1;

        for (unsigned int i = 0; i < count; ++i)
            if (children[i] == window)
                position = (int) i;

        if (children != nullptr)
            XFree (children);

        return position;
    }

    Window windowOf (juce::Component& component)
    {
        auto* peer = component.getPeer();
        return peer != nullptr ? (Window) (juce::pointer_sized_uint) peer->getNativeHandle() : 0;
    }
}

bool isAvailable()
{
    return Connection().display != nullptr;
}

bool isAbove (juce::Component& upper, juce::Component& lower)
{
    const Connection connection;

    if (connection.display == nullptr)
        return false;

    const auto upperPosition = positionOf (connection.display, topLevelOf (connection.display, windowOf (upper)));
    const auto lowerPosition = positionOf (connection.display, topLevelOf (connection.display, windowOf (lower)));
    return upperPosition >= 0 && lowerPosition >= 0 && upperPosition > lowerPosition;
}
}
