#include "Accounts.h"

#include "EntryRules.h"
#include "Utf8.h"

#include <sodium.h>

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

    bool emailTakenByOther (Database& db, const std::string& emailKey, std::int64_t exceptId)
    {
        Database::Statement query (db, "SELECT id FROM account WHERE email_key = ?1 AND id <> ?2");
        query.bind (1, emailKey).bind (2, exceptId);
        return query.step();
    }
}

Accounts::Accounts (ConnectionPool& pool, const PasswordHasher& hasher, Outbox& outbox,
                    Settings accountSettings, Clock clock)
    : connections (pool),
      passwords (hasher),
      mail (outbox),
      settings (accountSettings),
      now (std::move (clock))
{
}

std::string Accounts::handle (const FormDecoding& form)
{
    const auto action = form.firstName();

    if (form.valueOf (action) == "true")
    {
        if (action == "registerpost")   return registerAccount (form);
        if (action == "viewprofile")    return viewProfile (form);
        if (action == "editprofile")    return editProfile (form);
        if (action == "forgotpassword") return forgotPassword (form);
        if (action == "resetpassword")  return resetPassword (form);
    }

    return XmlReply::errors ("Unknown Request", "The service does not know this request.");
}

//==============================================================================
std::string Accounts::lockedOutText() const
{
    return "There were too many failed log-ins for this account. Please try again in "
         + minutesText (settings.lockoutSeconds) + ".";
}

bool Accounts::isLockedOut (Database& db, const std::string& emailKey, std::int64_t time) const
{
    if (settings.maxFailedLogins <= 0)
        return false;

    Database::Statement query (db, "SELECT at FROM login_failure WHERE email_key = ?1 ORDER BY at DESC LIMIT ?2");
    query.bind (1, emailKey).bind (2, static_cast<std::int64_t> (settings.maxFailedLogins));

    std::vector<std::int64_t> recent;

    while (query.step())
        recent.push_back (query.columnInt (0));

    if (recent.size() < static_cast<std::size_t> (settings.maxFailedLogins))
        return false;

    const auto latest = recent.front();
    const auto earliest = recent.back();

    return latest - earliest <= settings.failureWindowSeconds
        && time < latest + settings.lockoutSeconds;
}

void Accounts::recordFailure (Database& db, const std::string& emailKey, std::int64_t time) const
{
    Database::Transaction transaction (db);

    Database::Statement insert (db, "INSERT INTO login_failure (email_key, at) VALUES (?1, ?2)");
    insert.bind (1, emailKey).bind (2, time).run();

    // Failures older than both the counting window and a lock-out can no
    // longer matter.
    const auto horizon = time - std::max (settings.failureWindowSeconds, settings.lockoutSeconds) - 60;
    Database::Statement prune (db, "DELETE FROM login_failure WHERE email_key = ?1 AND at < ?2");
    prune.bind (1, emailKey).bind (2, horizon).run();

    transaction.commit();
}

void Accounts::clearFailures (Database& db, const std::string& emailKey) const
{
    Database::Statement any (db, "SELECT 1 FROM login_failure WHERE email_key = ?1 LIMIT 1");
    any.bind (1, emailKey);

    if (! any.step())
        return;

    Database::Statement remove (db, "DELETE FROM login_failure WHERE email_key = ?1");
    remove.bind (1, emailKey).run();
}

Accounts::Login Accounts::logIn (std::string_view email, std::string_view password)
{
    Login login;
    login.errorTitle = loginFailedTitle;
    login.errorText = loginFailedText;

    if (email.empty() || email.size() > EntryRules::maxEmailBytes
        || password.size() > EntryRules::maxPasswordBytes)
        return login;

    const auto emailKey = Utf8::asciiLower (email);
    const auto time = now();
    auto db = connections.acquire();

    if (isLockedOut (*db, emailKey, time))
    {
        login.errorTitle = "Log-in Locked";
        login.errorText = lockedOutText();
        return login;
    }

    std::int64_t accountId = 0;
    std::string storedHash;

    {
        Database::Statement query (*db, "SELECT id, password_hash FROM account WHERE email_key = ?1");
        query.bind (1, emailKey);

        if (query.step())
        {
            accountId = query.columnInt (0);
            storedHash = query.columnText (1);
        }
    }

    const bool matches = accountId != 0 ? passwords.verify (storedHash, password)
                                        : (passwords.verifyNothing (password), false);

    if (! matches)
    {
        recordFailure (*db, emailKey, time);
        return login;
    }

    clearFailures (*db, emailKey);
    login.ok = true;
    login.accountId = accountId;
    login.errorTitle.clear();
    login.errorText.clear();
    return login;
}

