#include "gui/account/cobaltlineSignUp.h"
#include "gui/account/editProfile.h"
#include "gui/account/forgotPassword.h"
#include "gui/desktop/Dialogs.h"
#include "gui/account/cobaltlineFirstRunSplash.h"

#include "GuiTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace
{
    /** A canned service: the connection check page opens, and every account
        request is answered with the reply set last.
    */
    class AccountDialogTest : public ::testing::Test
    {
    protected:
        ~AccountDialogTest() override
        {
            releaseReplies();

            while (auto* modal = juce::Component::getCurrentlyModalComponent())
            {
                modal->exitModalState (0);
                pumpMessages();
            }
        }

        void answerWith (const juce::String& reply)   { server.setHandler (answeringScansWith (reply)); }

        /** Holds every account request's reply until releaseReplies (the check page answers at once). */
        void holdRepliesThenAnswerWith (const juce::String& reply)
        {
            server.setHandler ([released = repliesReleased, reply] (const LoopbackHttpServer::Request& r)
            {
                if (r.path != "/checkconnect/index.html")
                    released->wait (60000);

                return answeringScansWith (reply) (r);
            });
        }

        void releaseReplies()   { repliesReleased->signal(); }

        /** Opens the dialog as the program does; its window is remembered. */
        template <typename Dialog>
        Dialog& launch()
        {
            auto dialog = std::make_unique<Dialog> (test.get());
            auto& result = *dialog;
            window = Dialogs::launch (std::move (dialog), "Test", 0, [this] (int r) { closedWith = r; });
            pumpMessages();
            return result;
        }

        /** Opens the dialog and waits for what it asks the service as it opens. */
        template <typename Dialog>
        Dialog& open()
        {
            auto& dialog = launch<Dialog>();
            waitForTheService();
            return dialog;
        }

        /** A dialog ignores input while it waits for the service: its answer
            has come once the dialog takes input again, or its window is gone.
        */
        void waitForTheService()
        {
            ASSERT_TRUE (pumpUntil ([this] { return window == nullptr || window->getContentComponent()->isEnabled(); }));
            pumpMessages();   // what the answer posted: the window's end, an alert after it
        }

        template <typename ComponentType = juce::Component>
        ComponentType& child (const juce::String& name)
        {
            auto* found = window != nullptr ? dynamic_cast<ComponentType*> (findChildNamed (*window, name)) : nullptr;

            if (found == nullptr)
                throw std::runtime_error ("no child named " + name.toStdString());

            return *found;
        }

        /** Answers alerts with Return and notes whether the dialog's window was still there. */
        void noteWhetherTheWindowIsThereAtEachAlert()
        {
            test.desktop.answerWith ([this] (const AlertRequest&)
            {
                windowThereAtAlert.push_back (window != nullptr);
                return 1;
            });
        }

        void type (const juce::String& field, const juce::String& text)   { child<juce::TextEditor> (field).setText (text); }

        void click (const juce::String& button)
        {
            child<juce::Button> (button).triggerClick();
            pumpMessages();
            waitForTheService();
        }

        /** The bodies of the account requests the service received. */
        juce::StringArray accountBodies() const
        {
            juce::StringArray bodies;

            for (const auto& r : server.getRequests())
                if (r.path == "/authentication/index.php")
                    bodies.add (r.getBodyText());

            return bodies;
        }

        juce::String storedProfile() const   { return readText (test.settings.getProfileFile()); }

        void fillSignUp()
        {
            type ("firstName", "Ada");
            type ("lastName", "Lovelace");
            type ("eMail", "ada@example.com");
            type ("password", "Passw0rd!");
            type ("passwordRepeat", "Passw0rd!");
            type ("machineName", "Studio PC");
        }

        std::shared_ptr<juce::WaitableEvent> repliesReleased = std::make_shared<juce::WaitableEvent> (true);
        LoopbackHttpServer server { answeringScansWith ("<Success SuccessTitle=\"Done\" SuccessText=\"All good\"/>") };
        TestContext test { server.getBaseUrl() };
        juce::Component::SafePointer<juce::DialogWindow> window;
        std::optional<int> closedWith;
        std::vector<bool> windowThereAtAlert;
    };

    const char* const profileHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";
}

