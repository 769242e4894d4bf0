#include "domain/Outcome.h"

Outcome::Outcome (Kind kindOfOutcome, std::string titleText, std::string bodyText)
    : kind (kindOfOutcome), title (std::move (titleText)), text (std::move (bodyText))
{
}

Outcome Outcome::errors (std::string title, std::string text)
{
    return Outcome (Kind::errors, std::move (title), std::move (text));
}

Outcome Outcome::outOfRoom()
{
    return errors ("Service Out of Room", "The service has run out of storage space and could not save this. "
                                          "Nothing stored before is lost. Please try again later.");
}

Outcome Outcome::success (std::string title, std::string text)
{
    return Outcome (Kind::success, std::move (title), std::move (text));
}

Outcome Outcome::profile (std::string firstName, std::string lastName, bool isDeveloper, std::int64_t userId)
{
    Outcome outcome (Kind::profile, {}, {});
    outcome.values = { { "firstName", std::move (firstName) },
                       { "lastName", std::move (lastName) },
                       { "isDeveloper", isDeveloper ? "1" : "0" },
                       { "userId", std::to_string (userId) } };
    return outcome;
}

Outcome Outcome::current()
{
    return Outcome (Kind::current, {}, {});
}

Outcome Outcome::version (std::string title, std::string text, std::string url)
{
    Outcome outcome (Kind::version, std::move (title), std::move (text));
    outcome.values = { { "url", std::move (url) } };
    return outcome;
}

Outcome Outcome::updateList (std::vector<Row> rows)
{
    Outcome outcome (Kind::updateList, {}, {});
    outcome.rows = std::move (rows);
    return outcome;
}

std::string Outcome::valueOf (std::string_view name) const
{
    for (const auto& [valueName, value] : values)
        if (valueName == name)
            return value;

    return {};
}
