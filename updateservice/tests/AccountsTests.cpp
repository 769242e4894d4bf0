// The account rules in-process: Accounts and its store on a temporary
// database, a clock the test moves, and mail that is recorded instead of
// written.

#include "store/AccountStore.h"
#include "domain/Accounts.h"
#include "store/ConnectionPool.h"
#include "store/Database.h"
#include "base/EmailAddress.h"
#include "FullDisk.h"
#include "mail/Outbox.h"
#include "store/Schema.h"
#include "ServiceProcess.h"
#include "TestStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>
#include <type_traits>

namespace
{
    using Kind = Outcome::Kind;
    using Fields = std::vector<std::pair<std::string, std::string>>;

    const std::string goodPassword = "Passw0rd!";
    const std::string invalidCodeText = "The reset code is not valid: it may be mistyped, expired or used already. "
                                        "Ask for a new code and use the newest message.";

    // Every byte escaped, so any value survives the form decoding.
    FormDecoding formOf (const Fields& fields)
    {
        static const char* hex = "0123456789ABCDEF";
        std::string body;

        for (const auto& [name, value] : fields)
        {
            body += body.empty() ? "" : "&";

            for (const auto* part : { &name, &value })
            {
                for (const auto c : *part)
                {
                    const auto byte = static_cast<unsigned char> (c);
                    body += { '%', hex[byte >> 4], hex[byte & 15] };
                }

                body += part == &name ? "=" : "";
            }
        }

        return FormDecoding::parse (body);
    }

    class RecordingMail : public MailSink
    {
    public:
        struct Message
        {
            std::string to, body;
        };

        // Reset codes and confirmation links, told apart by their subjects.
        void deliver (std::string_view to, std::string_view subject, std::string_view body, std::time_t) override
        {
            if (beforeDelivery)
                beforeDelivery();

            (subject.find ("Confirm") != std::string_view::npos ? confirmations : messages)
                .push_back ({ std::string (to), std::string (body) });
        }

        std::vector<Message> messages, confirmations;
        std::function<void()> beforeDelivery;
    };

    // The fixture of the account rules; Param is the store's kind, or the
    // case of a table of cases, which runs on SQLite.
    template <typename Param>
    class AccountsFixture : public ::testing::TestWithParam<Param>
    {
    protected:
        AccountsFixture()
        {
            Database db (databasePath());
            Schema::bringUpToDate (db);
        }

        std::string databasePath() const { return testStore.location(); }

        Database::Kind storeKind() const
        {
            if constexpr (std::is_same_v<Param, Database::Kind>)
                return this->GetParam();
            else
                return Database::Kind::sqlite;
        }

        FullDisk disk;   ///< first, so every connection uses it
        TestStore testStore { storeKind() };

        // Made on first use, so a test can change the settings and the
        // mail sink before.
        Accounts& accounts()
        {
            if (service == nullptr)
                service = std::make_unique<Accounts> (store, hasher, *mailSink, settings, [this] { return clock; });

            return *service;
        }

        Outcome act (const Fields& fields) { return accounts().handle (formOf (fields), client); }

        Outcome signUp (const std::string& email, const std::string& password = goodPassword)
        {
            return act ({ { "registerpost", "true" }, { "email", email }, { "password", password },
                          { "firstname", "Ann" }, { "lastname", "Lee" }, { "isdeveloper", "1" } });
        }

        Outcome view (const std::string& email, const std::string& password)
        {
            return act ({ { "viewprofile", "true" }, { "email", email }, { "password", password } });
        }

        Outcome edit (const std::string& oldEmail, const std::string& password, const std::string& userId,
                      const std::string& email)
        {
            return act ({ { "editprofile", "true" }, { "oldemail", oldEmail }, { "email", email },
                          { "password", password }, { "firstname", "Anna" }, { "lastname", "Lee-Smith" },
                          { "isdeveloper", "0" }, { "userid", userId } });
        }

        Outcome forgot (const std::string& email)
        {
            return act ({ { "forgotpassword", "true" }, { "email", email } });
        }

        Outcome reset (const std::string& email, const std::string& password, const std::string& code)
        {
            return act ({ { "resetpassword", "true" }, { "email", email }, { "password", password },
                          { "resetcode", code } });
        }

        // The code stands on a line of its own in the newest message.
        std::string newestCode() const
        {
            if (mail.messages.empty())
                return {};

            const auto& body = mail.messages.back().body;
            const auto start = body.find ("\n\n", body.find ("window:")) + 2;
            return body.substr (start, Accounts::resetCodeLength);
        }

        // The token of the newest confirmation link.
        std::string newestToken() const
        {
            if (mail.confirmations.empty())
                return {};

            const auto& body = mail.confirmations.back().body;
            const auto start = body.find ("/confirm?token=");
            return start == std::string::npos ? std::string {} : body.substr (start + 15, body.find ('\n', start) - start - 15);
        }

