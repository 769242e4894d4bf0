#include "http/ReplyRenderer.h"

#include "http/XmlReply.h"

namespace
{
    // Where an attribute's value comes from.
    enum class Source
    {
        title,
        text,
        namedValue
    };

    struct Attribute
    {
        const char* name;
        Source source;
        const char* valueName;   ///< for Source::namedValue
    };

    struct Layout
    {
        const char* tag;
        std::vector<Attribute> attributes;
    };

    const Layout& layoutOf (Outcome::Kind kind)
    {
        static const Layout errors { "Errors", { { "ErrorTitle", Source::title, "" },
                                                 { "ErrorText", Source::text, "" } } };
        static const Layout success { "Success", { { "SuccessTitle", Source::title, "" },
                                                   { "SuccessText", Source::text, "" } } };
        static const Layout profile { "Profile", { { "FirstName", Source::namedValue, "firstName" },
                                                   { "LastName", Source::namedValue, "lastName" },
                                                   { "IsDeveloper", Source::namedValue, "isDeveloper" },
                                                   { "UserId", Source::namedValue, "userId" } } };
        static const Layout current { "Current", {} };
        static const Layout version { "Version", { { "VersionTitle", Source::title, "" },
                                                   { "VersionText", Source::text, "" },
                                                   { "VersionURL", Source::namedValue, "url" } } };
        static const Layout updateList { "UpdateList", {} };

        switch (kind)
        {
            case Outcome::Kind::errors:     return errors;
            case Outcome::Kind::success:    return success;
            case Outcome::Kind::profile:    return profile;
            case Outcome::Kind::current:    return current;
            case Outcome::Kind::version:    return version;
            case Outcome::Kind::updateList: return updateList;
        }

        return errors;
    }

    std::string valueFor (const Attribute& attribute, const Outcome& outcome)
    {
        switch (attribute.source)
        {
            case Source::title:      return outcome.title;
            case Source::text:       return outcome.text;
            case Source::namedValue: return outcome.valueOf (attribute.valueName);
        }

        return {};
    }

    struct RowAttribute
    {
        const char* name;
        std::string Outcome::Row::* field;
    };

    constexpr RowAttribute rowAttributes[] {
        { "Name", &Outcome::Row::name },
        { "Vendor", &Outcome::Row::vendor },
        { "Format", &Outcome::Row::format },
        { "InstalledVersion", &Outcome::Row::installedVersion },
        { "CurrentVersion", &Outcome::Row::currentVersion },
        { "Website", &Outcome::Row::website }
    };
}

std::string ReplyRenderer::render (const Outcome& outcome)
{
    const auto& layout = layoutOf (outcome.kind);
    XmlReply root (layout.tag);

    for (const auto& attribute : layout.attributes)
        root.set (attribute.name, valueFor (attribute, outcome));

    if (outcome.kind == Outcome::Kind::updateList)
    {
        for (const auto& row : outcome.rows)
        {
            auto& plugin = root.addChild ("Plugin");

            for (const auto& attribute : rowAttributes)
                plugin.set (attribute.name, row.*attribute.field);
        }
    }

    return root.toDocument();
}
