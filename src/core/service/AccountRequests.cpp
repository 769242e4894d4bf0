#include "core/service/AccountRequests.h"

namespace AccountRequests
{
namespace
{
    juce::String flag (bool value)   { return value ? "1" : "0"; }

    template <typename... Handlers>
    struct Overloaded : Handlers...
    {
        using Handlers::operator()...;
    };

    template <typename... Handlers>
    Overloaded (Handlers...) -> Overloaded<Handlers...>;
}

ServiceRequests::Fields makeFields (const AccountRequest& request)
{
    using Fields = ServiceRequests::Fields;

    return std::visit (Overloaded {
        [] (const RegisterRequest& r) -> Fields
        {
            return { { "registerpost", "true" }, { "email", r.email }, { "password", r.password },
                     { "firstname", r.firstName }, { "lastname", r.lastName }, { "isdeveloper", flag (r.isDeveloper) } };
        },
        [] (const ForgotPasswordRequest& r) -> Fields
        {
            return { { "forgotpassword", "true" }, { "email", r.email } };
        },
        [] (const ResetPasswordRequest& r) -> Fields
        {
            return { { "resetpassword", "true" }, { "email", r.email }, { "password", r.password },
                     { "resetcode", r.resetCode } };
        },
        [] (const ViewProfileRequest& r) -> Fields
        {
            return { { "viewprofile", "true" }, { "email", r.email }, { "password", r.password } };
        },
        [] (const EditProfileRequest& r) -> Fields
        {
            return { { "editprofile", "true" }, { "oldemail", r.oldEmail }, { "email", r.email },
                     { "password", r.password }, { "firstname", r.firstName }, { "lastname", r.lastName },
                     { "isdeveloper", flag (r.isDeveloper) }, { "userid", r.userId } };
        } }, request);
}

std::unique_ptr<juce::XmlElement> send (const ServiceEndpoint& service, const AccountRequest& request, int timeoutMs,
                                        std::function<bool()> shouldAbort)
{
    return ServiceRequests::postForm (service, ServiceEndpoint::authenticationPath, makeFields (request), timeoutMs,
                                      std::move (shouldAbort));
}

AccountReply readReply (const juce::XmlElement* root)
{
    AccountReply reply;
    reply.outcome = classifyReply (root);

    if (root == nullptr)
        return reply;

    auto& account = reply.account;
    account.firstName = getAttributeIgnoringCase (*root, "FirstName");
    account.lastName = getAttributeIgnoringCase (*root, "LastName");
    account.userId = getAttributeIgnoringCase (*root, "UserId");

    // Compared exactly: a word, an empty text or "01" says nothing.
    if (const auto developer = getAttributeIgnoringCase (*root, "IsDeveloper"); developer == "1" || developer == "0")
        account.isDeveloper = developer == "1";

    return reply;
}
}