        std::int64_t count (const char* sql)
        {
            Database db (databasePath());
            Database::Statement query (db, sql);
            query.step();
            return query.columnInt (0);
        }

        void failLogIns (const std::string& email, int times)
        {
            for (int i = 0; i < times; ++i)
            {
                EXPECT_EQ (view (email, "Wrong-passw0rd").title, "Log-in Failed");
                clock += 10;
            }
        }

        TemporaryFolder folder;
        ConnectionPool pool { databasePath() };
        AccountStore store { pool };
        const PasswordHasher hasher { PasswordHasher::Strength::fast };
        RecordingMail mail;
        MailSink* mailSink = &mail;
        Accounts::Settings settings;
        std::int64_t clock = 1'800'000'000;
        std::string client = "192.0.2.1";   ///< the address requests come from
        std::unique_ptr<Accounts> service;
    };

    class AccountsTest : public AccountsFixture<Database::Kind>
    {
    };

    //==============================================================================
    TEST_P (AccountsTest, AddressesAreUniqueWithoutRegardToCase)
    {
        ASSERT_EQ (signUp ("Ann.Lee@Example.com").kind, Kind::success);

        const auto duplicate = signUp ("ann.lee@EXAMPLE.COM");
        EXPECT_EQ (duplicate.kind, Kind::errors);
        EXPECT_EQ (duplicate.title, "Sign Up Refused");
        EXPECT_EQ (duplicate.text, "An account with this e-mail address already exists. "
                                   "Use the \"Forgotten Password Reset\" window if you cannot log in.");

        const auto profile = view ("ANN.LEE@example.com", goodPassword);
        ASSERT_EQ (profile.kind, Kind::profile) << profile.text;
        EXPECT_EQ (profile.values, (std::vector<Outcome::Value> { { "firstName", "Ann" }, { "lastName", "Lee" },
                                                                  { "isDeveloper", "1" }, { "userId", "1" } }));
        EXPECT_EQ (view ("ann.lee@example.com", "passw0rd!").title, "Log-in Failed");
    }

    // Addresses that look the same are one address: composed and
    // decomposed accents, fullwidth letters, letter case, an international
    // domain in either form, a trailing dot; and surrounding spaces and
    // invisible characters do not tell them apart when logging in.
    TEST_P (AccountsTest, AddressesThatLookTheSameAreOneAccount)
    {
        ASSERT_EQ (signUp ("Jos\xC3\xA9@b\xC3\xBC" "cher.de").kind, Kind::success);

        for (const auto* lookAlike : { "jose\xCC\x81@B\xC3\x9C" "CHER.DE",             // decomposed, capitals
                                       "\xEF\xBC\xAAos\xC3\xA9@b\xC3\xBC" "cher.de",   // fullwidth J
                                       "jos\xC3\xA9@xn--bcher-kva.de" })
        {
            const auto outcome = signUp (lookAlike);
            EXPECT_EQ (outcome.title, "Sign Up Refused") << lookAlike;
            EXPECT_NE (outcome.text.find ("already exists"), std::string::npos) << lookAlike;
        }

        for (const auto* typed : { " jos\xC3\xA9@b\xC3\xBC" "cher.de ", "jos\xE2\x80\x8B\xC3\xA9@b\xC3\xBC" "cher.de.",
                                   "JOS\xC3\x89@xn--bcher-kva.de" })
            EXPECT_EQ (view (typed, goodPassword).kind, Kind::profile) << typed;

        forgot (" JOSE\xCC\x81@b\xC3\xBC" "cher.de");
        ASSERT_EQ (mail.messages.size(), 1u);
        EXPECT_EQ (mail.messages[0].to, "Jos\xC3\xA9@b\xC3\xBC" "cher.de");
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account"), 1);
    }

    // Accounts made before addresses were compared this way may now have
    // the same key: each still logs in with its address typed exactly as
    // stored, and one that only differs in ASCII letter case from it.
    TEST_P (AccountsTest, AccountsWhoseAddressesNowCollideKeepWorking)
    {
        accounts();

        {
            Database db (databasePath());
            Database::Statement insert (db, "INSERT INTO account (email, email_key, password_hash, first_name, "
                                            "last_name, is_developer, created_at) VALUES (?1, ?2, ?3, ?1, 'L', 0, 1)");

            for (const auto& [email, password] : { std::pair { "Ann@example.com", "Passw0rd-A" },
                                                   std::pair { "ann@example.com.", "Passw0rd-B" } })
            {
                insert.bind (1, email).bind (2, EmailAddress::key (email)).bind (3, hasher.hash (password)).run();
                insert.reset();
            }
        }

        EXPECT_EQ (view ("Ann@example.com", "Passw0rd-A").valueOf ("firstName"), "Ann@example.com");
        EXPECT_EQ (view ("ANN@example.com", "Passw0rd-A").valueOf ("firstName"), "Ann@example.com");
        EXPECT_EQ (view ("ann@example.com.", "Passw0rd-B").valueOf ("firstName"), "ann@example.com.");
        EXPECT_EQ (view ("ann@example.com.", "Passw0rd-A").title, "Log-in Failed");
        EXPECT_EQ (signUp ("ann@example.com").title, "Sign Up Refused");
    }

