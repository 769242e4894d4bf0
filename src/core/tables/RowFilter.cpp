#include "core/tables/RowFilter.h"

RowFilter::RowFilter (juce::String filterText, IsIgnored isIgnored, bool shouldShowIgnored)
    : text (filterText.trim()), ignored (std::move (isIgnored)), showIgnored (shouldShowIgnored)
{
}

bool RowFilter::matchesText (const PluginRow& row) const
{
    return text.isEmpty() || row.name.containsIgnoreCase (text) || row.vendor.containsIgnoreCase (text);
}

std::vector<int> RowFilter::apply (const std::vector<PluginRow>& rows) const
{
    std::vector<int> shown;
    shown.reserve (rows.size());

    const auto hideIgnored = ! showIgnored && ignored != nullptr;

    for (size_t i = 0; i < rows.size(); ++i)
        if (matchesText (rows[i]) && ! (hideIgnored && ignored (rows[i])))
            shown.push_back ((int) i);

    return shown;
}

juce::String RowFilter::countText (int shown, int total)
{
    return juce::String (shown) + " of " + juce::String (total);
}