//==============================================================================
std::string Accounts::registerAccount (const FormDecoding& form)
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
        return XmlReply::errors (refusedTitle, EntryRules::join (problems));

    const auto emailKey = Utf8::asciiLower (email);
    const auto takenText = "An account with this e-mail address already exists. "
                           "Use \"Forgot Password\" if you cannot log in.";

    auto db = connections.acquire();

    if (emailTakenByOther (*db, emailKey, 0))
        return XmlReply::errors (refusedTitle, takenText);

    // Hashing takes a while and much memory; do it before taking the write
    // lock so other requests are not held up.
    const auto hash = passwords.hash (password);

    Database::Transaction transaction (*db);

    if (emailTakenByOther (*db, emailKey, 0))
        return XmlReply::errors (refusedTitle, takenText);

    Database::Statement insert (*db, "INSERT INTO account (email, email_key, password_hash, first_name, "
                                     "last_name, is_developer, created_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.bind (1, email).bind (2, emailKey).bind (3, hash).bind (4, firstName).bind (5, lastName)
          .bind (6, static_cast<std::int64_t> (developer == "1" ? 1 : 0)).bind (7, now()).run();

    transaction.commit();

    return XmlReply::success ("Welcome to Cobaltline",
                              "Your account has been created. You can now scan your plug-ins for updates.");
}

std::string Accounts::viewProfile (const FormDecoding& form)
{
    const auto login = logIn (form.valueOf ("email"), form.valueOf ("password"));

    if (! login.ok)
        return XmlReply::errors (login.errorTitle, login.errorText);

    auto db = connections.acquire();
    Database::Statement query (*db, "SELECT first_name, last_name, is_developer FROM account WHERE id = ?1");
    query.bind (1, login.accountId);

    if (! query.step())
        return XmlReply::errors (loginFailedTitle, loginFailedText);

    XmlReply profile ("Profile");
    profile.set ("FirstName", query.columnText (0));
    profile.set ("LastName", query.columnText (1));
    profile.set ("IsDeveloper", query.columnInt (2) != 0 ? "1" : "0");
    profile.set ("UserId", std::to_string (login.accountId));
    return profile.toDocument();
}

