#pragma once

#include <string>
#include <string_view>
#include <vector>

/**
    E-mail addresses of accounts: what may be entered, and the one form in
    which addresses are compared.

    An entered address is one mailbox: a local part, one "@" and a domain
    of labels ("example.com", "bücher.de"); no spaces, quotes, commas,
    brackets or other characters that would make it a list, a name or a
    comment, and no control or invisible characters (zero-width spaces,
    direction marks, soft hyphens and the like).

    Addresses are compared by key(): surrounding spaces and invisible
    characters are dropped, the text is brought to Unicode NFKC (composed
    and decomposed accents, fullwidth letters and the like become one),
    the local part is case-folded, and the domain goes through IDNA
    (Debian's libidn2, UTS #46 non-transitional) to lower-case ASCII
    without a trailing dot. Addresses that look the same therefore have
    the same key, and one account per key can be made.

    Pure; may be called from any thread.
*/
class EmailAddress
{
public:
    /** Longest accepted address, in bytes. */
    static constexpr std::size_t maxBytes = 254;

    /** The problems of an address entered for an account, as sentences;
        empty when it is one acceptable mailbox. */
    static std::vector<std::string> check (std::string_view typed);

    /** The form in which addresses are compared. Text that is no address
        at all still has a key (its lower-case form), so that every stored
        address can be looked up as it was typed. */
    static std::string key (std::string_view typed);
};
