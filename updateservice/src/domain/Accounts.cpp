#include "domain/Accounts.h"

#include "base/EmailAddress.h"
#include "base/Utf8.h"
#include "domain/EntryRules.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

namespace
{
    const std::string loginFailedTitle = "Log-in Failed";
    const std::string loginFailedText = "The e-mail address or password is not correct.";

    std::string minutesText (std::int64_t seconds)
    {
        const auto minutes = (seconds + 59) / 60;
        return std::to_string (minutes) + (minutes == 1 ? " minute" : " minutes");
    }

    void appendAll (std::vector<std::string>& to, const std::vector<std::string>& more)
    {
        to.insert (to.end(), more.begin(), more.end());
    }

    // Codes are shown in capitals, but people retype them: spaces and
    // letter case do not matter.
    std::string normaliseCode (std::string_view typed)
    {
        std::string code;

        for (const auto c : typed)
        {
            if (c == ' ' || c == '\t' || c == '-')
                continue;

            code += (c >= 'a' && c <= 'z') ? static_cast<char> (c - 'a' + 'A') : c;
        }

        return code;
    }

    std::string lifetimeText (std::int64_t seconds)
    {
        if (seconds % (24 * 3600) == 0)
        {
            const auto days = seconds / (24 * 3600);
            return std::to_string (days) + (days == 1 ? " day" : " days");
        }

        return minutesText (seconds);
    }

    const char* const confirmationSubject = "Confirm your Cobaltline e-mail address";

    std::string confirmationMailBody (const std::string& link, std::int64_t lifetimeSeconds)
    {
        return "Hello,\n"
               "\n"
               "please confirm that this is the e-mail address of your Cobaltline account by opening this link:\n"
               "\n"
               + link + "\n"
               "\n"
               "The link is valid for " + lifetimeText (lifetimeSeconds) + " and can be used once. Until then the "
               "account works as usual, but the plug-in versions it uploads do not count towards the updates "
               "Cobaltline offers to everyone. A reset code entered in the \"Forgotten Password Reset\" window "
               "confirms the address as well.\n"
               "If you did not sign up for Cobaltline, you can ignore this message.\n";
    }

    // Confirmation tokens: 128 random bits as 32 small hex digits.
    constexpr std::size_t tokenBytes = 16;

    bool isTokenShaped (std::string_view token)
    {
        return token.size() == tokenBytes * 2
            && token.find_first_not_of ("0123456789abcdef") == std::string_view::npos;
    }

    std::string resetMailBody (const std::string& code, std::int64_t lifetimeSeconds)
    {
        return "Hello,\n"
               "\n"
               "someone asked to reset the password of the Cobaltline account for this address.\n"
               "Enter this reset code in Cobaltline's \"Forgotten Password Reset\" window:\n"
               "\n"
               + code + "\n"
               "\n"
               "The code is valid for " + minutesText (lifetimeSeconds) + " and can be used once.\n"
               "If you did not ask for it, you can ignore this message; your password stays as it is.\n";
    }
}

Accounts::Accounts (AccountStore& accountStore, const PasswordHasher& hasher, MailSink& mailSink,
                    Settings accountSettings, Clock clock, CredentialCache* cache)
    : store (accountStore),
      passwords (hasher),
      mail (mailSink),
      settings (accountSettings),
      now (std::move (clock)),
      verified (cache),
      linkBase (accountSettings.publicUrl)
{
}

void Accounts::useLinksTo (std::string publicUrl)
{
    linkBase = std::move (publicUrl);
}

Outcome Accounts::handle (const FormDecoding& form, std::string_view clientAddress)
{
    const auto action = form.firstName();

    try
    {
        if (form.valueOf (action) == "true")
        {
            if (action == "registerpost")   return registerAccount (form, clientAddress);
            if (action == "viewprofile")    return viewProfile (form, clientAddress);
            if (action == "editprofile")    return editProfile (form, clientAddress);
            if (action == "forgotpassword") return forgotPassword (form, clientAddress);
            if (action == "resetpassword")  return resetPassword (form, clientAddress);
        }
    }
    catch (const Database::Error& e)
    {
        // What needed writing was not written (its transaction rolled
        // back); the person is told why.
        if (e.isFull())
            return Outcome::outOfRoom();

        throw;
    }

    return Outcome::errors ("Unknown Request", "The service does not know this request.");
}