    TEST_P (AccountsTest, EditProfileChecksWhoAsksAndWhatIsEntered)
    {
        ASSERT_EQ (signUp ("ann@example.com").kind, Kind::success);
        ASSERT_EQ (signUp ("other@example.com").kind, Kind::success);

        EXPECT_EQ (edit ("ann@example.com", "Wrong-passw0rd", "1", "new@example.com").title, "Log-in Failed");
        EXPECT_NE (edit ("ann@example.com", goodPassword, "2", "new@example.com").text.find ("do not belong together"),
                   std::string::npos);
        EXPECT_EQ (edit ("ann@example.com", goodPassword, "1", "OTHER@example.com").text,
                   "Another account already uses this e-mail address.");
        EXPECT_EQ (edit ("ann@example.com", goodPassword, "1", "no-at-sign.com").text,
                   "The e-mail address must contain an \"@\" and a \".\".");

        const auto saved = edit ("ann@example.com", goodPassword, "1", "New@Example.com");
        ASSERT_EQ (saved.kind, Kind::success) << saved.text;
        EXPECT_EQ (saved.title, "Profile Saved");

        // The old address is gone; the password is the same.
        EXPECT_EQ (view ("ann@example.com", goodPassword).kind, Kind::errors);
        const auto updated = view ("new@example.com", goodPassword);
        EXPECT_EQ (updated.valueOf ("firstName"), "Anna");
        EXPECT_EQ (updated.valueOf ("lastName"), "Lee-Smith");
        EXPECT_EQ (updated.valueOf ("isDeveloper"), "0");
        EXPECT_EQ (updated.valueOf ("userId"), "1");
    }

    struct RefusedSignUp
    {
        const char* label;
        Fields fields;
        const char* title;
    };

    class AccountsSignUpRefused : public AccountsFixture<RefusedSignUp>
    {
    };

    TEST_P (AccountsSignUpRefused, NoAccountIsMade)
    {
        const auto outcome = act (GetParam().fields);
        EXPECT_EQ (outcome.kind, Kind::errors);
        EXPECT_EQ (outcome.title, GetParam().title);
        EXPECT_FALSE (outcome.text.empty());
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account"), 0);
    }

    Fields signUpFields (const std::string& email, const std::string& password, const std::string& first,
                         const std::string& last, const std::string& developer)
    {
        return { { "registerpost", "true" }, { "email", email }, { "password", password },
                 { "firstname", first }, { "lastname", last }, { "isdeveloper", developer } };
    }

    constexpr const char* refused = "Sign Up Refused";
    constexpr const char* unknown = "Unknown Request";

    INSTANTIATE_TEST_SUITE_P (Table, AccountsSignUpRefused, ::testing::Values (
        RefusedSignUp { "short", signUpFields ("a@b.c", "Aa1!Aa1", "A", "B", "0"), refused },
        RefusedSignUp { "nosymbol", signUpFields ("a@b.c", "Password1", "A", "B", "0"), refused },
        RefusedSignUp { "nodigit", signUpFields ("a@b.c", "Password!", "A", "B", "0"), refused },
        RefusedSignUp { "noupper", signUpFields ("a@b.c", "password1!", "A", "B", "0"), refused },
        RefusedSignUp { "email", signUpFields ("ab.c", goodPassword, "A", "B", "0"), refused },
        RefusedSignUp { "first", signUpFields ("a@b.c", goodPassword, "", "B", "0"), refused },
        RefusedSignUp { "last", signUpFields ("a@b.c", goodPassword, "A", "", "0"), refused },
        RefusedSignUp { "developer", signUpFields ("a@b.c", goodPassword, "A", "B", "yes"), refused },
        RefusedSignUp { "action", Fields { { "registerpost", "false" }, { "email", "a@b.c" } }, unknown },
        RefusedSignUp { "unknown", Fields { { "deleteaccount", "true" } }, unknown }),
        [] (const ::testing::TestParamInfo<RefusedSignUp>& testInfo) { return std::string (testInfo.param.label); });

