#include "base/EmailAddress.h"

#include "base/Utf8.h"

#include <idn2.h>
#include <unicase.h>
#include <unictype.h>
#include <uninorm.h>
#include <unistr.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace
{
    struct FreeWithFree
    {
        void operator() (void* p) const noexcept { std::free (p); }
    };

    const uint8_t* bytes (std::string_view text)
    {
        return reinterpret_cast<const uint8_t*> (text.data());
    }

    // Marks that show nothing, and controls: format characters, default
    // ignorable code points (zero-width spaces and joiners, soft hyphens,
    // variation selectors, fillers), and the other kinds of "other".
    bool isInvisible (ucs4_t c)
    {
        return uc_is_general_category (c, UC_CATEGORY_C) || uc_is_property_default_ignorable_code_point (c);
    }

    bool isSpace (ucs4_t c)
    {
        return uc_is_general_category (c, UC_CATEGORY_Z) || uc_is_property_white_space (c);
    }

    template <typename Visit>
    void forEachCodePoint (std::string_view text, Visit&& visit)
    {
        for (std::size_t pos = 0; pos < text.size();)
        {
            ucs4_t c = 0;
            const auto length = u8_mbtouc (&c, bytes (text) + pos, text.size() - pos);
            visit (c, text.substr (pos, static_cast<std::size_t> (length)));
            pos += static_cast<std::size_t> (length);
        }
    }

    std::optional<std::string> transformed (std::string_view text, bool fold)
    {
        std::size_t length = 0;
        std::unique_ptr<uint8_t, FreeWithFree> result (
            fold ? u8_casefold (bytes (text), text.size(), nullptr, UNINORM_NFKC, nullptr, &length)
                 : u8_normalize (UNINORM_NFKC, bytes (text), text.size(), nullptr, &length));

        if (result == nullptr)
            return std::nullopt;

        return std::string (reinterpret_cast<const char*> (result.get()), length);
    }

    // The domain as IDNA writes it in ASCII, or nothing when it is no
    // valid domain name.
    std::optional<std::string> asciiDomain (const std::string& domain)
    {
        char* converted = nullptr;

        if (idn2_to_ascii_8z (domain.c_str(), &converted, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT) != IDN2_OK)
            return std::nullopt;

        const std::unique_ptr<char, FreeWithFree> owned (converted);
        return Utf8::asciiLower (converted);
    }

    bool isHostLabel (std::string_view label)
    {
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;

        for (const auto c : label)
            if (! ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
                return false;

        return true;
    }
}

std::vector<std::string> EmailAddress::check (std::string_view typed)
{
    if (typed.empty())
        return { "The e-mail address is empty." };

    if (typed.size() > maxBytes)
        return { "The e-mail address is longer than " + std::to_string (maxBytes) + " bytes." };

    if (! Utf8::isValid (typed))
        return { "The e-mail address contains characters that cannot be used." };

    bool spaces = false, invisible = false;

    forEachCodePoint (typed, [&] (ucs4_t c, std::string_view)
    {
        spaces = spaces || isSpace (c);
        invisible = invisible || (! isSpace (c) && isInvisible (c));
    });

    if (spaces)
        return { "The e-mail address must not contain spaces." };

    if (invisible)
        return { "The e-mail address contains characters that cannot be used, such as invisible ones." };

    const auto at = typed.find ('@');

    if (at == std::string_view::npos || typed.find ('.', at) == std::string_view::npos)
        return { "The e-mail address must contain an \"@\" and a \".\"." };

    const std::string oneAddress = "The e-mail address must be one address (name@example.com), "
                                   "without quotes, commas, brackets or a second \"@\".";

    if (typed.find_first_of ("\"(),:;<>[\\]", 0) != std::string_view::npos || typed.find ('@', at + 1) != std::string_view::npos)
        return { oneAddress };

    const auto local = typed.substr (0, at);
    const auto domain = typed.substr (at + 1);

    if (local.empty() || local.size() > 64 || local.front() == '.' || local.back() == '.'
        || local.find ("..") != std::string_view::npos)
        return { "The part of the e-mail address before the \"@\" is not valid." };

    const std::string badDomain = "The part of the e-mail address after the \"@\" is not a valid domain name.";
    const auto normalDomain = transformed (domain, false);
    const auto ascii = normalDomain ? asciiDomain (*normalDomain) : std::nullopt;

    if (! ascii || ascii->size() > 253)
        return { badDomain };

    std::size_t labels = 0;

    for (std::size_t start = 0; start <= ascii->size(); ++labels)
    {
        const auto dot = std::min (ascii->find ('.', start), ascii->size());

        if (! isHostLabel (std::string_view (*ascii).substr (start, dot - start)))
            return { badDomain };

        start = dot + 1;
    }

    if (labels < 2)
        return { badDomain };

    return {};
}

std::string EmailAddress::key (std::string_view typed)
{
    if (! Utf8::isValid (typed))
        return Utf8::asciiLower (typed);

    // What cannot be seen does not tell addresses apart.
    std::string visible;

    forEachCodePoint (typed, [&] (ucs4_t c, std::string_view encoded)
    {
        if (! isInvisible (c) || isSpace (c))
            visible.append (encoded);
    });

    const auto first = visible.find_first_not_of (" \t");
    const auto last = visible.find_last_not_of (" \t");
    visible = first == std::string::npos ? std::string {} : visible.substr (first, last - first + 1);

    auto normal = transformed (visible, false);

    if (! normal)
        return Utf8::asciiLower (visible);

    const auto at = normal->rfind ('@');

    if (at == std::string::npos)
        return transformed (*normal, true).value_or (Utf8::asciiLower (*normal));

    auto domain = normal->substr (at + 1);

    if (! domain.empty() && domain.back() == '.')
        domain.pop_back();

    const auto local = normal->substr (0, at);
    const auto foldedDomain = transformed (domain, true).value_or (domain);
    return transformed (local, true).value_or (Utf8::asciiLower (local)) + "@"
         + asciiDomain (domain).value_or (Utf8::asciiLower (foldedDomain));
}