//==============================================================================
TEST_F (AccountDialogTest, SignUpRefusesInvalidEntriesWithoutAskingTheService)
{
    open<cobaltlineSignUp>();
    click ("signUp");

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("6 Invalid Entries"));
    EXPECT_TRUE (accountBodies().isEmpty());
    EXPECT_FALSE (closedWith.has_value());
}

TEST_F (AccountDialogTest, SignUpRegistersStoresTheProfileClosesAndThenWelcomes)
{
    answerWith ("<Success SuccessTitle=\"Welcome to Cobaltline\" SuccessText=\"Your account has been created.\"/>");
    open<cobaltlineSignUp>();
    noteWhetherTheWindowIsThereAtEachAlert();
    fillSignUp();
    click ("developerYesButton");
    click ("signUp");

    EXPECT_EQ (accountBodies(), juce::StringArray ("registerpost=true&email=ada%40example.com&password=Passw0rd!"
                                                   "&firstname=Ada&lastname=Lovelace&isdeveloper=1"));
    EXPECT_EQ (storedProfile(), juce::String (profileHeader)
                                    + "<CobaltlineProfile MachineName=\"Studio PC\" Email=\"ada@example.com\" Password=\""
                                    + test.settings.encipherPassword ("Passw0rd!") + "\"/>\r\n");
    EXPECT_EQ (closedWith, 1);
    EXPECT_EQ (windowThereAtAlert, std::vector<bool> { false });   // gone before the welcome

    const auto alerts = test.desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 1u);
    EXPECT_EQ (alerts[0].title, juce::String ("Welcome to Cobaltline"));
    EXPECT_EQ (alerts[0].icon, AlertIcon::info);
}

TEST_F (AccountDialogTest, SignUpKeepsTheDialogForAnotherTryWhenRefusedOrUnanswered)
{
    open<cobaltlineSignUp>();
    fillSignUp();

    answerWith ("<Errors ErrorTitle=\"Sign Up Refused\" ErrorText=\"Taken\"/>");
    click ("signUp");
    answerWith ("Bad Gateway");
    click ("signUp");
    answerWith ("<Version/>");
    click ("signUp");

    const auto alerts = test.desktop.getAlerts();
    ASSERT_EQ (alerts.size(), 2u);   // nothing for another root
    EXPECT_EQ (alerts[0].title, juce::String ("Sign Up Refused"));
    EXPECT_EQ (alerts[0].icon, AlertIcon::warning);
    EXPECT_EQ (alerts[1].title, juce::String ("No Answer from the Service"));

    EXPECT_EQ (accountBodies().size(), 3);
    EXPECT_TRUE (accountBodies()[0].endsWith ("&isdeveloper=0"));   // "No" is on at start
    EXPECT_FALSE (test.settings.getProfileFile().exists());
    EXPECT_NE (window, nullptr);
    EXPECT_EQ (child<juce::TextEditor> ("eMail").getText(), juce::String ("ada@example.com"));
}

TEST_F (AccountDialogTest, SignUpOfflineShowsOnlyTheConnectionAlert)
{
    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());
    open<cobaltlineSignUp>();
    click ("signUp");

    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("No Internet Connection"));
}