    //==============================================================================
    // The sign-up reply stays as it was; the link mailed after it confirms
    // the address once. The account works in the meantime.
    TEST_P (AccountsTest, SignUpMailsALinkThatConfirmsTheAddressOnce)
    {
        settings.publicUrl = "https://updates.example.com";
        const auto welcome = signUp ("new@example.com");
        EXPECT_EQ (welcome.title, "Welcome to Cobaltline");
        EXPECT_EQ (welcome.text, "Your account has been created. You can now scan your plug-ins for updates.");
        EXPECT_EQ (signUp ("NEW@example.com").title, "Sign Up Refused");

        ASSERT_EQ (mail.confirmations.size(), 1u);
        EXPECT_EQ (mail.confirmations[0].to, "new@example.com");
        EXPECT_NE (mail.confirmations[0].body.find ("\nhttps://updates.example.com/confirm?token="), std::string::npos);
        const auto token = newestToken();
        ASSERT_EQ (token.size(), 32u);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL"), 1);
        EXPECT_EQ (view ("new@example.com", goodPassword).kind, Kind::profile);

        const auto wrong = accounts().confirmAddress (std::string (32, 'a'));
        EXPECT_EQ (wrong.kind, Kind::errors);
        const auto confirmed = accounts().confirmAddress (token);
        EXPECT_EQ (confirmed.kind, Kind::success);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL"), 0);

        // Spent: it reads as any wrong link.
        const auto again = accounts().confirmAddress (token);
        EXPECT_EQ (again.kind, Kind::errors);
        EXPECT_EQ (again.text, wrong.text);
    }

    TEST_P (AccountsTest, ALinkLastsAWeekAResetCodeConfirmsTooAndANewAddressNeedsConfirming)
    {
        ASSERT_EQ (signUp ("late@example.com").kind, Kind::success);
        const auto token = newestToken();
        clock += 7 * 24 * 3600;
        EXPECT_EQ (accounts().confirmAddress (token).kind, Kind::errors);

        // The mailed reset code proves the mailbox as well.
        forgot ("late@example.com");
        ASSERT_EQ (reset ("late@example.com", "N3w-Passw0rd", newestCode()).kind, Kind::success);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL"), 0);

        ASSERT_EQ (edit ("late@example.com", "N3w-Passw0rd", "1", "Moved@example.com").title, "Profile Saved");
        ASSERT_EQ (mail.confirmations.size(), 2u);
        EXPECT_EQ (mail.confirmations[1].to, "Moved@example.com");
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL"), 1);

        // Only another address needs it: a change of letter case does not.
        ASSERT_EQ (accounts().confirmAddress (newestToken()).kind, Kind::success);
        ASSERT_EQ (edit ("moved@example.com", "N3w-Passw0rd", "1", "moved@EXAMPLE.com").title, "Profile Saved");
        EXPECT_EQ (mail.confirmations.size(), 2u);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL"), 0);
    }

    TEST_P (AccountsTest, UnknownAddressesGetTheSameAnswerAndNoMail)
    {
        ASSERT_EQ (signUp ("Reset@Example.com").kind, Kind::success);

        const auto unknownAddress = forgot ("nobody@example.com");
        EXPECT_EQ (unknownAddress.kind, Kind::success);
        EXPECT_TRUE (mail.messages.empty());

        const auto known = forgot ("RESET@example.com");
        EXPECT_EQ (known.title, unknownAddress.title);
        EXPECT_EQ (known.text, unknownAddress.text);
        ASSERT_EQ (mail.messages.size(), 1u);
        EXPECT_EQ (mail.messages[0].to, "Reset@Example.com");   // as typed at sign-up
        // It names the program's window by its title.
        EXPECT_NE (mail.messages[0].body.find ("\"Forgotten Password Reset\" window"), std::string::npos);

        EXPECT_EQ (forgot ("not an address").title, "No Reset Code Sent");
    }

    TEST_P (AccountsTest, AResetCodeWorksOnceAndOnlyForItsAccount)
    {
        ASSERT_EQ (signUp ("reset@example.com").kind, Kind::success);
        ASSERT_EQ (signUp ("other@example.com").kind, Kind::success);
        forgot ("reset@example.com");
        const auto code = newestCode();
        ASSERT_EQ (code.size(), Accounts::resetCodeLength);

        // The password rules come first, and a refusal does not spend the code.
        EXPECT_EQ (reset ("reset@example.com", "weak", code).text, "The password must be at least 8 characters long.");
        EXPECT_EQ (reset ("other@example.com", "N3w-Passw0rd", code).text, invalidCodeText);
        EXPECT_EQ (reset ("reset@example.com", "N3w-Passw0rd", "WRONGCODE234").text, invalidCodeText);

        // Typed in small letters with spaces, it still counts.
        std::string typed;

        for (const auto c : code)
            typed += { static_cast<char> (std::tolower (static_cast<unsigned char> (c))), ' ' };

        const auto done = reset ("reset@example.com", "N3w-Passw0rd", typed);
        ASSERT_EQ (done.kind, Kind::success) << done.text;
        EXPECT_EQ (done.title, "Password Reset");
        EXPECT_EQ (view ("reset@example.com", goodPassword).kind, Kind::errors);
        EXPECT_EQ (view ("reset@example.com", "N3w-Passw0rd").kind, Kind::profile);

        EXPECT_EQ (reset ("reset@example.com", "An0ther-Passw0rd", code).text, invalidCodeText);
        EXPECT_EQ (view ("reset@example.com", "N3w-Passw0rd").kind, Kind::profile);
    }