//==============================================================================
std::string Accounts::lockedOutText() const
{
    return "There were too many failed log-ins for this account. Please try again in "
         + minutesText (settings.lockoutSeconds) + ".";
}

AccountStore::LoginLimits Accounts::loginLimits() const
{
    AccountStore::LoginLimits limits;
    limits.perPair = settings.maxFailedLogins;
    limits.perClient = settings.maxFailedLoginsPerAddress;
    limits.perAccount = settings.maxFailedLoginsPerAccount;
    limits.window = settings.failureWindowSeconds;
    limits.lockout = settings.lockoutSeconds;
    return limits;
}

std::string Accounts::clientKey (std::string_view remoteAddress)
{
    const std::string text (remoteAddress);
    in6_addr address6 {};

    if (text.find (':') == std::string::npos || inet_pton (AF_INET6, text.c_str(), &address6) != 1)
        return text.empty() ? std::string ("unknown") : text;

    if (IN6_IS_ADDR_V4MAPPED (&address6))
    {
        char dotted[INET_ADDRSTRLEN] = {};
        inet_ntop (AF_INET, address6.s6_addr + 12, dotted, sizeof (dotted));
        return dotted;
    }

    std::fill (address6.s6_addr + 8, address6.s6_addr + 16, std::uint8_t { 0 });
    char network[INET6_ADDRSTRLEN] = {};
    inet_ntop (AF_INET6, &address6, network, sizeof (network));
    return std::string (network) + "/64";
}

std::string Accounts::networkKey (std::string_view remoteAddress)
{
    const std::string text (remoteAddress);
    in_addr address4 {};
    in6_addr address6 {};

    if (inet_pton (AF_INET6, text.c_str(), &address6) == 1 && IN6_IS_ADDR_V4MAPPED (&address6))
        std::memcpy (&address4, address6.s6_addr + 12, sizeof (address4));
    else if (inet_pton (AF_INET, text.c_str(), &address4) != 1)
        address4.s_addr = 0;

    if (address4.s_addr != 0)
    {
        auto* bytes = reinterpret_cast<unsigned char*> (&address4.s_addr);
        bytes[3] = 0;
        char dotted[INET_ADDRSTRLEN] = {};
        inet_ntop (AF_INET, &address4, dotted, sizeof (dotted));
        return std::string (dotted) + "/24";
    }

    if (inet_pton (AF_INET6, text.c_str(), &address6) == 1)
    {
        std::fill (address6.s6_addr + 6, address6.s6_addr + 16, std::uint8_t { 0 });
        char network[INET6_ADDRSTRLEN] = {};
        inet_ntop (AF_INET6, &address6, network, sizeof (network));
        return std::string (network) + "/48";
    }

    return text.empty() ? std::string ("unknown") : text;
}

std::optional<AccountStore::Credentials> Accounts::findAccount (std::string_view typed)
{
    auto found = store.findCredentials (EmailAddress::key (typed));

    if (found.size() == 1)
        return found.front();

    // Accounts made before addresses were compared by their key may share
    // one: the address typed exactly as stored picks one, or else the one
    // it matched before (without regard to ASCII case, as then).
    for (const auto& exact : { true, false })
        for (const auto& account : found)
            if (exact ? account.email == typed : Utf8::asciiLower (account.email) == Utf8::asciiLower (typed))
                return account;

    return std::nullopt;
}

