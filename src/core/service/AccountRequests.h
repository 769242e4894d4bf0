#pragma once

#include "core/service/ServiceReply.h"
#include "core/service/ServiceRequests.h"

#include <optional>
#include <variant>

/** The account actions of the update service, one struct per action with its
    fields by name. Values are sent as they stand: nothing is trimmed or
    changed; the password travels in plain text (the connection protects it).
*/
struct RegisterRequest
{
    juce::String email, password, firstName, lastName;
    bool isDeveloper = false;
};

struct ForgotPasswordRequest
{
    juce::String email;
};

struct ResetPasswordRequest
{
    juce::String email, password, resetCode;
};

struct ViewProfileRequest
{
    juce::String email, password;
};

struct EditProfileRequest
{
    juce::String oldEmail, email, password, firstName, lastName;
    bool isDeveloper = false;
    juce::String userId;   // as the "viewprofile" reply gave it
};

using AccountRequest = std::variant<RegisterRequest, ForgotPasswordRequest, ResetPasswordRequest,
                                    ViewProfileRequest, EditProfileRequest>;

/** The account as the service holds it, as a "viewprofile" reply gives it. */
struct AccountDetails
{
    juce::String firstName, lastName;
    juce::String userId;               // sent back with "editprofile" as it came
    std::optional<bool> isDeveloper;   // "1" or "0" exactly; any other value, or none, leaves it unknown
};

/** A reply to an account request, read: what it means, and the account
    details its root carries (whatever its tag; empty when it has none, as
    every reply but the one to "viewprofile").
*/
struct AccountReply
{
    ReplyOutcome outcome;
    AccountDetails account;
};

namespace AccountRequests
{
    /** The form of a request: first the field named after the action with the
        value "true" ("registerpost", "forgotpassword", "resetpassword",
        "viewprofile", "editprofile"), then the action's fields in the order
        the service expects; flags are "1" or "0".
    */
    ServiceRequests::Fields makeFields (const AccountRequest& request);

    /** POSTs the request to the authentication path; the reply's root element
        (owned by the caller) or nullptr, as ServiceRequests::postForm. Blocks
        the calling thread (any thread); shouldAbort, when given, is polled
        from another thread, and an aborted request gives nullptr.
    */
    std::unique_ptr<juce::XmlElement> send (const ServiceEndpoint& service, const AccountRequest& request,
                                            int timeoutMs = ServiceRequests::defaultTimeoutMs,
                                            std::function<bool()> shouldAbort = {});

    /** Reads a reply's root (or nullptr, for no reply): classifyReply's outcome,
        and the attributes FirstName, LastName, UserId and IsDeveloper, whose
        names match in any case (a missing one reads as ""). Any thread.
    */
    AccountReply readReply (const juce::XmlElement* root);
}