    TEST_P (AccountsTest, OfTwoRequestsWithTheSameCodeOnlyTheFirstSpendsIt)
    {
        ASSERT_EQ (signUp ("race@example.com").kind, Kind::success);
        forgot ("race@example.com");
        const auto digest = PasswordHasher::digest (newestCode());

        // Both requests found the code unused before either spent it.
        const auto first = store.findResetCode (1, digest, clock);
        const auto second = store.findResetCode (1, digest, clock);
        ASSERT_TRUE (first.has_value() && second.has_value());

        EXPECT_TRUE (store.spendResetCode (*first, hasher.hash ("N3w-Passw0rd"), client, "race@example.com", clock));
        EXPECT_FALSE (store.spendResetCode (*second, hasher.hash ("Th1rd-Passw0rd"), client, "race@example.com", clock));
        EXPECT_EQ (view ("race@example.com", "N3w-Passw0rd").kind, Kind::profile);
    }

    TEST_P (AccountsTest, ANewerCodeRetiresTheOlderOne)
    {
        ASSERT_EQ (signUp ("reset@example.com").kind, Kind::success);
        forgot ("reset@example.com");
        const auto first = newestCode();
        forgot ("reset@example.com");
        const auto second = newestCode();
        ASSERT_NE (first, second);

        EXPECT_EQ (reset ("reset@example.com", "N3w-Passw0rd", first).text, invalidCodeText);
        EXPECT_EQ (reset ("reset@example.com", "N3w-Passw0rd", second).kind, Kind::success);
    }

    TEST_P (AccountsTest, ExpiredResetCodeIsRefused)
    {
        settings.resetCodeLifetimeSeconds = 600;
        ASSERT_EQ (signUp ("late@example.com").kind, Kind::success);

        EXPECT_NE (forgot ("late@example.com").text.find ("valid for 10 minutes"), std::string::npos);
        clock += 599;
        EXPECT_EQ (reset ("late@example.com", "N3w-Passw0rd", newestCode()).kind, Kind::success);

        forgot ("late@example.com");
        clock += 600;
        EXPECT_EQ (reset ("late@example.com", "Th1rd-Passw0rd", newestCode()).text, invalidCodeText);
        EXPECT_EQ (view ("late@example.com", "N3w-Passw0rd").kind, Kind::profile);
    }

    TEST_P (AccountsTest, AtMostFiveResetCodesAnHourGoToOneAddress)
    {
        ASSERT_EQ (signUp ("many@example.com").kind, Kind::success);
        const auto start = clock;

        for (int i = 0; i < 6; ++i, clock += 60)
            EXPECT_EQ (forgot ("many@example.com").kind, Kind::success);

        EXPECT_EQ (mail.messages.size(), 5u);

        clock = start + 3599;
        forgot ("many@example.com");
        EXPECT_EQ (mail.messages.size(), 5u);

        // An hour after the first, it no longer counts.
        clock = start + 3600;
        forgot ("many@example.com");
        EXPECT_EQ (mail.messages.size(), 6u);
    }

    TEST_P (AccountsTest, TheResetMailGoesOutOnlyOnceItsCodeIsStored)
    {
        ASSERT_EQ (signUp ("order@example.com").kind, Kind::success);

        // Another connection sees only what has been committed.
        std::int64_t storedWhenSent = -1;
        mail.beforeDelivery = [this, &storedWhenSent]
        {
            storedWhenSent = count ("SELECT COUNT(*) FROM reset_code WHERE used_at IS NULL");
        };

        forgot ("order@example.com");
        EXPECT_EQ (storedWhenSent, 1);
        EXPECT_EQ (reset ("order@example.com", "N3w-Passw0rd", newestCode()).kind, Kind::success);
    }

    TEST_P (AccountsTest, AResetMailThatCannotBeWrittenKeepsTheReplyAndIsReported)
    {
        const auto outboxFolder = folder.path() / "outbox";
        Outbox outbox (outboxFolder, "Cobaltline <no-reply@example.com>");
        mailSink = &outbox;
        ASSERT_EQ (signUp ("lost@example.com").kind, Kind::success);

        // A file where the folder was: no message can be written there.
        std::filesystem::remove_all (outboxFolder);
        std::ofstream (outboxFolder) << "in the way";

        const auto expected = forgot ("nobody@example.com");
        const auto outcome = forgot ("lost@example.com");
        EXPECT_EQ (outcome.kind, Kind::success);
        EXPECT_EQ (outcome.text, expected.text);
        EXPECT_NE (outcome.unreportedFailure.find ("could not be mailed"), std::string::npos);
        EXPECT_TRUE (expected.unreportedFailure.empty());
        EXPECT_EQ (count ("SELECT COUNT(*) FROM reset_code"), 1);
    }