TEST_F (AccountDialogTest, ADialogWaitingForTheServiceTakesNoInputAndClosesAtOnce)
{
    server.setHandler (neverAnsweringScans());
    launch<cobaltlineSignUp>();
    fillSignUp();
    child<juce::Button> ("signUp").triggerClick();

    // The message loop runs on while the request is out.
    ASSERT_TRUE (pumpUntil ([this] { return accountBodies().size() == 1; }));

    auto& dialog = *window->getContentComponent();
    const auto buttonCentre = child<juce::Button> ("signUp").getBounds().getCentre();
    EXPECT_FALSE (child<juce::TextEditor> ("eMail").isEnabled());
    EXPECT_EQ (dialog.getComponentAt (buttonCentre)->getMouseCursor(), juce::MouseCursor (juce::MouseCursor::WaitCursor));

    const auto requests = server.getRequests().size();
    child<juce::Button> ("signUp").triggerClick();
    pumpMessages (200);
    EXPECT_EQ (server.getRequests().size(), requests);   // the second click started nothing

    // Closed before any reply: the window goes at once, and nothing of the
    // dialog is used afterwards.
    const auto closing = juce::Time::getMillisecondCounter();
    window->exitModalState (0);
    ASSERT_TRUE (pumpUntil ([this] { return window == nullptr; }));
    EXPECT_LT (juce::Time::getMillisecondCounter() - closing, 5000u);
    pumpMessages (200);

    EXPECT_EQ (closedWith, 0);
    EXPECT_TRUE (test.desktop.getAlerts().empty());
    EXPECT_FALSE (test.settings.getProfileFile().exists());
}

//==============================================================================
TEST_F (AccountDialogTest, TheSplashLeadsNewUsersToSignUpAndLetsOthersGo)
{
    open<cobaltlineFirstRunSplash>();
    click ("signUp");
    EXPECT_EQ (closedWith, 0);

    auto* signUp = dynamic_cast<juce::DialogWindow*> (juce::Component::getCurrentlyModalComponent());
    ASSERT_NE (signUp, nullptr);
    EXPECT_EQ (signUp->getName(), juce::String ("Cobaltline - Sign Up"));
    EXPECT_EQ (signUp->getContentComponent()->getName(), juce::String ("cobaltlineSignUp"));
    EXPECT_EQ (signUp->getContentComponent()->getWidth(), 477);
    EXPECT_EQ (signUp->getContentComponent()->getHeight(), 430);
    EXPECT_FALSE (signUp->isResizable());
    signUp->exitModalState (0);
    pumpMessages();

    // "Existing User", Escape and the close button all close it with 1.
    for (const auto& close : std::vector<std::function<void (juce::DialogWindow&)>> {
             [this] (juce::DialogWindow&) { click ("Existing User"); },
             [] (juce::DialogWindow& w) { static_cast<juce::Component&> (w).keyPressed (juce::KeyPress (juce::KeyPress::escapeKey)); },
             [] (juce::DialogWindow& w) { w.closeButtonPressed(); } })
    {
        closedWith.reset();
        cobaltlineFirstRunSplash::launch (test.get(), [this] (int r) { closedWith = r; });
        auto* splash = dynamic_cast<juce::DialogWindow*> (juce::Component::getCurrentlyModalComponent());
        ASSERT_NE (splash, nullptr);
        EXPECT_EQ (splash->getName(), juce::String ("Cobaltline - First Run"));
        window = splash;
        close (*splash);
        pumpMessages();
        EXPECT_EQ (closedWith, 1);
        EXPECT_EQ (juce::Component::getCurrentlyModalComponent(), nullptr);
    }
}

//==============================================================================
TEST_F (AccountDialogTest, AResetCodeIsAskedForWithTheAddressAsTyped)
{
    writeTestProfile (test.settings, "Studio", "old@example.com", "Old Pass1!");
    open<forgotPassword>();
    EXPECT_EQ (child<juce::TextEditor> ("eMail").getText(), juce::String ("old@example.com"));

    type ("eMail", "");
    click ("sendCode");

    EXPECT_EQ (accountBodies(), juce::StringArray ("forgotpassword=true&email="));
    ASSERT_EQ (test.desktop.getAlerts().size(), 1u);
    EXPECT_EQ (test.desktop.getAlerts()[0].title, juce::String ("Done"));
    EXPECT_EQ (test.desktop.getAlerts()[0].icon, AlertIcon::info);
    EXPECT_NE (window, nullptr);
}