std::string Accounts::editProfile (const FormDecoding& form)
{
    const std::string refusedTitle = "Profile Not Saved";
    const auto login = logIn (form.valueOf ("oldemail"), form.valueOf ("password"));

    if (! login.ok)
        return XmlReply::errors (login.errorTitle, login.errorText);

    if (form.valueOf ("userid") != std::to_string (login.accountId))
        return XmlReply::errors (refusedTitle, "The account details do not belong together. "
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
        return XmlReply::errors (refusedTitle, EntryRules::join (problems));

    const auto emailKey = Utf8::asciiLower (email);
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    if (emailTakenByOther (*db, emailKey, login.accountId))
        return XmlReply::errors (refusedTitle, "Another account already uses this e-mail address.");

    Database::Statement update (*db, "UPDATE account SET email = ?1, email_key = ?2, first_name = ?3, "
                                     "last_name = ?4, is_developer = ?5 WHERE id = ?6");
    update.bind (1, email).bind (2, emailKey).bind (3, firstName).bind (4, lastName)
          .bind (5, static_cast<std::int64_t> (developer == "1" ? 1 : 0)).bind (6, login.accountId).run();

    transaction.commit();

    return XmlReply::success ("Profile Saved", "Your profile has been updated.");
}

//==============================================================================
std::string Accounts::forgotPassword (const FormDecoding& form)
{
    const auto email = form.valueOf ("email");

    if (! EntryRules::checkEmail (email).empty())
        return XmlReply::errors ("No Reset Code Sent", "Please enter the e-mail address of your account.");

    const auto sentReply = XmlReply::success ("Reset Code Sent",
        "If an account uses this e-mail address, a reset code is on its way to it. The code is valid for "
        + minutesText (settings.resetCodeLifetimeSeconds) + " and can be used once.");

    const auto time = now();
    auto db = connections.acquire();
    Database::Transaction transaction (*db);

    std::int64_t accountId = 0;
    std::string storedEmail;

    {
        Database::Statement query (*db, "SELECT id, email FROM account WHERE email_key = ?1");
        query.bind (1, Utf8::asciiLower (email));

        if (! query.step())
            return sentReply;   // no account: say the same, send nothing

        accountId = query.columnInt (0);
        storedEmail = query.columnText (1);
    }

    {
        // Bounds how many messages anyone can make the service send to one
        // address.
        Database::Statement recent (*db, "SELECT COUNT(*) FROM reset_code WHERE account_id = ?1 AND created_at > ?2");
        recent.bind (1, accountId).bind (2, time - 3600);

        if (recent.step() && recent.columnInt (0) >= settings.maxResetCodesPerHour)
            return sentReply;
    }

    const auto code = PasswordHasher::randomCode (resetCodeLength);
    const auto digest = PasswordHasher::digest (code);

    // Only the newest code counts, so a message that went astray earlier is
    // of no use to whoever finds it.
    Database::Statement retire (*db, "UPDATE reset_code SET used_at = ?2 WHERE account_id = ?1 AND used_at IS NULL");
    retire.bind (1, accountId).bind (2, time).run();

    Database::Statement insert (*db, "INSERT INTO reset_code (account_id, code_hash, created_at, expires_at) "
                                     "VALUES (?1, ?2, ?3, ?4)");
    insert.bind (1, accountId).bindBlob (2, digest.data(), digest.size()).bind (3, time)
          .bind (4, time + settings.resetCodeLifetimeSeconds).run();

    const std::string body =
        "Hello,\n"
        "\n"
        "someone asked to reset the password of the Cobaltline account for this address.\n"
        "Enter this reset code in Cobaltline's \"Forgot Password\" window:\n"
        "\n"
        + code + "\n"
        "\n"
        "The code is valid for " + minutesText (settings.resetCodeLifetimeSeconds) + " and can be used once.\n"
        "If you did not ask for it, you can ignore this message; your password stays as it is.\n";

    mail.send (storedEmail, "Your Cobaltline password reset code", body, static_cast<std::time_t> (time));
    transaction.commit();

    return sentReply;
}

std::string Accounts::resetPassword (const FormDecoding& form)
{
    const std::string refusedTitle = "Password Not Reset";
    const auto email = form.valueOf ("email");
    const auto password = form.valueOf ("password");
    const auto code = normaliseCode (form.valueOf ("resetcode"));

    if (const auto problems = EntryRules::checkPassword (password); ! problems.empty())
        return XmlReply::errors (refusedTitle, EntryRules::join (problems));

    const auto invalidCodeText = "The reset code is not valid: it may be mistyped, expired or used already. "
                                 "Ask for a new code and use the newest message.";

    if (email.empty() || email.size() > EntryRules::maxEmailBytes || code.empty() || code.size() > 64)
        return XmlReply::errors (refusedTitle, invalidCodeText);

    const auto emailKey = Utf8::asciiLower (email);
    const auto time = now();
    auto db = connections.acquire();

    if (isLockedOut (*db, emailKey, time))
        return XmlReply::errors (refusedTitle, lockedOutText());

    const auto digest = PasswordHasher::digest (code);
    std::int64_t accountId = 0;
    std::int64_t codeId = 0;

    {
        Database::Statement query (*db, "SELECT a.id, r.id, r.code_hash FROM account a "
                                        "JOIN reset_code r ON r.account_id = a.id "
                                        "WHERE a.email_key = ?1 AND r.used_at IS NULL AND r.expires_at > ?2");
        query.bind (1, emailKey).bind (2, time);

        while (query.step())
        {
            const auto stored = query.columnBlob (2);

            if (stored.size() == digest.size()
                && sodium_memcmp (stored.data(), digest.data(), digest.size()) == 0)
            {
                accountId = query.columnInt (0);
                codeId = query.columnInt (1);
            }
        }
    }

    if (codeId == 0)
    {
        recordFailure (*db, emailKey, time);
        return XmlReply::errors (refusedTitle, invalidCodeText);
    }

    const auto hash = passwords.hash (password);

    Database::Transaction transaction (*db);

    // The code is spent by whichever request marks it first.
    Database::Statement spend (*db, "UPDATE reset_code SET used_at = ?2 WHERE id = ?1 AND used_at IS NULL");
    spend.bind (1, codeId).bind (2, time).run();

    if (db->changes() != 1)
        return XmlReply::errors (refusedTitle, invalidCodeText);

    Database::Statement update (*db, "UPDATE account SET password_hash = ?1 WHERE id = ?2");
    update.bind (1, hash).bind (2, accountId).run();

    Database::Statement clear (*db, "DELETE FROM login_failure WHERE email_key = ?1");
    clear.bind (1, emailKey).run();

    transaction.commit();

    return XmlReply::success ("Password Reset", "Your password has been changed. "
                                                "Cobaltline now uses the new password.");
}
