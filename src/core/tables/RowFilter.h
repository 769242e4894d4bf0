#pragma once

#include "core/tables/PluginRow.h"

#include <functional>
#include <vector>

/** Which rows of a table are shown: those whose name or vendor holds the
    filter text (without regard to case), and, unless the ignored ones are
    asked for, those the user has not set aside.
*/
class RowFilter
{
public:
    /** Whether a row is set aside (an update the user ignores). */
    using IsIgnored = std::function<bool (const PluginRow&)>;

    RowFilter() = default;
    RowFilter (juce::String filterText, IsIgnored isIgnored, bool showIgnored);

    bool matchesText (const PluginRow& row) const;

    /** The indices of the rows to show, in their order. */
    std::vector<int> apply (const std::vector<PluginRow>& rows) const;

    /** The count beside the filter: "12 of 348". */
    static juce::String countText (int shown, int total);

private:
    juce::String text;
    IsIgnored ignored;
    bool showIgnored = true;
};