    TEST_P (AccountsTest, ADeferredResetCodeIsIssuedAndMailedOnlyAfterTheReply)
    {
        ASSERT_EQ (signUp ("later@example.com").kind, Kind::success);
        std::vector<std::function<void()>> deferred;
        accounts().deferMailWith ([&deferred] (std::function<void()> task) { deferred.push_back (std::move (task)); });

        // Both replies are made with the same work: nothing is stored or
        // mailed until the deferred work runs.
        EXPECT_EQ (forgot ("later@example.com").kind, Kind::success);
        EXPECT_EQ (forgot ("nobody@example.com").kind, Kind::success);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM reset_code"), 0);
        ASSERT_EQ (deferred.size(), 2u);

        for (const auto& task : deferred)
            task();

        ASSERT_EQ (mail.messages.size(), 1u);
        EXPECT_EQ (reset ("later@example.com", "N3w-Passw0rd", newestCode()).kind, Kind::success);
    }

    //==============================================================================
    TEST_P (AccountsTest, FailedLogInsLockTheAddressForAWhile)
    {
        settings.maxFailedLogins = 3;
        settings.lockoutSeconds = 120;
        ASSERT_EQ (signUp ("locked@example.com").kind, Kind::success);

        failLogIns ("locked@example.com", 3);
        const auto lastFailure = clock - 10;

        // Now even the right password is refused, with a different title.
        const auto locked = view ("LOCKED@example.com", goodPassword);
        EXPECT_EQ (locked.title, "Log-in Locked");
        EXPECT_EQ (locked.text, "There were too many failed log-ins for this account. Please try again in 2 minutes.");

        clock = lastFailure + 119;
        EXPECT_EQ (view ("locked@example.com", goodPassword).title, "Log-in Locked");
        clock = lastFailure + 120;
        EXPECT_EQ (view ("locked@example.com", goodPassword).kind, Kind::profile);
    }

    TEST_P (AccountsTest, WhatIsNoTextInPlaceOfAnAddressFailsAndLocksLikeAnyOther)
    {
        settings.maxFailedLogins = 3;

        for (const auto& typed : { std::string ("ann\xFF@example.com"), std::string ("ann\0@example.com", 16) })
        {
            failLogIns (typed, 3);
            EXPECT_EQ (view (typed, goodPassword).title, "Log-in Locked");
        }
    }

    TEST_P (AccountsTest, AddressesWithoutAnAccountLockTheSameWay)
    {
        settings.maxFailedLogins = 3;
        failLogIns ("ghost@example.com", 3);
        EXPECT_EQ (view ("ghost@example.com", "x").title, "Log-in Locked");
    }

    TEST_P (AccountsTest, OnlyFailuresWithinTheWindowLock)
    {
        settings.maxFailedLogins = 3;
        settings.failureWindowSeconds = 60;
        ASSERT_EQ (signUp ("slow@example.com").kind, Kind::success);

        failLogIns ("slow@example.com", 2);
        clock += 45;   // the third failure comes 65 seconds after the first
        failLogIns ("slow@example.com", 1);
        EXPECT_EQ (view ("slow@example.com", goodPassword).kind, Kind::profile);
    }

    // The window is half-open, as the lock-out and code lifetimes are: a
    // failure exactly window seconds older than the latest no longer counts.
    TEST_P (AccountsTest, TheFailureWindowEndsJustBeforeItsLength)
    {
        settings.maxFailedLogins = 2;
        settings.failureWindowSeconds = 60;

        for (const auto& [email, gap, locked] : { std::tuple { "inside@example.com", 59, true },
                                                  std::tuple { "outside@example.com", 60, false } })
        {
            view (email, "Wrong-passw0rd");
            clock += gap;
            view (email, "Wrong-passw0rd");
            EXPECT_EQ (view (email, "Wrong-passw0rd").title, locked ? "Log-in Locked" : "Log-in Failed") << email;
        }
    }

    TEST_P (AccountsTest, ALogInClearsTheFailuresAndZeroNeverLocks)
    {
        settings.maxFailedLogins = 3;
        ASSERT_EQ (signUp ("mixed@example.com").kind, Kind::success);

        failLogIns ("mixed@example.com", 2);
        ASSERT_EQ (view ("mixed@example.com", goodPassword).kind, Kind::profile);
        failLogIns ("mixed@example.com", 2);
        EXPECT_EQ (view ("mixed@example.com", goodPassword).kind, Kind::profile);

        service.reset();
        settings.maxFailedLogins = 0;
        failLogIns ("mixed@example.com", 10);
        EXPECT_EQ (view ("mixed@example.com", goodPassword).kind, Kind::profile);
    }