Accounts::Login Accounts::logIn (std::string_view email, std::string_view password, std::string_view clientAddress)
{
    Login login;
    login.errorTitle = loginFailedTitle;
    login.errorText = loginFailedText;

    if (email.empty() || email.size() > EntryRules::maxEmailBytes
        || password.size() > EntryRules::maxPasswordBytes)
        return login;

    const auto emailKey = EmailAddress::key (email);
    const auto client = clientKey (clientAddress);
    const auto time = now();

    // Counted as a failure before the slow check, in one transaction with
    // the limits, so that requests at once get no more checks than one
    // after the other.
    if (! store.admitAttempt (client, emailKey, time, loginLimits()))
    {
        login.errorTitle = "Log-in Locked";
        login.errorText = lockedOutText();
        return login;
    }

    const auto credentials = findAccount (email);

    if (! credentials.has_value())
    {
        passwords.verifyNothing (password);
        return login;
    }

    const auto& account = *credentials;

    if (verified == nullptr
        || ! verified->knows (emailKey, password, account.accountId, account.credentialVersion, time))
    {
        if (! passwords.verify (account.passwordHash, password))
            return login;

        if (verified != nullptr)
            verified->remember (emailKey, password, account.accountId, account.credentialVersion, time);
    }

    store.forgetFailures (client, emailKey, time);
    login.ok = true;
    login.accountId = credentials->accountId;
    login.errorTitle.clear();
    login.errorText.clear();
    return login;
}

//==============================================================================
Outcome Accounts::registerAccount (const FormDecoding& form, std::string_view clientAddress)
{
    const auto email = form.valueOf ("email");
    const auto password = form.valueOf ("password");
    const auto firstName = form.valueOf ("firstname");
    const auto lastName = form.valueOf ("lastname");
    const auto developer = form.valueOf ("isdeveloper");

    std::vector<std::string> problems;
    appendAll (problems, EntryRules::checkName (firstName, "first name"));
    appendAll (problems, EntryRules::checkName (lastName, "last name"));
    appendAll (problems, EntryRules::checkEmail (email));
    appendAll (problems, EntryRules::checkPassword (password));
    appendAll (problems, EntryRules::checkDeveloperFlag (developer));

    const std::string refusedTitle = "Sign Up Refused";

    if (! problems.empty())
        return Outcome::errors (refusedTitle, EntryRules::join (problems));

    const auto emailKey = EmailAddress::key (email);
    const auto takenText = "An account with this e-mail address already exists. "
                           "Use the \"Forgotten Password Reset\" window if you cannot log in.";

    const auto time = now();

    if (! store.admitRequest ("registerpost", clientKey (clientAddress), networkKey (clientAddress), time,
                              { settings.maxSignUpsPerAddressPerHour, settings.maxSignUpsPerNetworkPerHour,
                                settings.maxSignUpsPerHour }))
        return Outcome::errors ("Too Many Sign-Ups", "Too many accounts were signed up from here or in all "
                                                     "within the last hour. Please try again later.");

    // The password is hashed also for an address that is taken, so that
    // the time of the reply does not tell which addresses have accounts:
    // createAccount() finds out under the write lock. Hashing takes a while
    // and much memory; it is done before the store takes the lock so other
    // requests are not held up.
    AccountStore::NewAccount account { email, emailKey, passwords.hash (password), firstName, lastName,
                                       developer == "1", time };

    const auto accountId = store.createAccount (account);

    if (accountId == 0)
        return Outcome::errors (refusedTitle, takenText);

    // The reply is the same as ever; the confirmation link follows it.
    auto welcome = Outcome::success ("Welcome to Cobaltline",
                                     "Your account has been created. You can now scan your plug-ins for updates.");
    sendLater (confirmationMail (accountId, std::string (email), time), welcome);
    return welcome;
}

Outcome Accounts::viewProfile (const FormDecoding& form, std::string_view clientAddress)
{
    const auto login = logIn (form.valueOf ("email"), form.valueOf ("password"), clientAddress);

    if (! login.ok)
        return Outcome::errors (login.errorTitle, login.errorText);

    const auto profile = store.findProfile (login.accountId);

    if (! profile.has_value())
        return Outcome::errors (loginFailedTitle, loginFailedText);

    return Outcome::profile (profile->firstName, profile->lastName, profile->isDeveloper, login.accountId);
}