TEST_F (AccountDialogTest, AResetStoresTheAddressAndNewPasswordForTheStoredMachine)
{
    writeTestProfile (test.settings, "Studio", "old@example.com", "Old Pass1!");
    open<forgotPassword>();

    type ("eMail", "");
    click ("resetPassword");
    EXPECT_EQ (test.desktop.getAlerts().back().title, juce::String ("4 Invalid Entries"));
    EXPECT_TRUE (accountBodies().isEmpty());

    type ("eMail", "new@example.com");
    type ("password", "N3w Pass!");
    type ("passwordRepeat", "N3w Pass!");
    type ("resetCode", "ABCDEF123456");

    answerWith ("<Errors ErrorTitle=\"Password Not Reset\" ErrorText=\"Wrong code\"/>");
    click ("resetPassword");
    EXPECT_EQ (test.settings.readProfile().email, juce::String ("old@example.com"));   // nothing stored

    answerWith ("<Success SuccessTitle=\"Password Reset\" SuccessText=\"Changed\"/>");
    click ("resetPassword");

    EXPECT_EQ (accountBodies()[accountBodies().size() - 1],
               juce::String ("resetpassword=true&email=new%40example.com&password=N3w%20Pass!&resetcode=ABCDEF123456"));
    EXPECT_EQ (storedProfile(), juce::String (profileHeader)
                                    + "<CobaltlineProfile MachineName=\"Studio\" Email=\"new@example.com\" Password=\""
                                    + test.settings.encipherPassword ("N3w Pass!") + "\"/>\r\n");
    EXPECT_EQ (test.desktop.getAlerts().back().title, juce::String ("Password Reset"));
    EXPECT_NE (window, nullptr);   // stays open
}

//==============================================================================
TEST_F (AccountDialogTest, EditProfileShowsTheAccountAsTheServiceHoldsIt)
{
    writeTestProfile (test.settings, "Studio", "ada@example.com", "Passw0rd!");

    for (const auto& [developer, yes, no] : { std::tuple { "1", true, false }, std::tuple { "0", false, true },
                                              std::tuple { "yes", false, false } })
    {
        answerWith (juce::String ("<Profile FirstName=\"Ada\" LastName=\"Lovelace\" UserId=\"42\" IsDeveloper=\"")
                    + developer + "\"/>");
        open<editProfile>();

        EXPECT_EQ (child<juce::TextEditor> ("eMail").getText(), juce::String ("ada@example.com"));
        EXPECT_EQ (child<juce::TextEditor> ("firstName").getText(), juce::String ("Ada"));
        EXPECT_EQ (child<juce::ToggleButton> ("developerYesButton").getToggleState(), yes) << developer;
        EXPECT_EQ (child<juce::ToggleButton> ("developerNoButton").getToggleState(), no) << developer;
        window->exitModalState (0);
        pumpMessages();
    }

    EXPECT_EQ (accountBodies()[0], juce::String ("viewprofile=true&email=ada%40example.com&password=Passw0rd!"));
    EXPECT_TRUE (test.desktop.getAlerts().empty());

    // Nobody answers: the dialog still opens, empty, without a word.
    test.setServiceUrl (LoopbackHttpServer::getUnusedBaseUrl());
    open<editProfile>();
    EXPECT_EQ (child<juce::TextEditor> ("firstName").getText(), juce::String());
    EXPECT_TRUE (test.desktop.getAlerts().empty());
}