    TEST_P (AccountsTest, WrongResetCodesCountAsFailedLogInsButAValidCodeIsAlwaysTaken)
    {
        settings.maxFailedLogins = 3;
        ASSERT_EQ (signUp ("guess@example.com").kind, Kind::success);
        forgot ("guess@example.com");

        for (int i = 0; i < 3; ++i)
            EXPECT_EQ (reset ("guess@example.com", "N3w-Passw0rd", "GUESS" + std::to_string (i)).text, invalidCodeText);

        EXPECT_NE (reset ("guess@example.com", "N3w-Passw0rd", "GUESS9").text.find ("too many failed log-ins"),
                   std::string::npos);
        EXPECT_EQ (view ("guess@example.com", goodPassword).title, "Log-in Locked");

        // The mailed code proves the mail was read: no lock-out stands in
        // its way, and it lifts this address's lock.
        EXPECT_EQ (reset ("guess@example.com", "N3w-Passw0rd", newestCode()).kind, Kind::success);
        EXPECT_EQ (view ("guess@example.com", "N3w-Passw0rd").kind, Kind::profile);
    }

    //==============================================================================
    TEST_P (AccountsTest, NobodyElseCanLockAnOwnerOut)
    {
        ASSERT_EQ (signUp ("victim@example.com").kind, Kind::success);
        const auto owner = client;

        // An attacker tries many passwords: it locks only its own address.
        client = "198.51.100.7";
        failLogIns ("victim@example.com", settings.maxFailedLogins);
        EXPECT_EQ (view ("victim@example.com", goodPassword).title, "Log-in Locked");

        client = owner;
        EXPECT_EQ (view ("victim@example.com", goodPassword).kind, Kind::profile);

        // Many attackers at once: the account is guarded, so addresses that
        // failed for it get no more checks, but the owner's address still
        // does, and so does a mailed code.
        for (int a = 0; a < settings.maxFailedLoginsPerAccount; ++a)
        {
            client = "203.0.113." + std::to_string (a);
            failLogIns ("victim@example.com", 1);
        }

        EXPECT_EQ (view ("victim@example.com", goodPassword).title, "Log-in Locked");
        client = owner;
        EXPECT_EQ (view ("victim@example.com", goodPassword).kind, Kind::profile);
        forgot ("victim@example.com");
        EXPECT_EQ (reset ("victim@example.com", "N3w-Passw0rd", newestCode()).kind, Kind::success);
    }

    TEST_P (AccountsTest, OneAddressCannotSprayPasswordsOverManyAccounts)
    {
        settings.maxFailedLoginsPerAddress = 6;
        ASSERT_EQ (signUp ("target@example.com").kind, Kind::success);

        for (int i = 0; i < 3; ++i)
            failLogIns ("user" + std::to_string (i) + "@example.com", 2);

        EXPECT_EQ (view ("target@example.com", goodPassword).title, "Log-in Locked");
        client = "192.0.2.200";
        EXPECT_EQ (view ("target@example.com", goodPassword).kind, Kind::profile);
    }

    TEST_P (AccountsTest, RequestsAtOnceGetNoMoreChecksThanTheLimit)
    {
        ASSERT_EQ (signUp ("race@example.com").kind, Kind::success);
        accounts();

        std::atomic<int> checked { 0 };
        std::vector<std::thread> attackers;

        for (int t = 0; t < 8; ++t)
        {
            attackers.emplace_back ([this, &checked]
            {
                for (int i = 0; i < 5; ++i)
                    if (service->logIn ("race@example.com", "Wrong-passw0rd", "198.51.100.9").errorTitle == "Log-in Failed")
                        ++checked;
            });
        }

        for (auto& attacker : attackers)
            attacker.join();

        EXPECT_EQ (checked.load(), settings.maxFailedLogins);
    }

