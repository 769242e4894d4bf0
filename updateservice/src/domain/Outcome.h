#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/**
    What a request came to, before it is written as a reply: a refusal, a
    confirmation, an account's profile, the answer to the version check, or
    the update list of a scan. The domain classes return outcomes; the
    ReplyRenderer is the one place that turns them into reply documents.

    A plain value: copy and move freely, use from any thread.
*/
class Outcome
{
public:
    enum class Kind
    {
        errors,      ///< a refusal: title and text for a warning
        success,     ///< a confirmation: title and text for a notice
        profile,     ///< an account's details, as named values
        current,     ///< the application is up to date; nothing else
        version,     ///< a newer application: title, text and the "url" value
        updateList   ///< one row per installed plug-in with a newer version
    };

    /** One installed plug-in of which a newer version is known. */
    struct Row
    {
        std::string name, vendor, format, installedVersion, currentVersion, website;
    };

    using Value = std::pair<std::string, std::string>;

    static Outcome errors (std::string title, std::string text);

    /** The refusal of a request that needed to store something when the
        service's disk has no room left. */
    static Outcome outOfRoom();
    static Outcome success (std::string title, std::string text);

    /** Named values "firstName", "lastName", "isDeveloper" ("1" or "0")
        and "userId". */
    static Outcome profile (std::string firstName, std::string lastName, bool isDeveloper, std::int64_t userId);

    static Outcome current();

    /** The named value "url" holds the download page. */
    static Outcome version (std::string title, std::string text, std::string url);

    static Outcome updateList (std::vector<Row> rows);

    /** The named value, or an empty text when there is none. */
    std::string valueOf (std::string_view name) const;

    Kind kind = Kind::errors;
    std::string title;
    std::string text;
    std::vector<Value> values;
    std::vector<Row> rows;

    /** A failure that happened after the answer was decided and that does
        not change it (a reset mail that could not be written). The caller
        logs it; it never reaches the client. Empty when all went well. */
    std::string unreportedFailure;

private:
    Outcome (Kind kindOfOutcome, std::string titleText, std::string bodyText);
};