TEST_F (AccountDialogTest, EditProfileOpensAtOnceAndFillsItsFieldsWhenTheAccountArrives)
{
    writeTestProfile (test.settings, "Studio", "ada@example.com", "Passw0rd!");
    holdRepliesThenAnswerWith ("<Profile FirstName=\"Ada\" LastName=\"Lovelace\" UserId=\"42\" IsDeveloper=\"1\"/>");
    launch<editProfile>();
    ASSERT_NE (window, nullptr);
    ASSERT_TRUE (pumpUntil ([this] { return accountBodies().size() == 1; }));

    EXPECT_EQ (child<juce::TextEditor> ("eMail").getText(), juce::String ("ada@example.com"));
    EXPECT_EQ (child<juce::TextEditor> ("firstName").getText(), juce::String());

    for (auto* name : { "eMail", "firstName", "lastName", "password", "developerYesButton", "saveChanges" })
        EXPECT_FALSE (child (name).isEnabled()) << name;

    releaseReplies();
    ASSERT_TRUE (pumpUntil ([this] { return child<juce::TextEditor> ("firstName").getText() == "Ada"; }));

    EXPECT_EQ (child<juce::TextEditor> ("lastName").getText(), juce::String ("Lovelace"));
    EXPECT_TRUE (child<juce::ToggleButton> ("developerYesButton").getToggleState());

    for (auto* name : { "firstName", "password", "saveChanges" })
        EXPECT_TRUE (child (name).isEnabled()) << name;
}

TEST_F (AccountDialogTest, EditProfileSavesTheNewAddressWithTheStoredPassword)
{
    writeTestProfile (test.settings, "Studio", "ada@example.com", "Passw0rd!");
    answerWith ("<Profile FirstName=\"Ada\" LastName=\"Lovelace\" UserId=\"42\" IsDeveloper=\"other\"/>");
    open<editProfile>();
    noteWhetherTheWindowIsThereAtEachAlert();

    type ("eMail", "countess@example.com");
    type ("password", "typed here");

    // A refusal keeps the dialog and stores nothing.
    answerWith ("<Errors ErrorTitle=\"Profile Not Saved\" ErrorText=\"Wrong password\"/>");
    click ("saveChanges");
    EXPECT_EQ (test.settings.readProfile().email, juce::String ("ada@example.com"));

    answerWith ("<Success SuccessTitle=\"Profile Saved\" SuccessText=\"Updated\"/>");
    click ("saveChanges");

    EXPECT_EQ (accountBodies()[accountBodies().size() - 1],
               juce::String ("editprofile=true&oldemail=ada%40example.com&email=countess%40example.com"
                             "&password=typed%20here&firstname=Ada&lastname=Lovelace&isdeveloper=1&userid=42"));
    EXPECT_EQ (storedProfile(), juce::String (profileHeader)
                                    + "<CobaltlineProfile MachineName=\"Studio\" Email=\"countess@example.com\" Password=\""
                                    + test.settings.encipherPassword ("Passw0rd!") + "\"/>\r\n");
    EXPECT_EQ (closedWith, 1);
    EXPECT_EQ (test.desktop.getAlerts().back().title, juce::String ("Profile Saved"));
    EXPECT_EQ (windowThereAtAlert, (std::vector<bool> { true, false }));   // the refusal in it, the success after it
}

TEST_F (AccountDialogTest, CancelClosesTheEditorWithoutAWord)
{
    open<editProfile>();
    const auto requests = server.getRequests().size();
    click ("cancel");

    EXPECT_EQ (closedWith, 0);
    EXPECT_EQ (server.getRequests().size(), requests);
    EXPECT_FALSE (test.settings.getProfileFile().exists());
}

TEST_F (AccountDialogTest, EscapeClosesADialogWhileOneOfItsFieldsIsBeingTyped)
{
    open<forgotPassword>();
    ASSERT_NE (window->getPeer(), nullptr);   // a window on the display, as keys need
    auto& field = child<juce::TextEditor> ("password");
    field.grabKeyboardFocus();
    field.setText ("typed");

    window->getPeer()->handleKeyPress (juce::KeyPress (juce::KeyPress::escapeKey));
    pumpMessages();

    EXPECT_EQ (closedWith, 0);
    EXPECT_EQ (window, nullptr);
}