    TEST_P (AccountsTest, IPv6AddressesCountByTheirNetwork)
    {
        EXPECT_EQ (Accounts::clientKey ("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
        EXPECT_EQ (Accounts::clientKey ("2001:db8:1:2:bbbb::9"), "2001:db8:1:2::/64");
        EXPECT_EQ (Accounts::clientKey ("::ffff:192.0.2.1"), "192.0.2.1");
        EXPECT_EQ (Accounts::clientKey ("192.0.2.1"), "192.0.2.1");
        EXPECT_EQ (Accounts::clientKey (""), "unknown");
    }

    // Each attempt is written before the password is checked; on a full
    // disk it counts in memory instead, so right passwords still log in
    // and lock-outs still hold.
    // The full disk is SQLite's: a file system shim under its files.
    class AccountsOnAFullDiskTest : public AccountsTest
    {
    };

    INSTANTIATE_TEST_SUITE_P (Stores, AccountsOnAFullDiskTest, ::testing::Values (Database::Kind::sqlite),
                              TestStore::nameOf);

    TEST_P (AccountsOnAFullDiskTest, RefusesNoRightPasswordAndLiftsNoLockOut)
    {
        settings.maxFailedLogins = 3;
        ASSERT_EQ (signUp ("owner@example.com").kind, Kind::success);
        const auto owner = client, attacker = std::string ("198.51.100.7");
        failLogIns ("owner@example.com", 1);   // the owner's own slip, stored
        client = attacker;
        failLogIns ("owner@example.com", 1);

        disk.full = true;
        client = owner;
        EXPECT_EQ (view ("owner@example.com", goodPassword).kind, Kind::profile);

        client = attacker;
        failLogIns ("owner@example.com", 2);   // kept in memory
        EXPECT_EQ (view ("owner@example.com", goodPassword).title, "Log-in Locked");
        EXPECT_EQ (signUp ("new@example.com").title, "Service Out of Room");

        // Once there is room again, what was held back is written.
        disk.full = false;
        EXPECT_EQ (view ("owner@example.com", goodPassword).title, "Log-in Locked");
        EXPECT_EQ (count ("SELECT COUNT(*) FROM login_attempt WHERE client = '198.51.100.7'"), 3);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM login_attempt WHERE client = '192.0.2.1'"), 0);
        client = owner;
        EXPECT_EQ (view ("owner@example.com", goodPassword).kind, Kind::profile);
        EXPECT_EQ (signUp ("new@example.com").kind, Kind::success);
    }

    //==============================================================================
    TEST_P (AccountsTest, SignUpsAreLimitedPerAddressAndInAll)
    {
        settings.maxSignUpsPerAddressPerHour = 2;
        settings.maxSignUpsPerHour = 3;

        EXPECT_EQ (signUp ("a@example.com").kind, Kind::success);
        EXPECT_EQ (signUp ("a@example.com").title, "Sign Up Refused");   // taken: counts as well
        EXPECT_EQ (signUp ("b@example.com").title, "Too Many Sign-Ups");

        client = "192.0.2.2";
        EXPECT_EQ (signUp ("c@example.com").kind, Kind::success);
        client = "192.0.2.3";
        EXPECT_EQ (signUp ("d@example.com").title, "Too Many Sign-Ups");

        clock += 3601;
        EXPECT_EQ (signUp ("d@example.com").kind, Kind::success);
        EXPECT_EQ (count ("SELECT COUNT(*) FROM account"), 3);
    }

    // One client with many addresses in one network cannot spend
    // everybody's sign-ups, and what is spent comes back steadily rather
    // than all at once an hour later.
    TEST_P (AccountsTest, SignUpCapsAreShapedPerNetworkAndRefillSteadily)
    {
        settings.maxSignUpsPerAddressPerHour = 2;
        settings.maxSignUpsPerNetworkPerHour = 4;
        settings.maxSignUpsPerHour = 6;
        int made = 0;

        for (int host = 1; host <= 10; ++host)
        {
            client = "192.0.2." + std::to_string (host);

            for (int i = 0; i < 2; ++i)
                made += signUp ("a" + std::to_string (host * 10 + i) + "@example.com").kind == Kind::success ? 1 : 0;
        }

        EXPECT_EQ (made, 4);
        client = "2001:db8:1:2::1";
        EXPECT_EQ (signUp ("b1@example.com").kind, Kind::success);
        client = "2001:db8:1:3::1";   // another /64 of the same /48
        EXPECT_EQ (signUp ("b2@example.com").kind, Kind::success);
        client = "198.51.100.1";
        EXPECT_EQ (signUp ("c1@example.com").title, "Too Many Sign-Ups");   // all six are spent

        // A sixth of an hour brings back one sign-up, not all of them.
        clock += 600;
        EXPECT_EQ (signUp ("c2@example.com").kind, Kind::success);
        EXPECT_EQ (signUp ("c3@example.com").title, "Too Many Sign-Ups");
    }

    TEST_P (AccountsTest, ResetRequestsAreLimitedTheSameForEveryAddress)
    {
        settings.maxResetRequestsPerAddressPerHour = 2;
        settings.maxResetRequestsPerHour = 3;
        ASSERT_EQ (signUp ("known@example.com").kind, Kind::success);

        forgot ("known@example.com");
        forgot ("nobody@example.com");
        const auto known = forgot ("known@example.com");
        const auto unknownAddress = forgot ("nobody@example.com");
        EXPECT_EQ (known.kind, Kind::errors);
        EXPECT_EQ (known.title, unknownAddress.title);
        EXPECT_EQ (known.text, unknownAddress.text);

        client = "192.0.2.2";
        EXPECT_EQ (forgot ("known@example.com").kind, Kind::success);
        client = "192.0.2.3";
        EXPECT_EQ (forgot ("known@example.com").kind, Kind::errors);
        EXPECT_EQ (mail.messages.size(), 2u);
    }

    COBALTLINE_ON_BOTH_STORES (AccountsTest);
}
