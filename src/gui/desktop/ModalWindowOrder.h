#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Keeps the program's modal windows stacked in the order they were opened:
    a dialog above the window it was opened from, an alert above its dialog.

    JUCE brings its modal windows to the front whenever a modal window closes
    or a window they block is clicked or focused: it raises the top one and
    puts each of the others under the one above it. On X11, JUCE 7 does the
    second step the wrong way round (ComponentPeer::toBehind places the other
    window under the one it is called on), and raising is only a request that
    nothing answers without a window manager. So without a window manager a
    dialog sank under the preferences after its first alert and stayed there.

    restack() puts the windows in order again where no window manager does
    it: a running window manager raises the modal window JUCE asks it to and
    keeps the windows in its frames, which restacking behind its back would
    upset. The program's dialogs and
    alerts ask for it whenever JUCE brings them to the front (as it does when
    a blocked window gains the focus), and the alerts and the folder chooser
    when they close. While the application runs, this object also restacks
    after every click on a blocked window and twice a second, for windows
    that are not the program's own (JUCE's folder chooser). On Windows and
    macOS, where JUCE stacks them as it should, it does nothing. Message
    thread only.
*/
class ModalWindowOrder final : private juce::MouseListener,
                               private juce::Timer
{
public:
    ModalWindowOrder();
    ~ModalWindowOrder() override;

    /** Stacks the windows of the modal components in their modal order, each
        directly under the one opened after it. Does nothing for fewer than two.
    */
    static void restack();

    /** Restacks once the current message has been handled. A modal window
        calls this when JUCE brings it to the front: JUCE then goes on to put
        the windows below it in the wrong order, which this puts right.
    */
    static void restackSoon();

private:
    void mouseDown (const juce::MouseEvent&) override;
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE (ModalWindowOrder)
};