Outcome Accounts::editProfile (const FormDecoding& form, std::string_view clientAddress)
{
    const std::string refusedTitle = "Profile Not Saved";
    const auto login = logIn (form.valueOf ("oldemail"), form.valueOf ("password"), clientAddress);

    if (! login.ok)
        return Outcome::errors (login.errorTitle, login.errorText);

    if (form.valueOf ("userid") != std::to_string (login.accountId))
        return Outcome::errors (refusedTitle, "The account details do not belong together. "
                                              "Please close this window and open it again.");

    const auto email = form.valueOf ("email");
    const auto firstName = form.valueOf ("firstname");
    const auto lastName = form.valueOf ("lastname");
    const auto developer = form.valueOf ("isdeveloper");

    std::vector<std::string> problems;
    appendAll (problems, EntryRules::checkEmail (email));
    appendAll (problems, EntryRules::checkName (firstName, "first name"));
    appendAll (problems, EntryRules::checkName (lastName, "last name"));
    appendAll (problems, EntryRules::checkDeveloperFlag (developer));

    if (! problems.empty())
        return Outcome::errors (refusedTitle, EntryRules::join (problems));

    const AccountStore::ProfileChange change { login.accountId, email, EmailAddress::key (email),
                                               firstName, lastName, developer == "1" };

    const auto saved = store.updateProfile (change);

    if (saved == AccountStore::ProfileSaved::taken)
        return Outcome::errors (refusedTitle, "Another account already uses this e-mail address.");

    auto done = Outcome::success ("Profile Saved", "Your profile has been updated.");

    // Another address is confirmed again, so that one mailbox cannot
    // confirm account after account.
    if (saved == AccountStore::ProfileSaved::newAddress)
        sendLater (confirmationMail (login.accountId, std::string (email), now()), done);

    return done;
}

//==============================================================================
Outcome Accounts::forgotPassword (const FormDecoding& form, std::string_view clientAddress)
{
    const auto email = form.valueOf ("email");

    // Looked up by its key, so spaces around it or capitals do not matter;
    // the code goes to the address as stored.
    if (email.empty() || email.size() > EmailAddress::maxBytes || ! Utf8::isValid (email)
        || email.find ('@') == std::string_view::npos)
        return Outcome::errors ("No Reset Code Sent", "Please enter the e-mail address of your account.");

    const auto time = now();

    // Counted before the address is looked up, so the refusal is the same
    // for every address.
    if (! store.admitRequest ("forgotpassword", clientKey (clientAddress), networkKey (clientAddress), time,
                              { settings.maxResetRequestsPerAddressPerHour, settings.maxResetRequestsPerNetworkPerHour,
                                settings.maxResetRequestsPerHour }))
        return Outcome::errors ("No Reset Code Sent", "Too many reset codes were asked for from here or in all "
                                                      "within the last hour. Please try again later.");

    // The same reply whether or not a message goes out, so addresses
    // cannot be probed.
    auto sent = Outcome::success ("Reset Code Sent",
        "If an account uses this e-mail address, a reset code is on its way to it. The code is valid for "
        + minutesText (settings.resetCodeLifetimeSeconds) + " and can be used once.");

    // Issuing the code and writing its message happen only for addresses
    // with accounts; with a deferrer they happen after the reply, so that
    // the reply takes the same time for every address.
    auto issue = [this, typed = std::string (email), time]
    {
        const auto account = findAccount (typed);

        if (! account.has_value())
            return;

        // Mail goes to the address as stored, which is one mailbox for
        // every account made since addresses are checked as such; an older
        // one that is not (a list, say) is never written to.
        if (! EmailAddress::check (account->email).empty())
            throw std::runtime_error ("no reset code was mailed to account " + std::to_string (account->accountId)
                                      + ": its stored address is not one mailbox");

        const auto code = PasswordHasher::randomCode (resetCodeLength);

        AccountStore::NewResetCode newCode;
        newCode.accountId = account->accountId;
        newCode.digest = PasswordHasher::digest (code);
        newCode.createdAt = time;
        newCode.expiresAt = time + settings.resetCodeLifetimeSeconds;
        // Bounds how many messages anyone can make the service send to one
        // address.
        newCode.countFrom = time - 3600;
        newCode.maxCodesSinceCountFrom = settings.maxResetCodesPerHour;

        const auto recipient = store.issueResetCode (newCode);

        if (! recipient.has_value())
            return;

        // The code is stored and committed by now: a message never carries
        // a code that does not exist. A message that cannot be written
        // leaves a code nobody knows, which does no harm; the person asks
        // again.
        try
        {
            mail.deliver (*recipient, "Your Cobaltline password reset code",
                          resetMailBody (code, settings.resetCodeLifetimeSeconds), static_cast<std::time_t> (time));
        }
        catch (const std::exception& e)
        {
            throw std::runtime_error (std::string ("the reset code could not be mailed: ") + e.what());
        }
    };

    sendLater (std::move (issue), sent);
    return sent;
}

