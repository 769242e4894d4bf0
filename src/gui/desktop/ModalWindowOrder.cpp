#include "gui/desktop/ModalWindowOrder.h"

namespace
{
   #if JUCE_LINUX || JUCE_BSD
    constexpr bool stacksTheWrongWayRound = true;
   #else
    constexpr bool stacksTheWrongWayRound = false;   // Windows and macOS stack them as asked
   #endif

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

    if (! stacksTheWrongWayRound)
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
