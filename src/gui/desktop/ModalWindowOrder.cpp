// JUCE's X11 window system (on Linux and BSD), to ask the X server whether
// a window manager runs.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "gui/desktop/ModalWindowOrder.h"

namespace
{
   #if JUCE_LINUX || JUCE_BSD
    constexpr bool stacksTheWrongWayRound = true;
   #else
    constexpr bool stacksTheWrongWayRound = false;   // Windows and macOS stack them as asked
   #endif

    /** A window manager stacks the windows itself: it raises a modal window
        when JUCE asks, and keeps it above the window it belongs to. Restacking
        the program's windows behind its back (they sit in its frames) made it
        lower the window below the top one under the main window. An EWMH
        window manager names its window on the root window.
    */
    bool aWindowManagerStacks()
    {
       #if JUCE_LINUX || JUCE_BSD
        auto* windowSystem = juce::XWindowSystem::getInstanceWithoutCreating();

        if (windowSystem == nullptr || ! windowSystem->isX11Available())
            return false;

        auto* display = windowSystem->getDisplay();

        if (display == nullptr)
            return false;

        juce::XWindowSystemUtilities::ScopedXLock lock;
        const auto check = juce::XWindowSystemUtilities::Atoms::getIfExists (display, "_NET_SUPPORTING_WM_CHECK");

        if (check == None)
            return false;

        auto& x11 = *juce::X11Symbols::getInstance();
        const auto root = x11.xRootWindow (display, x11.xDefaultScreen (display));
        const juce::XWindowSystemUtilities::GetXProperty property (display, root, check, 0, 1, false, XA_WINDOW);
        return property.success && property.actualType == XA_WINDOW && property.numItems == 1;
       #else
        return false;
       #endif
    }

    /** Places one window directly under another: JUCE 7's X11 peer restacks
        the window it is given under its own. */
    void placeUnder (juce::ComponentPeer& lower, juce::ComponentPeer& upper)
    {
        upper.toBehind (&lower);
    }

    /** The windows of the modal components, the most recent first, each once. */
    juce::Array<juce::ComponentPeer*> modalWindows()
    {
        juce::Array<juce::ComponentPeer*> peers;
        auto& manager = *juce::ModalComponentManager::getInstance();

        for (int i = 0; i < manager.getNumModalComponents(); ++i)
            if (auto* component = manager.getModalComponent (i))
                if (auto* peer = component->getPeer())
                    peers.addIfNotAlreadyThere (peer);

        return peers;
    }
}

ModalWindowOrder::ModalWindowOrder()
{
    juce::Desktop::getInstance().addGlobalMouseListener (this);

    if (stacksTheWrongWayRound)
        startTimer (500);
}

ModalWindowOrder::~ModalWindowOrder()
{
    stopTimer();
    juce::Desktop::getInstance().removeGlobalMouseListener (this);
}

void ModalWindowOrder::restack()
{
    JUCE_ASSERT_MESSAGE_THREAD

    if (! stacksTheWrongWayRound || aWindowManagerStacks())
        return;

    const auto peers = modalWindows();

    for (int i = 1; i < peers.size(); ++i)
        placeUnder (*peers.getUnchecked (i), *peers.getUnchecked (i - 1));
}

void ModalWindowOrder::restackSoon()
{
    juce::MessageManager::callAsync ([] { restack(); });
}

void ModalWindowOrder::mouseDown (const juce::MouseEvent&)
{
    // A click on a blocked window has just brought the modal windows forward.
    restack();
}

void ModalWindowOrder::timerCallback()
{
    restack();
}