void Accounts::sendLater (std::function<void()> work, Outcome& outcome)
{
    try
    {
        if (defer)
            defer (std::move (work));
        else
            work();
    }
    catch (const std::runtime_error& e)
    {
        outcome.unreportedFailure = e.what();
    }
}

std::function<void()> Accounts::confirmationMail (std::int64_t accountId, std::string email, std::int64_t time)
{
    return [this, accountId, email = std::move (email), time]
    {
        const auto token = PasswordHasher::randomHex (tokenBytes);
        store.issueConfirmation (accountId, PasswordHasher::digest (token), time + settings.confirmationLifetimeSeconds);

        // Stored and committed first, as reset codes are; the token is in
        // the query, which the request log leaves out.
        try
        {
            mail.deliver (email, confirmationSubject,
                          confirmationMailBody (linkBase + "/confirm?token=" + token,
                                                settings.confirmationLifetimeSeconds),
                          static_cast<std::time_t> (time));
        }
        catch (const std::exception& e)
        {
            throw std::runtime_error (std::string ("the confirmation link could not be mailed: ") + e.what());
        }
    };
}

Outcome Accounts::confirmAddress (std::string_view token)
{
    // Wrong, expired and spent tokens get one answer, so a link tells
    // nothing but whether it works now.
    const auto notValid = Outcome::errors ("Link Not Valid",
        "This confirmation link is not valid: it may be mistyped, expired or used already. "
        "If your address is confirmed already, nothing more is needed.");

    try
    {
        if (! isTokenShaped (token) || ! store.confirm (PasswordHasher::digest (token), now()).has_value())
            return notValid;
    }
    catch (const Database::Error& e)
    {
        if (e.isFull())
            return Outcome::outOfRoom();

        throw;
    }

    return Outcome::success ("Address Confirmed", "Thank you: the e-mail address of your Cobaltline account is "
                                                  "confirmed. You can close this page.");
}

void Accounts::deferMailWith (Deferrer deferrer)
{
    defer = std::move (deferrer);
}

Outcome Accounts::resetPassword (const FormDecoding& form, std::string_view clientAddress)
{
    const std::string refusedTitle = "Password Not Reset";
    const auto email = form.valueOf ("email");
    const auto password = form.valueOf ("password");
    const auto code = normaliseCode (form.valueOf ("resetcode"));

    if (const auto problems = EntryRules::checkPassword (password); ! problems.empty())
        return Outcome::errors (refusedTitle, EntryRules::join (problems));

    const auto invalidCodeText = "The reset code is not valid: it may be mistyped, expired or used already. "
                                 "Ask for a new code and use the newest message.";

    if (email.empty() || email.size() > EntryRules::maxEmailBytes || code.empty() || code.size() > 64)
        return Outcome::errors (refusedTitle, invalidCodeText);

    const auto emailKey = EmailAddress::key (email);
    const auto client = clientKey (clientAddress);
    const auto time = now();
    const auto account = findAccount (email);

    // A valid code is taken whatever the lock-outs say: it proves the mail
    // was read, and refusing it would let others keep an owner out of the
    // account. Codes have 60 random bits, so guessing is no way in; wrong
    // codes still count as failed log-ins of this client address.
    const auto match = account.has_value() ? store.findResetCode (account->accountId, PasswordHasher::digest (code), time)
                                           : std::nullopt;

    if (! match.has_value())
    {
        if (! store.admitAttempt (client, emailKey, time, loginLimits()))
            return Outcome::errors (refusedTitle, lockedOutText());

        return Outcome::errors (refusedTitle, invalidCodeText);
    }

    // Hashed before the store takes the write lock, as at sign-up.
    const auto hash = passwords.hash (password);

    if (! store.spendResetCode (*match, hash, client, emailKey, time))
        return Outcome::errors (refusedTitle, invalidCodeText);

    return Outcome::success ("Password Reset", "Your password has been changed. "
                                               "Cobaltline now uses the new password.");
}
