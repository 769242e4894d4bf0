// Integration tests: each starts the real service binary on a free loopback
// port with its own database and outbox, and talks HTTP to it the way the
// application does.

#include "store/Database.h"
#include "store/InventoryStore.h"
#include "store/Schema.h"
#include "ServiceProcess.h"
#include "SmtpSink.h"
#include "TestStore.h"

#include <expat.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <csignal>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

namespace
{
    const std::string serviceBinary = COBALTLINE_SERVICE_BINARY;
    const std::string goodPassword = "Passw0rd!";

    // The application's form encoding: UTF-8, everything but letters,
    // digits and _ - . * ! ' ( ) as lower-case %xx.
    std::string formEncode (const std::string& text)
    {
        static const char* hex = "0123456789abcdef";
        std::string out;

        for (const auto ch : text)
        {
            const auto c = static_cast<unsigned char> (ch);

            if (std::isalnum (c) || std::strchr ("_-.*!'()", c) != nullptr)
            {
                out += static_cast<char> (c);
            }
            else
            {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }

        return out;
    }

    using Fields = std::vector<std::pair<std::string, std::string>>;

    std::string formBody (const Fields& fields)
    {
        std::string body;

        for (const auto& [name, value] : fields)
            body += (body.empty() ? "" : "&") + formEncode (name) + "=" + formEncode (value);

        return body;
    }

    struct Element
    {
        std::string tag;
        std::map<std::string, std::string> attributes;
        std::vector<Element> children;

        std::string operator[] (const std::string& name) const
        {
            const auto found = attributes.find (name);
            return found != attributes.end() ? found->second : std::string {};
        }
    };

    // The root and its direct children of a reply, read with a real parser;
    // a tag of "" means the reply was not XML.
    Element parseReply (const std::string& document)
    {
        struct Reader
        {
            Element root;
            int depth = 0;
        } reader;

        XML_Parser parser = XML_ParserCreate (nullptr);
        XML_SetUserData (parser, &reader);
        XML_SetElementHandler (parser,
            [] (void* data, const XML_Char* name, const XML_Char** atts)
            {
                auto& r = *static_cast<Reader*> (data);
                Element* target = nullptr;

                if (r.depth == 0)
                    target = &r.root;
                else if (r.depth == 1)
                    target = &r.root.children.emplace_back();

                if (target != nullptr)
                {
                    target->tag = name;

                    for (auto a = atts; *a != nullptr; a += 2)
                        target->attributes[a[0]] = a[1];
                }

                ++r.depth;
            },
            [] (void* data, const XML_Char*) { --static_cast<Reader*> (data)->depth; });

        const auto ok = XML_Parse (parser, document.data(), static_cast<int> (document.size()), XML_TRUE) == XML_STATUS_OK;
        XML_ParserFree (parser);
        return ok ? reader.root : Element {};
    }

    struct Plugin
    {
        std::string name, version, vendor, format;
    };

    std::string escapeLikeTheApplication (const std::string& text)
    {
        std::string out;

        for (std::size_t i = 0; i < text.size(); ++i)
        {
            const auto c = static_cast<unsigned char> (text[i]);

            switch (c)
            {
                case '&': out += "&amp;"; break;
                case '"': out += "&quot;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                default:
                    if (c == 0xc3 && i + 1 < text.size())   // enough for the Latin-1 letters used here
                    {
                        out += "&#" + std::to_string (0xc0 + (static_cast<unsigned char> (text[i + 1]) & 0x3f)) + ";";
                        ++i;
                    }
                    else
                    {
                        out += static_cast<char> (c);
                    }
            }
        }

        return out;
    }

    // An inventory as the application's XML writer lays it out.
    std::string inventoryXml (const std::string& machineName, const std::vector<Plugin>& plugins)
    {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
                          "<MachineProfile MachineName=\"" + escapeLikeTheApplication (machineName) + "\" Platform=\"Win\"\r\n"
                          "                PlatformString=\"Windows 10\" CPUVendor=\"GenuineIntel\" CPUSpeed=\"2394\"\r\n"
                          "                Supports64Bit=\"1\" RAM=\"8192\" HasSSE1=\"1\" HasSSE2=\"1\" HasMMX=\"1\"\r\n"
                          "                Has3DNow=\"0\" DisplayLanguage=\"en\" UserLanguage=\"en\" Region=\"US\"\r\n"
                          "                Time=\"7 Dec 2026 9:37:08am\">\r\n";

        int index = 0;

        for (const auto& p : plugins)
            xml += "  <Plugin Name=\"" + escapeLikeTheApplication (p.name) + "\" Version=\"" + p.version + "\"\r\n"
                   "          Vendor=\"" + escapeLikeTheApplication (p.vendor) + "\" Path=\"C:\\Plugins\\p"
                   + std::to_string (index++) + ".dll\" Format=\"" + p.format + "\"\r\n          Error=\"\"/>\r\n";

        return xml + "</MachineProfile>\r\n";
    }

    // The scan upload as the application's URL class builds it.
    std::string multipartBody (const std::string& boundary, const std::string& email, const std::string& password,
                               const std::string& fileName, const std::string& file)
    {
        return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n" + email + "\r\n"
             + "--" + boundary + "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n" + password + "\r\n"
             + "--" + boundary + "\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"" + fileName + "\"\r\n"
             + "Content-Type: text/xml\r\nContent-Transfer-Encoding: binary\r\n\r\n" + file + "\r\n"
             + "--" + boundary + "--\r\n";
    }

    std::string readFile (const std::filesystem::path& file)
    {
        std::ifstream in (file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The service mails reset codes and confirmation links; their subjects
    // tell them apart.
    enum class Mail
    {
        resetCode,
        confirmation
    };

    std::vector<std::filesystem::path> outboxFiles (const std::filesystem::path& outbox, Mail kind)
    {
        const auto subject = kind == Mail::resetCode ? "\r\nSubject: Your Cobaltline password reset code\r\n"
                                                     : "\r\nSubject: Confirm your Cobaltline e-mail address\r\n";
        std::vector<std::filesystem::path> files;
        std::error_code ignored;

        for (const auto& entry : std::filesystem::directory_iterator (outbox, ignored))
            if (entry.path().extension() == ".eml" && readFile (entry.path()).find (subject) != std::string::npos)
                files.push_back (entry.path());

        std::sort (files.begin(), files.end());
        return files;
    }

    // Mail is written after the reply: waits a little for `count` messages.
    std::vector<std::filesystem::path> outboxFiles (const std::filesystem::path& outbox, Mail kind, std::size_t count)
    {
        for (int i = 0; i < 250 && outboxFiles (outbox, kind).size() < count; ++i)
            std::this_thread::sleep_for (std::chrono::milliseconds (20));

        return outboxFiles (outbox, kind);
    }

    // The path and query of the link in each of `count` confirmation messages.
    std::vector<std::string> confirmationLinks (const std::filesystem::path& outbox, std::size_t count,
                                                const std::string& publicUrl)
    {
        std::vector<std::string> links;

        for (const auto& file : outboxFiles (outbox, Mail::confirmation, count))
        {
            const auto message = readFile (file);
            const auto start = message.find ("\r\n" + publicUrl + "/confirm?token=");

            if (start != std::string::npos)
                links.push_back (message.substr (start + 2 + publicUrl.size(),
                                                 message.find ("\r\n", start + 2) - start - 2 - publicUrl.size()));
        }

        return links;
    }

    // The code stands on a line of its own in the newest message.
    std::string newestResetCode (const std::filesystem::path& outbox)
    {
        const auto files = outboxFiles (outbox, Mail::resetCode);

        if (files.empty())
            return {};

        std::istringstream message (readFile (files.back()));
        std::string line;

        while (std::getline (message, line))
        {
            if (! line.empty() && line.back() == '\r')
                line.pop_back();

            if (line.size() == 12 && std::all_of (line.begin(), line.end(),
                                                  [] (char c) { return std::isupper (static_cast<unsigned char> (c)) || std::isdigit (static_cast<unsigned char> (c)); }))
                return line;
        }

        return {};
    }

    //==============================================================================
    class ServiceTest : public ::testing::Test
    {
    protected:
        std::filesystem::path databaseFile() const { return folder.path() / "data" / "service.db"; }
        std::filesystem::path outbox() const { return folder.path() / "outbox"; }

        // The store: the file above, unless the test gives another.
        std::string database() const { return storeLocation.empty() ? databaseFile().string() : storeLocation; }

        std::vector<std::string> serveArguments (const std::filesystem::path& outboxFolder,
                                                 const std::vector<std::string>& extra) const
        {
            std::vector<std::string> arguments { "serve", "--listen", "127.0.0.1:0",
                                                 "--db", database(),
                                                 "--outbox", outboxFolder.string(),
                                                 "--secret-file", (folder.path() / "service.secret").string(),
                                                 "--argon2", "fast" };
            arguments.insert (arguments.end(), extra.begin(), extra.end());
            return arguments;
        }

        void start (std::vector<std::string> extra = {})
        {
            service = std::make_unique<ServiceProcess> (serviceBinary, serveArguments (outbox(), extra),
                                                        folder.path() / "service.log");
            ASSERT_GT (service->port(), 0);
        }

        std::unique_ptr<httplib::Client> client() const
        {
            auto c = std::make_unique<httplib::Client> ("127.0.0.1", (target != nullptr ? target : service.get())->port());
            c->set_read_timeout (60, 0);
            c->set_write_timeout (60, 0);
            return c;
        }

        Element post (const std::string& path, const Fields& fields) const
        {
            const auto result = client()->Post (path.c_str(), formBody (fields), "application/x-www-form-urlencoded");

            if (! result)
            {
                ADD_FAILURE() << "no reply from " << path;
                return {};
            }

            EXPECT_EQ (result->status, 200);
            EXPECT_EQ (result->get_header_value ("Content-Type").rfind ("text/xml", 0), 0u);
            return parseReply (result->body);
        }

        Element account (const Fields& fields) const
        {
            return post ("/authentication/index.php", fields);
        }

        Element signUp (const std::string& email, const std::string& password = goodPassword,
                        const std::string& first = "Ann", const std::string& last = "Lee",
                        const std::string& developer = "0") const
        {
            return account ({ { "registerpost", "true" }, { "email", email }, { "password", password },
                              { "firstname", first }, { "lastname", last }, { "isdeveloper", developer } });
        }

        Element viewProfile (const std::string& email, const std::string& password) const
        {
            return account ({ { "viewprofile", "true" }, { "email", email }, { "password", password } });
        }

        Element forgot (const std::string& email) const
        {
            return account ({ { "forgotpassword", "true" }, { "email", email } });
        }

        Element reset (const std::string& email, const std::string& password, const std::string& code) const
        {
            return account ({ { "resetpassword", "true" }, { "email", email }, { "password", password },
                              { "resetcode", code } });
        }

        httplib::Result upload (const std::string& email, const std::string& password, const std::string& file,
                                const std::string& machine = "Studio") const
        {
            const std::string boundary = "3fa9c2e01b7d4";
            return client()->Post ("/scan/index.php",
                                   multipartBody (boundary, email, password, machine + "_PluginList.xml", file),
                                   ("multipart/form-data; boundary=" + boundary).c_str());
        }

        Element scan (const std::string& email, const std::string& password, const std::string& file,
                      const std::string& machine = "Studio") const
        {
            const auto result = upload (email, password, file, machine);

            if (! result)
            {
                ADD_FAILURE() << "no reply to the scan";
                return {};
            }

            EXPECT_EQ (result->status, 200);
            return parseReply (result->body);
        }

        // Sends raw bytes and reads whatever comes back until the server
        // closes or a second passes without data.
        std::string rawExchange (const std::string& request) const
        {
            const int fd = socket (AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = htons (static_cast<std::uint16_t> (service->port()));
            address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);

            if (connect (fd, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0)
            {
                close (fd);
                return {};
            }

            send (fd, request.data(), request.size(), MSG_NOSIGNAL);
            std::string reply;
            char buffer[4096];

            for (;;)
            {
                pollfd waitFor { fd, POLLIN, 0 };

                if (poll (&waitFor, 1, 1000) <= 0)
                    break;

                const auto n = recv (fd, buffer, sizeof (buffer), 0);

                if (n <= 0)
                    break;

                reply.append (buffer, static_cast<std::size_t> (n));
            }

            close (fd);
            return reply;
        }

        static void SetUpTestSuite()
        {
            // A server may close a connection while a test is still sending.
            std::signal (SIGPIPE, SIG_IGN);
        }

        std::int64_t countRows (const std::string& sql) const
        {
            Database db (database());
            Database::Statement query (db, sql);
            query.step();
            return query.columnInt (0);
        }

        void importCatalog (const std::string& csv)
        {
            const auto file = folder.path() / "catalog.csv";
            std::ofstream (file, std::ios::binary) << csv;
            std::string output;
            ASSERT_EQ (ServiceProcess::runToEnd (serviceBinary, { "import-catalog", "--db", database(),
                                                                 file.string() }, output), 0) << output;
        }

        // Opens the confirmation links of the first `count` sign-ups, as
        // their owners would.
        void confirmSignUps (std::size_t count) const
        {
            const auto links = confirmationLinks (outbox(), count, "http://127.0.0.1:" + std::to_string (service->port()));
            ASSERT_EQ (links.size(), count);

            for (const auto& link : links)
            {
                const auto page = client()->Get (link.c_str());
                ASSERT_TRUE (page);
                EXPECT_EQ (page->status, 200) << page->body;
            }
        }

        TemporaryFolder folder;
        std::unique_ptr<ServiceProcess> service;
        std::string storeLocation;                ///< --db, when not databaseFile()
        const ServiceProcess* target = nullptr;   ///< where client() sends, when not to `service`
    };

    // What the service keeps, on both kinds of store.
    class ServiceStoreTest : public ServiceTest, public ::testing::WithParamInterface<Database::Kind>
    {
    protected:
        ServiceStoreTest()
        {
            storeLocation = store.location();
        }

        TestStore store { GetParam() };
    };

    COBALTLINE_ON_BOTH_STORES (ServiceStoreTest);

    //==============================================================================
    TEST_F (ServiceTest, ConnectionCheckAndApplicationVersion)
    {
        start ({ "--latest-app-version", "1.0.5", "--latest-app-title", "Cobaltline 1.0.5",
                 "--latest-app-text", "Fixes & more", "--latest-app-url", "https://example.com/download" });

        for (const auto* path : { "/checkconnect/index.html", "/betareport", "/sponsor" })
        {
            const auto page = client()->Get (path);
            ASSERT_TRUE (page) << path;
            EXPECT_EQ (page->status, 200) << path;
            EXPECT_NE (page->body.find ("<html>"), std::string::npos) << path;
        }

        const auto older = post ("/check_app_version/index.php", { { "user_version", "1.04" }, { "user_platform_id", "2" } });
        EXPECT_EQ (older.tag, "Version");
        EXPECT_EQ (older["VersionTitle"], "Cobaltline 1.0.5");
        EXPECT_EQ (older["VersionText"], "Fixes & more");
        EXPECT_EQ (older["VersionURL"], "https://example.com/download");

        EXPECT_EQ (post ("/check_app_version/index.php", { { "user_version", "1.05" }, { "user_platform_id", "2" } }).tag, "Current");
    }

    TEST_P (ServiceStoreTest, RegisterViewAndEditProfile)
    {
        start();

        const auto welcome = signUp ("Ann.Lee@Example.com", "P@ss w0rd&#", "Ann", "Lee", "1");
        ASSERT_EQ (welcome.tag, "Success") << welcome["ErrorText"];
        EXPECT_FALSE (welcome["SuccessTitle"].empty());

        const auto profile = viewProfile ("ann.lee@example.com", "P@ss w0rd&#");
        ASSERT_EQ (profile.tag, "Profile") << profile["ErrorText"];
        EXPECT_EQ (profile["FirstName"], "Ann");
        EXPECT_EQ (profile["LastName"], "Lee");
        EXPECT_EQ (profile["IsDeveloper"], "1");
        const auto userId = profile["UserId"];
        EXPECT_FALSE (userId.empty());

        const auto edit = [this] (const std::string& oldEmail, const std::string& password,
                                  const std::string& id, const std::string& email)
        {
            return account ({ { "editprofile", "true" }, { "oldemail", oldEmail }, { "email", email },
                              { "password", password }, { "firstname", "Anna \xC3\xA9" }, { "lastname", "Lee-Smith" },
                              { "isdeveloper", "0" }, { "userid", id } });
        };

        signUp ("other@example.com");

        const auto saved = edit ("Ann.Lee@Example.com", "P@ss w0rd&#", userId, "New@Example.com");
        ASSERT_EQ (saved.tag, "Success") << saved["ErrorText"];

        const auto updated = viewProfile ("new@example.com", "P@ss w0rd&#");
        ASSERT_EQ (updated.tag, "Profile");
        EXPECT_EQ (updated["FirstName"], "Anna \xC3\xA9");
        EXPECT_EQ (updated["LastName"], "Lee-Smith");
        EXPECT_EQ (updated["IsDeveloper"], "0");
        EXPECT_EQ (updated["UserId"], userId);

        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM account"), 2);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM account WHERE password_hash LIKE '$argon2id$%'"), 2);
    }

    Fields signUpFields (const std::string& email, const std::string& password, const std::string& first,
                         const std::string& last, const std::string& developer)
    {
        return { { "registerpost", "true" }, { "email", email }, { "password", password },
                 { "firstname", first }, { "lastname", last }, { "isdeveloper", developer } };
    }

    TEST_P (ServiceStoreTest, ForgottenPasswordIsResetOnceWithTheMailedCode)
    {
        start();
        ASSERT_EQ (signUp ("reset@example.com").tag, "Success");

        const auto sent = forgot ("RESET@example.com");
        EXPECT_EQ (sent.tag, "Success");

        const auto files = outboxFiles (outbox(), Mail::resetCode, 1);
        ASSERT_EQ (files.size(), 1u);
        const auto message = readFile (files.front());

        for (const auto* header : { "From: ", "To: reset@example.com\r\n", "Subject: ", "Date: ", "Message-ID: <",
                                    "MIME-Version: 1.0\r\n", "Content-Type: text/plain; charset=UTF-8\r\n" })
            EXPECT_NE (message.find (header), std::string::npos) << header;

        EXPECT_NE (message.find ("\r\n\r\n"), std::string::npos);
        EXPECT_EQ (message.find ('\n'), message.find ("\r\n") + 1);

        for (std::size_t i = 0; i < message.size(); ++i)
        {
            if (message[i] == '\n')
            {
                ASSERT_TRUE (i > 0 && message[i - 1] == '\r') << "bare LF at " << i;
            }
        }

        const auto code = newestResetCode (outbox());
        ASSERT_EQ (code.size(), 12u);

        // The code itself is not in the database, only its digest.
        if (GetParam() == Database::Kind::sqlite)
        {
            const auto stored = readFile (database());
            EXPECT_FALSE (stored.empty());
            EXPECT_EQ (stored.find (code), std::string::npos);
        }

        const auto done = reset ("reset@example.com", "N3w-Passw0rd", code);
        ASSERT_EQ (done.tag, "Success") << done["ErrorText"];

        EXPECT_EQ (viewProfile ("reset@example.com", "N3w-Passw0rd").tag, "Profile");

        // File names sort by time: the newest message's code is the one
        // that counts.
        forgot ("reset@example.com");
        forgot ("reset@example.com");
        ASSERT_EQ (outboxFiles (outbox(), Mail::resetCode, 3).size(), 3u);
        EXPECT_EQ (reset ("reset@example.com", "Th1rd-Passw0rd", newestResetCode (outbox())).tag, "Success");

        const auto log = readFile (folder.path() / "service.log");
        EXPECT_EQ (log.find (code), std::string::npos);
        EXPECT_EQ (log.find ("N3w-Passw0rd"), std::string::npos);
    }

    // The link mailed after a sign-up leads to the service itself and
    // confirms the address once; its token reaches no log, and a HEAD
    // request (as link checkers send) confirms nothing.
    TEST_P (ServiceStoreTest, TheMailedLinkConfirmsTheAddressOnce)
    {
        start();
        ASSERT_EQ (signUp ("confirm@example.com").tag, "Success");
        const auto links = confirmationLinks (outbox(), 1, "http://127.0.0.1:" + std::to_string (service->port()));
        ASSERT_EQ (links.size(), 1u);
        const auto unconfirmed = "SELECT COUNT(*) FROM account WHERE confirmed_at IS NULL";

        const auto checked = client()->Head (links[0].c_str());
        ASSERT_TRUE (checked);
        EXPECT_EQ (countRows (unconfirmed), 1);

        const auto page = client()->Get (links[0].c_str());
        ASSERT_TRUE (page);
        EXPECT_EQ (page->status, 200);
        EXPECT_NE (page->body.find ("Address Confirmed"), std::string::npos) << page->body;
        EXPECT_EQ (page->get_header_value ("Cache-Control"), "no-store");
        EXPECT_EQ (countRows (unconfirmed), 0);

        const auto again = client()->Get (links[0].c_str());
        ASSERT_TRUE (again);
        EXPECT_EQ (again->status, 404);
        EXPECT_NE (again->body.find ("not valid"), std::string::npos);

        const auto token = links[0].substr (links[0].find ('=') + 1);
        EXPECT_EQ (readFile (folder.path() / "service.log").find (token), std::string::npos);
        EXPECT_NE (readFile (folder.path() / "service.log").find (" method=GET path=/confirm status=200 "), std::string::npos);
    }

    //==============================================================================
    const std::string testCatalog =
        "Name,Vendor,Format,Version,Website\r\n"
        "Verb Deluxe,Acme,VST,2.5.0,https://example.com/verb\r\n"
        "Caf\xC3\xA9 Delay,Soci\xC3\xA9t\xC3\xA9,VST,1.1,https://example.com/cafe\r\n"
        "Same Synth,Maker,VST,3.0,https://example.com/same\r\n"
        "Old Comp,Maker,VST,0.9,https://example.com/old\r\n"
        "\"Ten, Point\",Maker,AU,4.2,\r\n";

    TEST_P (ServiceStoreTest, ScanUploadAnswersWithTheUpdateList)
    {
        importCatalog (testCatalog);
        start ({ "--reporting-accounts", "1" });
        ASSERT_EQ (signUp ("scan@example.com").tag, "Success");
        ASSERT_EQ (signUp ("peer@example.com").tag, "Success");

        const std::vector<Plugin> plugins {
            { "VERB DELUXE", "2.4.9", "ACME", "VST" },          // catalog match without regard to case
            { "Caf\xC3\xA9 Delay", "1.0", "Soci\xC3\xA9t\xC3\xA9", "VST" },  // sent as &#233;
            { "Same Synth", "3.00", "Maker", "VST" },           // equal: no row
            { "Old Comp", "1.0", "Maker", "VST" },              // newer than the catalog: no row
            { "Ten, Point", "4.10", "Maker", "AU" },            // 4.2 > 4.10 as decimals
            { "Unknown", "1.0", "Nobody", "VST" },
            { "", "0.1", "Acme", "VST" } };

        const auto list = scan ("scan@example.com", goodPassword, inventoryXml ("Studio", plugins));
        ASSERT_NE (list.tag, "Errors") << list["ErrorText"];
        ASSERT_EQ (list.children.size(), 3u);

        EXPECT_EQ (list.children[0]["Name"], "VERB DELUXE");
        EXPECT_EQ (list.children[0]["Vendor"], "ACME");
        EXPECT_EQ (list.children[0]["Format"], "VST");
        EXPECT_EQ (list.children[0]["InstalledVersion"], "2.49");
        EXPECT_EQ (list.children[0]["CurrentVersion"], "2.50");
        EXPECT_EQ (list.children[0]["Website"], "https://example.com/verb");

        EXPECT_EQ (list.children[1]["Name"], "Caf\xC3\xA9 Delay");
        EXPECT_EQ (list.children[1]["CurrentVersion"], "1.1");

        EXPECT_EQ (list.children[2]["Name"], "Ten, Point");
        EXPECT_EQ (list.children[2]["InstalledVersion"], "4.10");
        EXPECT_EQ (list.children[2]["CurrentVersion"], "4.2");
        EXPECT_EQ (list.children[2]["Website"], "");

        // Another account's newer upload becomes the newest known version
        // (one reporting account is enough here) once its address is
        // confirmed, for rows of the same format only; a row without a
        // format (older programs) is VST.
        confirmSignUps (2);
        const auto peer = scan ("peer@example.com", goodPassword,
                                inventoryXml ("Peer-PC", { { "Unknown", "1.2.0", "NOBODY", "" },
                                                           { "Verb Deluxe", "2.6", "Acme", "VST" },
                                                           { "Old Comp", "2.0", "Maker", "VST3" } }), "Peer-PC");
        ASSERT_NE (peer.tag, "Errors");
        EXPECT_TRUE (peer.children.empty());

        const auto again = scan ("scan@example.com", goodPassword, inventoryXml ("Studio", plugins));
        ASSERT_EQ (again.children.size(), 4u);
        EXPECT_EQ (again.children[0]["CurrentVersion"], "2.6");
        EXPECT_EQ (again.children[0]["Website"], "https://example.com/verb");
        EXPECT_EQ (again.children[3]["Name"], "Unknown");
        EXPECT_EQ (again.children[3]["CurrentVersion"], "1.20");

        // A new scan of the same machine replaces its inventory.
        scan ("scan@example.com", goodPassword, inventoryXml ("Studio", { { "Only", "1.0", "One", "VST" } }));
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine"), 2);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM plugin p JOIN machine m ON m.id = p.machine_id "
                              "WHERE m.machine_name = 'Studio'"), 1);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine WHERE platform_string = 'Windows 10' AND ram = '8192'"), 2);
    }

    TEST_F (ServiceTest, SeedCatalogShowsUpdatesForTheFixturePlugins)
    {
        std::string output;
        ASSERT_EQ (ServiceProcess::runToEnd (serviceBinary, { "import-catalog", "--db", databaseFile().string(),
                                                             COBALTLINE_SEED_CATALOG }, output), 0) << output;
        EXPECT_NE (output.find ("Imported"), std::string::npos);

        start();
        ASSERT_EQ (signUp ("fixtures@example.com").tag, "Success");

        // Versions as the scanner cleans them from the fixtures' resources.
        const auto list = scan ("fixtures@example.com", goodPassword, inventoryXml ("Fixtures", {
            { "Arch Product", "6.01", "Arch Vendor", "VST" },
            { "Version 2, 0, 1, 5", "2.015", "Version Vendor", "VST" },
            { "Caf\xC3\xA9 \xC3\x9c" "ber \xC2\xA9 \xC2\xAE \xC2\xB5", "1.0", "Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale \xC2\xA9", "VST" },
            { "Four E4", "1.0", "Vendor E4", "VST" },
            // The rows of the newer formats answer their own format only.
            { "Arch Product", "6.20", "Arch Vendor", "VST" },
            { "Arch Product", "6.20", "Arch Vendor", "VST3" },
            { "Clap Product", "1.0", "Clap Vendor", "CLAP" },
            { "Clap Product", "1.0", "Clap Vendor", "VST" },
            { "AAX Product", "3.0", "AAX Vendor", "AAX" } }));

        ASSERT_EQ (list.children.size(), 6u) << list["ErrorText"];
        EXPECT_EQ (list.children[0]["CurrentVersion"], "6.20");
        EXPECT_EQ (list.children[1]["CurrentVersion"], "2.100");
        EXPECT_EQ (list.children[2]["CurrentVersion"], "1.5");
        EXPECT_EQ (list.children[2]["Website"].rfind ("https://example.com/", 0), 0u);
        EXPECT_EQ (list.children[3]["Format"], "VST3");
        EXPECT_EQ (list.children[3]["CurrentVersion"], "7.02");
        EXPECT_EQ (list.children[4]["Format"], "CLAP");
        EXPECT_EQ (list.children[4]["CurrentVersion"], "1.20");
        EXPECT_EQ (list.children[5]["Format"], "AAX");
        EXPECT_EQ (list.children[5]["CurrentVersion"], "3.10");
    }

    TEST_P (ServiceStoreTest, ScanRefusesWrongCredentialsAndStoresNothing)
    {
        start();
        ASSERT_EQ (signUp ("scan@example.com").tag, "Success");

        const auto inventory = inventoryXml ("Studio", { { "A", "1.0", "B", "VST" } });
        EXPECT_EQ (scan ("scan@example.com", "Wrong-passw0rd", inventory).tag, "Errors");
        EXPECT_EQ (scan ("nobody@example.com", goodPassword, inventory).tag, "Errors");
        EXPECT_EQ (scan ("", "", inventory).tag, "Errors");

        // Without the file part.
        const auto noFile = client()->Post ("/scan/index.php", formBody ({ { "email", "scan@example.com" },
                                                                           { "password", goodPassword } }),
                                            "application/x-www-form-urlencoded");
        ASSERT_TRUE (noFile);
        EXPECT_EQ (parseReply (noFile->body).tag, "Errors");

        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine"), 0);
    }

    struct MalformedUpload
    {
        const char* label;
        std::string file;
    };

    class ServiceMalformedUpload : public ServiceTest, public ::testing::WithParamInterface<MalformedUpload> {};

    TEST_P (ServiceMalformedUpload, IsRefusedAndTheServiceCarriesOn)
    {
        start();
        ASSERT_EQ (signUp ("scan@example.com").tag, "Success");

        const auto reply = scan ("scan@example.com", goodPassword, GetParam().file);
        EXPECT_EQ (reply.tag, "Errors");
        EXPECT_FALSE (reply["ErrorText"].empty());
        EXPECT_EQ (reply["ErrorText"].find ("SQL"), std::string::npos);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine"), 0);

        const auto good = scan ("scan@example.com", goodPassword, inventoryXml ("Studio", { { "A", "1.0", "B", "VST" } }));
        EXPECT_EQ (good.tag, "UpdateList");
    }

    std::string nested (int depth)
    {
        std::string text = "<MachineProfile MachineName=\"Deep\">";

        for (int i = 0; i < depth; ++i)
            text += "<Plugin>";

        for (int i = 0; i < depth; ++i)
            text += "</Plugin>";

        return text + "</MachineProfile>";
    }

    INSTANTIATE_TEST_SUITE_P (Table, ServiceMalformedUpload, ::testing::Values (
        MalformedUpload { "NotXml", "\x89PNG\r\n\x1a\n binary" },
        MalformedUpload { "Empty", "" },
        MalformedUpload { "WrongRoot", "<?xml version=\"1.0\"?><CobaltlineList/>" },
        MalformedUpload { "Truncated", inventoryXml ("Studio", { { "A", "1.0", "B", "VST" } }).substr (0, 300) },
        MalformedUpload { "Doctype", "<!DOCTYPE MachineProfile SYSTEM \"http://example.com/x.dtd\"><MachineProfile/>" },
        MalformedUpload { "Entities", "<!DOCTYPE r [<!ENTITY a \"xxxxxxxxxx\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">"
                                      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;\">]><MachineProfile MachineName=\"&c;\"/>" },
        MalformedUpload { "DeepNesting", nested (100000) }),
        [] (const ::testing::TestParamInfo<MalformedUpload>& testInfo) { return std::string (testInfo.param.label); });

    TEST_F (ServiceTest, OversizedRequestsAreRefused)
    {
        start ({ "--max-inventory-mib", "1" });
        ASSERT_EQ (signUp ("big@example.com").tag, "Success");

        // The declared length is refused before any of the body is read.
        const auto huge = rawExchange ("POST /scan/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                       "Content-Type: multipart/form-data; boundary=b\r\n"
                                       "Content-Length: 2000000\r\n\r\n--b\r\n");
        EXPECT_EQ (huge.rfind ("HTTP/1.1 413", 0), 0u) << huge;
        EXPECT_EQ (parseReply (huge.substr (huge.find ("\r\n\r\n") + 4)).tag, "Errors") << huge;

        const auto bigForm = rawExchange ("POST /authentication/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                          "Content-Type: application/x-www-form-urlencoded\r\n"
                                          "Content-Length: 102400\r\n\r\nviewprofile=true&email=");
        EXPECT_EQ (bigForm.rfind ("HTTP/1.1 413", 0), 0u) << bigForm;

        // A body sent in chunks is refused as soon as it passes the limit.
        std::vector<Plugin> many (25000, Plugin { "A fairly long plug-in name for size", "1.0", "Some Vendor", "VST" });
        const auto file = inventoryXml ("Big", many);
        ASSERT_GT (file.size(), 3000000u);
        const auto boundary = std::string ("b0b0");
        const auto body = multipartBody (boundary, "big@example.com", goodPassword, "Big_PluginList.xml", file);
        const auto chunked = client()->Post ("/scan/index.php",
            [&body] (std::size_t offset, httplib::DataSink& sink)
            {
                const auto length = std::min<std::size_t> (64 * 1024, body.size() - offset);
                sink.write (body.data() + offset, length);

                if (offset + length == body.size())
                    sink.done();

                return true;
            },
            ("multipart/form-data; boundary=" + boundary).c_str());

        if (chunked)
        {
            EXPECT_EQ (chunked->status, 413);
        }

        // The connection is closed after a refusal, so the unread body is
        // never taken for another request.
        const auto closed = rawExchange ("POST /scan/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                         "Content-Length: 2000000\r\n\r\n"
                                         "GET /checkconnect/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        EXPECT_EQ (closed.find ("HTTP/1.1 200"), std::string::npos) << closed;

        const auto missing = client()->Get ("/nothing/here.php");
        ASSERT_TRUE (missing);
        EXPECT_EQ (missing->status, 404);

        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine"), 0);
        EXPECT_EQ (viewProfile ("big@example.com", goodPassword).tag, "Profile");
    }

    struct FramingCase
    {
        const char* label;
        std::string request;
        const char* status;   ///< the start of the reply
    };

    // Every request is read whole in front of the handlers; what cannot be
    // framed one way only, or is not served, is refused before any body is
    // buffered.
    TEST_F (ServiceTest, RequestFramingIsStrict)
    {
        start();
        ASSERT_EQ (signUp ("frame@example.com").tag, "Success");

        const std::string form = "application/x-www-form-urlencoded";
        const auto view = formBody ({ { "viewprofile", "true" }, { "email", "frame@example.com" },
                                      { "password", goodPassword } });
        const auto post = [] (const std::string& headers, const std::string& body = {})
        {
            return "POST /authentication/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                   + headers + "\r\n" + body;
        };
        const auto chunk = [] (const std::string& data)
        {
            std::ostringstream size;
            size << std::hex << data.size();
            return size.str() + "\r\n" + data + "\r\n";
        };
        std::string manyHeaders;

        for (int i = 0; i < 100; ++i)
            manyHeaders += "X-Filler-" + std::to_string (i) + ": x\r\n";

        const std::vector<FramingCase> cases {
            { "chunked form", post ("Content-Type: " + form + "\r\nTransfer-Encoding: chunked\r\n",
                                    chunk (view.substr (0, 10)) + chunk (view.substr (10)) + "0\r\n\r\n"), "HTTP/1.1 200" },
            { "two lengths", post ("Content-Type: " + form + "\r\nContent-Length: 5\r\nContent-Length: 5\r\n", "a=b&c"),
              "HTTP/1.1 400" },
            { "length not a number", post ("Content-Type: " + form + "\r\nContent-Length: 5x\r\n", "a=b&c"), "HTTP/1.1 400" },
            { "length and chunked", post ("Content-Type: " + form + "\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n",
                                          "0\r\n\r\n"), "HTTP/1.1 400" },
            { "other coding", post ("Content-Type: " + form + "\r\nTransfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n"),
              "HTTP/1.1 501" },
            { "folded header", post ("Content-Type: " + form + "\r\n  folded\r\nContent-Length: 0\r\n"), "HTTP/1.1 400" },
            { "no length", post ("Content-Type: " + form + "\r\n", view), "HTTP/1.1 411" },
            { "chunked over the form limit", post ("Content-Type: " + form + "\r\nTransfer-Encoding: chunked\r\n",
                                                   chunk (std::string (40000, 'a')) + chunk (std::string (40000, 'a'))),
              "HTTP/1.1 413" },
            { "text/plain form", post ("Content-Type: text/plain\r\nContent-Length: " + std::to_string (view.size()) + "\r\n",
                                       view), "HTTP/1.1 415" },
            { "form without a type", post ("Content-Length: " + std::to_string (view.size()) + "\r\n", view),
              "HTTP/1.1 415" },
            { "PUT", "PUT /authentication/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1000000000\r\n\r\nx",
              "HTTP/1.1 405" },
            { "PATCH chunked", "PATCH /scan/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "10\r\n0123456789abcdef\r\n", "HTTP/1.1 405" },
            { "GET with a body", "GET /checkconnect/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 10\r\n\r\n"
                                 "0123456789", "HTTP/1.1 413" },
            { "header flood", "GET /checkconnect/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\n" + manyHeaders + "\r\n",
              "HTTP/1.1 431" },
            { "huge header", "GET /checkconnect/index.html HTTP/1.1\r\nX-Big: " + std::string (20000, 'h') + "\r\n\r\n",
              "HTTP/1.1 431" },
            { "huge request line", "GET /" + std::string (10000, 'p') + " HTTP/1.1\r\n\r\n", "HTTP/1.1 414" },
            { "other version", "GET /checkconnect/index.html HTTP/2.0\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 505" },
            { "NUL in a header", std::string ("GET /checkconnect/index.html HTTP/1.1\r\nX-A: a\0b\r\n\r\n", 51),
              "HTTP/1.1 400" } };

        for (const auto& c : cases)
        {
            const auto reply = rawExchange (c.request);
            EXPECT_EQ (reply.rfind (c.status, 0), 0u) << c.label << ": " << reply.substr (0, 200);

            if (reply.rfind ("HTTP/1.1 200", 0) != 0)
            {
                EXPECT_NE (reply.find ("Connection: close"), std::string::npos) << c.label;
                EXPECT_EQ (parseReply (reply.substr (reply.find ("\r\n\r\n") + 4)).tag, "Errors") << c.label;
            }
            else
            {
                EXPECT_EQ (parseReply (reply.substr (reply.find ("\r\n\r\n") + 4)).tag, "Profile") << c.label;
            }
        }

        EXPECT_EQ (viewProfile ("frame@example.com", goodPassword).tag, "Profile");
    }

    // Connects and sends the start of a request; the socket stays open.
    int openSlowly (int port, const std::string& start)
    {
        const int fd = socket (AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons (static_cast<std::uint16_t> (port));
        address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);

        if (connect (fd, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0)
        {
            close (fd);
            return -1;
        }

        send (fd, start.data(), start.size(), MSG_NOSIGNAL);
        return fd;
    }

    TEST_F (ServiceTest, SlowClientsNeitherHoldTheWorkersNorOutlastTheirDeadline)
    {
        start ({ "--threads", "2", "--request-timeout", "2" });

        std::vector<int> slow;

        for (int i = 0; i < 30; ++i)
            slow.push_back (openSlowly (service->port(), i % 2 == 0 ? "GET /checkconnect/in"
                                            : "POST /authentication/index.php HTTP/1.1\r\nContent-Length: 100\r\n\r\nab"));

        // Others are answered at once meanwhile.
        auto quick = client();
        quick->set_read_timeout (1, 0);

        for (int i = 0; i < 4; ++i)
        {
            const auto page = quick->Get ("/checkconnect/index.html");
            ASSERT_TRUE (page) << i;
            EXPECT_EQ (page->status, 200);
        }

        // A client that keeps sending a byte at a time is still cut off at
        // its deadline, reckoned from when it connected.
        const auto dripping = openSlowly (service->port(), "G");
        std::string reply;
        bool closed = false;
        const std::string rest = "ET /checkconnect/index.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "
                               + std::string (100, 's');

        for (std::size_t i = 0; i < rest.size() && ! closed; ++i)
        {
            send (dripping, &rest[i], 1, MSG_NOSIGNAL);
            pollfd waitFor { dripping, POLLIN, 0 };

            if (poll (&waitFor, 1, 100) > 0)
            {
                char buffer[4096];
                const auto n = recv (dripping, buffer, sizeof (buffer), 0);

                if (n > 0)
                    reply.append (buffer, static_cast<std::size_t> (n));

                closed = true;
            }
        }

        EXPECT_TRUE (closed);
        EXPECT_EQ (reply.rfind ("HTTP/1.1 408", 0), 0u) << reply;
        close (dripping);

        for (const auto fd : slow)
            if (fd >= 0)
                close (fd);
    }

    TEST_F (ServiceTest, LargeUploadWithAWrongPasswordIsRefusedBeforeItsFile)
    {
        start();
        ASSERT_EQ (signUp ("early@example.com").tag, "Success");

        const auto beginning = [] (const std::string& password)
        {
            const std::string parts =
                "--b0\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\nearly@example.com\r\n"
                "--b0\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n" + password + "\r\n"
                "--b0\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"S_PluginList.xml\"\r\n"
                "Content-Type: text/xml\r\n\r\n<?xml version=\"1.0\"?><MachineProfile MachineName=\"S\">";
            return "POST /scan/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=b0\r\n"
                   "Content-Length: 50000000\r\n\r\n" + parts;
        };

        // Only the beginning of a 50 MB upload is sent: the refusal comes
        // without the rest.
        const auto refused = rawExchange (beginning ("Wrong-passw0rd"));
        ASSERT_EQ (refused.rfind ("HTTP/1.1 200", 0), 0u) << refused;
        EXPECT_EQ (parseReply (refused.substr (refused.find ("\r\n\r\n") + 4)).tag, "Errors");

        // With the right password the service waits for the file.
        EXPECT_EQ (rawExchange (beginning (goodPassword)), "");
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine"), 0);

        // A client that goes on sending its whole upload still reads the
        // refusal: the connection is not reset under it.
        const auto padded = "<?xml version=\"1.0\"?><MachineProfile>" + std::string (24u << 20, ' ') + "</MachineProfile>";
        const auto whole = upload ("early@example.com", "Wrong-passw0rd", padded);
        ASSERT_TRUE (whole) << httplib::to_string (whole.error());
        EXPECT_EQ (parseReply (whole->body).tag, "Errors");
    }

    TEST_P (ServiceStoreTest, ConcurrentUploadsAllSucceedAndTheStoreStaysConsistent)
    {
        importCatalog (testCatalog);
        start ({ "--reporting-accounts", "1" });

        constexpr int threads = 8;
        constexpr int uploadsPerThread = 3;
        constexpr int pluginsPerUpload = 300;

        for (int t = 0; t < threads; ++t)
            ASSERT_EQ (signUp ("user" + std::to_string (t) + "@example.com").tag, "Success");

        confirmSignUps (threads);

        std::atomic<int> succeeded { 0 };
        std::vector<std::thread> workers;

        for (int t = 0; t < threads; ++t)
        {
            workers.emplace_back ([this, t, &succeeded]
            {
                for (int u = 0; u < uploadsPerThread; ++u)
                {
                    std::vector<Plugin> plugins;

                    for (int p = 0; p < pluginsPerUpload; ++p)
                        plugins.push_back ({ "Plugin " + std::to_string (p), "1." + std::to_string (t), "Vendor", "VST" });

                    plugins.push_back ({ "Verb Deluxe", "2.0", "Acme", "VST" });

                    const auto machine = "Machine-" + std::to_string (u);
                    const auto result = upload ("user" + std::to_string (t) + "@example.com", goodPassword,
                                                inventoryXml (machine, plugins), machine);

                    if (result && result->status == 200 && parseReply (result->body).tag == "UpdateList")
                        ++succeeded;
                }
            });
        }

        for (auto& worker : workers)
            worker.join();

        EXPECT_EQ (succeeded.load(), threads * uploadsPerThread);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM machine"), threads * uploadsPerThread);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM plugin"), threads * uploadsPerThread * (pluginsPerUpload + 1));
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM plugin WHERE learned IS NOT NULL"),
                   threads * uploadsPerThread * (pluginsPerUpload + 1));

        if (GetParam() == Database::Kind::sqlite)
        {
            Database db (database());
            Database::Statement check (db, "PRAGMA integrity_check");
            ASSERT_TRUE (check.step());
            EXPECT_EQ (check.columnText (0), "ok");
        }

        // With every upload in, each plug-in's newest version is user 7's.
        const auto list = scan ("user0@example.com", goodPassword,
                                inventoryXml ("Check", { { "Plugin 3", "1.0", "Vendor", "VST" } }), "Check");
        ASSERT_EQ (list.children.size(), 1u);
        EXPECT_EQ (list.children[0]["CurrentVersion"], "1.7");
    }

    //==============================================================================
    TEST_F (ServiceTest, StopsCleanlyOnSigtermAndSigint)
    {
        start();
        ASSERT_EQ (signUp ("stop@example.com").tag, "Success");
        const auto status = service->stop (SIGTERM);
        ASSERT_NE (status, -1);
        EXPECT_TRUE (WIFEXITED (status));
        EXPECT_EQ (WEXITSTATUS (status), 0);

        // The data is still there for the next start.
        start();
        EXPECT_EQ (viewProfile ("stop@example.com", goodPassword).tag, "Profile");
        const auto second = service->stop (SIGINT);
        EXPECT_TRUE (WIFEXITED (second));
        EXPECT_EQ (WEXITSTATUS (second), 0);
    }

    TEST_F (ServiceTest, RefusesPlainHttpOffLoopback)
    {
        std::string output;
        const auto code = ServiceProcess::runToEnd (serviceBinary, { "serve", "--listen", "0.0.0.0:0",
                                                                    "--db", databaseFile().string(),
                                                                    "--outbox", outbox().string() }, output);
        EXPECT_NE (code, 0);
        EXPECT_NE (output.find ("loopback"), std::string::npos) << output;
        EXPECT_FALSE (std::filesystem::exists (databaseFile()));
    }

    TEST_F (ServiceTest, RefusesADatabaseOfANewerSchemaVersion)
    {
        std::filesystem::create_directories (databaseFile().parent_path());

        {
            Database db (databaseFile().string());
            db.execute ("PRAGMA user_version = 99");
        }

        const auto db = databaseFile().string();
        const std::vector<std::vector<std::string>> commands {
            { "serve", "--listen", "127.0.0.1:0", "--db", db, "--outbox", outbox().string() },
            { "import-catalog", "--db", db, COBALTLINE_SEED_CATALOG } };

        for (const auto& arguments : commands)
        {
            std::string output;
            EXPECT_EQ (ServiceProcess::runToEnd (serviceBinary, arguments, output), 1) << arguments.front();
            EXPECT_NE (output.find ("cobaltline-service: the database " + db
                                    + " has schema version 99, but this program knows versions up to "
                                    + std::to_string (Schema::currentVersion)),
                       std::string::npos) << output;
        }

        EXPECT_EQ (countRows ("PRAGMA user_version"), 99);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM sqlite_master"), 0);
    }

    TEST_F (ServiceTest, HelpAndCatalogImportFromTheCommandLine)
    {
        std::string help;
        EXPECT_EQ (ServiceProcess::runToEnd (serviceBinary, { "--help" }, help), 0);
        EXPECT_NE (help.find ("import-catalog"), std::string::npos);

        const auto file = folder.path() / "c.csv";
        std::ofstream (file, std::ios::binary) << testCatalog;
        std::string output;
        ASSERT_EQ (ServiceProcess::runToEnd (serviceBinary, { "import-catalog", "--db", databaseFile().string(),
                                                             file.string() }, output), 0) << output;
        EXPECT_NE (output.find ("Imported 5 "), std::string::npos) << output;

        std::ofstream (file, std::ios::binary | std::ios::trunc) << "Name,Vendor,Format,Version,Website\n"
                                                                    "New One,V,VST,1.0,\n\"Broken,V,VST,1.0,\n";
        output.clear();
        EXPECT_NE (ServiceProcess::runToEnd (serviceBinary, { "import-catalog", "--db", databaseFile().string(),
                                                             file.string() }, output), 0);
        EXPECT_NE (output.find ("line 3"), std::string::npos) << output;
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM catalog"), 5);
    }

    TEST_F (ServiceTest, ServesHttpsWithACertificate)
    {
        const auto certificate = folder.path() / "cert.pem";
        const auto key = folder.path() / "key.pem";
        std::string output;

        if (ServiceProcess::runToEnd ("/usr/bin/openssl", { "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                                           "-keyout", key.string(), "-out", certificate.string(),
                                                           "-days", "1", "-subj", "/CN=127.0.0.1" }, output) != 0)
            GTEST_SKIP() << "openssl could not make a test certificate: " << output;

        start ({ "--tls-cert", certificate.string(), "--tls-key", key.string() });
        EXPECT_EQ (service->firstLine().rfind ("cobaltline-service listening on https://127.0.0.1:", 0), 0u);

        httplib::SSLClient secure ("127.0.0.1", service->port());
        secure.enable_server_certificate_verification (false);
        const auto page = secure.Get ("/checkconnect/index.html");
        ASSERT_TRUE (page);
        EXPECT_EQ (page->status, 200);

        const auto reply = secure.Post ("/authentication/index.php", formBody (signUpFields ("tls@example.com", goodPassword, "A", "B", "0")),
                                        "application/x-www-form-urlencoded");
        ASSERT_TRUE (reply);
        EXPECT_EQ (parseReply (reply->body).tag, "Success");
    }

    // Behind a reverse proxy every request comes from loopback: the address
    // the proxy forwards tells clients apart, but only when it is trusted.
    TEST_F (ServiceTest, ForwardedAddressesCountOnlyBehindATrustedProxy)
    {
        const auto signUpFrom = [this] (const std::string& forwardedFor, const std::string& email)
        {
            const auto result = client()->Post ("/authentication/index.php", { { "X-Real-IP", forwardedFor } },
                                                formBody (signUpFields (email, goodPassword, "A", "B", "0")),
                                                "application/x-www-form-urlencoded");
            return result ? parseReply (result->body).tag : std::string ("no reply");
        };

        start ({ "--trust-proxy", "--public-url", "https://updates.example.com", "--max-sign-ups-per-address", "1" });
        EXPECT_EQ (signUpFrom ("203.0.113.1", "a1@example.com"), "Success");
        EXPECT_EQ (signUpFrom (" 203.0.113.1 ", "a2@example.com"), "Errors");
        EXPECT_EQ (signUpFrom ("2001:db8::7", "b1@example.com"), "Success");
        EXPECT_EQ (signUpFrom ("not an address", "c1@example.com"), "Success");   // counted as the proxy's own
        EXPECT_EQ (signUpFrom ("203.0.113.1, 10.0.0.1", "c2@example.com"), "Errors");
        ASSERT_EQ (service->stop (SIGTERM), 0);

        start ({ "--max-sign-ups-per-address", "1" });
        EXPECT_EQ (signUpFrom ("203.0.113.9", "d1@example.com"), "Errors");      // still loopback's, used up
    }

    //==============================================================================
    // The lines of the request log, and the service's other lines.
    std::vector<std::string> logLines (const std::filesystem::path& file, bool requests)
    {
        std::istringstream text (readFile (file));
        std::vector<std::string> lines;

        for (std::string line; std::getline (text, line);)
            if (! line.empty() && (line.rfind ("time=", 0) == 0) == requests)
                lines.push_back (line);

        return lines;
    }

    TEST_F (ServiceTest, HealthFollowsTheDatabase)
    {
        start();

        const auto check = [this] (int status, const std::string& body)
        {
            const auto reply = client()->Get ("/health");
            ASSERT_TRUE (reply);
            EXPECT_EQ (reply->status, status);
            EXPECT_EQ (reply->body, body);
            EXPECT_EQ (reply->get_header_value ("Content-Type").rfind ("text/plain", 0), 0u);
        };

        check (200, "ok\n");

        // The file replaced by a folder, as no permission of root's can
        // get past: every new connection fails.
        const auto moved = databaseFile().string() + ".moved";
        std::filesystem::rename (databaseFile(), moved);
        std::filesystem::create_directory (databaseFile());
        check (503, "database unavailable\n");
        check (503, "database unavailable\n");

        // The rest of the service answers meanwhile.
        const auto page = client()->Get ("/checkconnect/index.html");
        ASSERT_TRUE (page);
        EXPECT_EQ (page->status, 200);

        // A file that is no database.
        std::filesystem::remove (databaseFile());
        std::ofstream (databaseFile(), std::ios::binary) << std::string (8192, 'x');
        check (503, "database unavailable\n");

        std::filesystem::remove (databaseFile());
        std::filesystem::rename (moved, databaseFile());
        check (200, "ok\n");
        ASSERT_EQ (signUp ("healthy@example.com").tag, "Success");
        ASSERT_EQ (service->stop (SIGTERM), 0);

        // Why it failed is in the log, once while it went on failing; the
        // replies above told nothing of it.
        const auto others = logLines (folder.path() / "service.log", false);
        EXPECT_EQ (std::count_if (others.begin(), others.end(), [] (const std::string& line)
        {
            return line.rfind ("error: GET /health: the database does not answer: ", 0) == 0;
        }), 1) << readFile (folder.path() / "service.log");
    }

    TEST_F (ServiceTest, RequestLogHasOneSafeLinePerRequest)
    {
        start();
        const std::string token = "5e3c0ffee5e3c0ffee5e3c0ffee5e3c0";
        const std::string queryPassword = "QueryPassw0rd7";
        const std::string bodyPassword = "BodyPassw0rd!";

        // What each request should log, as "method=M path=P status=S".
        std::vector<std::string> expected;

        const auto health = rawExchange ("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_EQ (health.rfind ("HTTP/1.1 200", 0), 0u) << health;
        expected.push_back ("method=GET path=/health status=200");

        ASSERT_TRUE (client()->Get ("/checkconnect/index.html"));
        expected.push_back ("method=GET path=/checkconnect/index.html status=200");

        ASSERT_TRUE (client()->Get ("/nothing/here"));
        expected.push_back ("method=GET path=/nothing/here status=404");

        const auto signedUp = client()->Post (("/authentication/index.php?password=" + queryPassword).c_str(),
                                              formBody (signUpFields ("log@example.com", bodyPassword, "L", "G", "0")),
                                              "application/x-www-form-urlencoded");
        ASSERT_TRUE (signedUp);
        EXPECT_EQ (parseReply (signedUp->body).tag, "Success");
        expected.push_back ("method=POST path=/authentication/index.php status=200");

        // Refused by the gate before any worker sees it.
        const auto refused = rawExchange ("PUT /authentication/index.php HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                          "Content-Length: 5\r\n\r\nabcde");
        ASSERT_EQ (refused.rfind ("HTTP/1.1 405", 0), 0u) << refused;
        expected.push_back ("method=PUT path=/authentication/index.php status=405");

        // An encoded line break that would forge a line once decoded, a
        // token and a password in the query.
        EXPECT_FALSE (rawExchange ("GET /confirm%0D%0Atime=forged%20status=200?token=" + token + "&password="
                                   + queryPassword + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").empty());
        expected.push_back ("method=GET path=/confirm%0D%0Atime=forged%20status=200 status=404");

        // A raw tab (the request line allows it), a quote, a backslash and
        // UTF-8 in the path; whatever it is answered with, checked below.
        EXPECT_FALSE (rawExchange ("GET /a\tb\"c\\d\xC3\xA9 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").empty());

        // A raw line break in the request line: refused before it is read.
        const auto broken = rawExchange ("GET /x\nforged=1 status=200 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_EQ (broken.rfind ("HTTP/1.1 400", 0), 0u) << broken;
        expected.push_back ("method=- path=- status=400");

        ASSERT_EQ (service->stop (SIGTERM), 0);
        const auto logFile = folder.path() / "service.log";
        const auto log = readFile (logFile);
        const auto lines = logLines (logFile, true);
        ASSERT_EQ (lines.size(), expected.size() + 1) << log;   // and the tab's

        // Seven fields, in order, none of them holding a space.
        const std::regex shape ("time=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z method=\\S+ path=\\S+"
                                " status=(\\d{3}|-) bytes=\\d+ ms=\\d+ client=127\\.0\\.0\\.1");

        for (const auto& line : lines)
            EXPECT_TRUE (std::regex_match (line, shape)) << line;

        for (const auto& want : expected)
        {
            const auto count = std::count_if (lines.begin(), lines.end(), [&want] (const std::string& line)
            {
                return line.find (" " + want + " ") != std::string::npos;
            });
            EXPECT_EQ (count, 1) << want << "\n" << log;
        }

        EXPECT_EQ (std::count_if (lines.begin(), lines.end(), [] (const std::string& line)
        {
            return line.find (" path=/a\\x09b\\x22c\\x5Cd\\xC3\\xA9 ") != std::string::npos;
        }), 1) << log;

        // The byte count is what the client received.
        const auto healthLine = std::find_if (lines.begin(), lines.end(), [] (const std::string& line)
        {
            return line.find (" path=/health ") != std::string::npos;
        });
        ASSERT_NE (healthLine, lines.end());
        EXPECT_NE (healthLine->find (" bytes=" + std::to_string (health.size()) + " "), std::string::npos)
            << *healthLine << " for " << health.size() << " bytes";

        // No secret anywhere in the log, and no line anyone forged.
        for (const auto& secret : { token, queryPassword, bodyPassword })
            EXPECT_EQ (log.find (secret), std::string::npos) << secret << "\n" << log;

        for (const auto& line : logLines (logFile, false))
            EXPECT_TRUE (line.rfind ("cobaltline-service: ", 0) == 0 || line.rfind ("error: ", 0) == 0) << line;
    }

    TEST_F (ServiceTest, QuietLeavesOutTheRequestLog)
    {
        start ({ "--quiet" });
        const auto reply = client()->Get ("/health");
        ASSERT_TRUE (reply);
        EXPECT_EQ (reply->status, 200);
        EXPECT_EQ (rawExchange ("PUT /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").rfind ("HTTP/1.1 405", 0), 0u);
        ASSERT_EQ (service->stop (SIGTERM), 0);
        EXPECT_TRUE (logLines (folder.path() / "service.log", true).empty()) << readFile (folder.path() / "service.log");
    }

    //==============================================================================
    TEST_P (ServiceStoreTest, MailGoesThroughARelayAgainAfterARefusalAndNoCodeIsQueuedInClear)
    {
        SmtpSink relay;
        ASSERT_GT (relay.port(), 0);
        relay.refuseNext (1);
        start ({ "--smtp", "smtp://127.0.0.1:" + std::to_string (relay.port()), "--mail-retry-seconds", "1" });

        // The confirmation mail: refused once, sent on the next try.
        ASSERT_EQ (signUp ("relay@example.com").tag, "Success");
        auto received = relay.waitFor (1, 30);
        ASSERT_EQ (received.size(), 1u);
        EXPECT_EQ (relay.refusals(), 1);
        EXPECT_EQ (received[0].to, "<relay@example.com>");
        EXPECT_NE (received[0].data.find ("To: relay@example.com\r\n"), std::string::npos);
        EXPECT_NE (received[0].data.find ("/confirm?token="), std::string::npos);

        // A reset code waits in the queue while the relay refuses it.
        relay.refuseNext (1000);
        ASSERT_EQ (forgot ("relay@example.com").tag, "Success");

        for (int i = 0; i < 300 && countRows ("SELECT COUNT(*) FROM mail_queue WHERE attempts > 0") == 0; ++i)
            std::this_thread::sleep_for (std::chrono::milliseconds (50));

        std::string queued;

        {
            Database db (database());
            Database::Statement message (db, "SELECT message FROM mail_queue");
            ASSERT_TRUE (message.step());
            queued = message.columnBlob (0);
        }

        relay.refuseNext (0);
        received = relay.waitFor (2, 30);
        ASSERT_EQ (received.size(), 2u);

        std::istringstream lines (received[1].data);
        std::string code;

        for (std::string line; std::getline (lines, line) && code.empty();)
            if (line.size() == 13 && line.back() == '\r'
                && std::all_of (line.begin(), line.end() - 1, [] (char c) { return std::isupper (static_cast<unsigned char> (c))
                                                                                   || std::isdigit (static_cast<unsigned char> (c)); }))
                code = line.substr (0, 12);

        ASSERT_EQ (code.size(), 12u) << received[1].data;
        EXPECT_EQ (queued.find (code), std::string::npos);
        EXPECT_EQ (queued.find ("relay@example.com"), std::string::npos);

        for (int i = 0; i < 100 && countRows ("SELECT COUNT(*) FROM mail_queue") != 0; ++i)
            std::this_thread::sleep_for (std::chrono::milliseconds (50));

        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM mail_queue"), 0);
        EXPECT_FALSE (std::filesystem::exists (outbox()));
        EXPECT_EQ (reset ("relay@example.com", "N3w-Passw0rd", code).tag, "Success");
    }

    //==============================================================================
    // Two service processes on one PostgreSQL database, as behind a load
    // balancer: whatever one of them counts or spends, the other sees.
    class SeveralProcessesTest : public ServiceStoreTest
    {
    protected:
        std::filesystem::path secondOutbox() const { return folder.path() / "outbox-2"; }

        void startBoth (const std::vector<std::string>& extra = {})
        {
            start (extra);
            second = std::make_unique<ServiceProcess> (serviceBinary, serveArguments (secondOutbox(), extra),
                                                       folder.path() / "second.log");
            ASSERT_GT (second->port(), 0);
        }

        // Sends what follows to the first or the second process.
        void throughFirst()   { target = service.get(); }
        void throughSecond()  { target = second.get(); }

        Element uploadFrom (const std::string& address, const std::string& email, const std::string& file,
                            const std::string& machine) const
        {
            const std::string boundary = "3fa9c2e01b7d4";
            const auto result = client()->Post ("/scan/index.php", { { "X-Real-IP", address } },
                                                multipartBody (boundary, email, goodPassword, machine + "_PluginList.xml", file),
                                                ("multipart/form-data; boundary=" + boundary).c_str());
            return result ? parseReply (result->body) : Element {};
        }

        std::unique_ptr<ServiceProcess> second;
    };

    INSTANTIATE_TEST_SUITE_P (Stores, SeveralProcessesTest, ::testing::Values (Database::Kind::postgresql),
                              TestStore::nameOf);

    TEST_P (SeveralProcessesTest, AnAccountMadeOnOneLogsInOnTheOtherAndFailuresLockOutOnBoth)
    {
        startBoth ({ "--max-failed-logins", "4" });

        throughFirst();
        ASSERT_EQ (signUp ("both@example.com").tag, "Success");

        throughSecond();
        ASSERT_EQ (viewProfile ("BOTH@example.com", goodPassword).tag, "Profile");
        EXPECT_EQ (signUp ("both@example.com").tag, "Errors");

        for (int i = 0; i < 4; ++i)
        {
            i % 2 == 0 ? throughFirst() : throughSecond();
            EXPECT_EQ (viewProfile ("both@example.com", "Wrong-passw0rd")["ErrorTitle"], "Log-in Failed");
        }

        for (const auto* process : { service.get(), second.get() })
        {
            target = process;
            EXPECT_EQ (viewProfile ("both@example.com", goodPassword)["ErrorTitle"], "Log-in Locked");
        }
    }

    TEST_P (SeveralProcessesTest, WrongPasswordsAtOnceThroughBothGetNoMoreChecksThanTheLimit)
    {
        startBoth ({ "--max-failed-logins", "5" });
        throughFirst();
        ASSERT_EQ (signUp ("target@example.com").tag, "Success");

        std::atomic<int> checked { 0 }, locked { 0 };
        std::vector<std::thread> senders;

        for (int t = 0; t < 16; ++t)
            senders.emplace_back ([&, t]
            {
                httplib::Client http ("127.0.0.1", (t % 2 == 0 ? service : second)->port());
                http.set_read_timeout (60, 0);

                for (int i = 0; i < 3; ++i)
                {
                    const auto reply = http.Post ("/authentication/index.php",
                                                  formBody ({ { "viewprofile", "true" }, { "email", "target@example.com" },
                                                              { "password", "Wrong-passw0rd" } }),
                                                  "application/x-www-form-urlencoded");
                    const auto title = reply ? parseReply (reply->body)["ErrorTitle"] : std::string();
                    ++(title == "Log-in Failed" ? checked : locked);
                }
            });

        for (auto& sender : senders)
            sender.join();

        EXPECT_EQ (checked.load(), 5);
        EXPECT_EQ (locked.load(), 16 * 3 - 5);
    }

    TEST_P (SeveralProcessesTest, AResetCodeMailedByOneIsSpentOnceAcrossBoth)
    {
        startBoth();
        throughFirst();
        ASSERT_EQ (signUp ("reset@example.com").tag, "Success");
        ASSERT_EQ (forgot ("reset@example.com").tag, "Success");
        ASSERT_EQ (outboxFiles (outbox(), Mail::resetCode, 1).size(), 1u);
        const auto code = newestResetCode (outbox());
        ASSERT_EQ (code.size(), 12u);

        // The same code at once through both processes, with two new passwords.
        std::string firstTag, secondTag;
        std::thread onFirst ([&] { firstTag = account ({ { "resetpassword", "true" }, { "email", "reset@example.com" },
                                                         { "password", "F1rst-passw0rd" }, { "resetcode", code } }).tag; });
        const auto onSecond = [&]
        {
            const auto result = httplib::Client ("127.0.0.1", second->port())
                .Post ("/authentication/index.php",
                       formBody ({ { "resetpassword", "true" }, { "email", "reset@example.com" },
                                   { "password", "S3cond-passw0rd" }, { "resetcode", code } }),
                       "application/x-www-form-urlencoded");
            secondTag = result ? parseReply (result->body).tag : "no reply";
        };
        onSecond();
        onFirst.join();

        EXPECT_EQ ((firstTag == "Success") + (secondTag == "Success"), 1) << firstTag << " " << secondTag;
        const auto winner = firstTag == "Success" ? "F1rst-passw0rd" : "S3cond-passw0rd";
        const auto loser = firstTag == "Success" ? "S3cond-passw0rd" : "F1rst-passw0rd";

        for (const auto* process : { service.get(), second.get() })
        {
            target = process;
            EXPECT_EQ (viewProfile ("reset@example.com", winner).tag, "Profile");
            EXPECT_EQ (viewProfile ("reset@example.com", loser).tag, "Errors");
        }

        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM reset_code WHERE used_at IS NULL"), 0);
    }

    TEST_P (SeveralProcessesTest, AResetThroughOneEndsTheLogInsTheOtherRemembers)
    {
        startBoth();
        throughFirst();
        ASSERT_EQ (signUp ("kept@example.com").tag, "Success");

        // The second process verifies and remembers the password.
        throughSecond();
        ASSERT_EQ (viewProfile ("kept@example.com", goodPassword).tag, "Profile");
        ASSERT_EQ (viewProfile ("kept@example.com", goodPassword).tag, "Profile");

        throughFirst();
        ASSERT_EQ (forgot ("kept@example.com").tag, "Success");
        ASSERT_EQ (outboxFiles (outbox(), Mail::resetCode, 1).size(), 1u);
        ASSERT_EQ (reset ("kept@example.com", "N3w-Passw0rd", newestResetCode (outbox())).tag, "Success");

        throughSecond();
        EXPECT_EQ (viewProfile ("kept@example.com", goodPassword).tag, "Errors");
        EXPECT_EQ (viewProfile ("kept@example.com", "N3w-Passw0rd").tag, "Profile");
    }

    TEST_P (SeveralProcessesTest, ReportedVersionsCountTheAccountsOfBoth)
    {
        const std::string publicUrl = "https://updates.example.com";
        startBoth ({ "--reporting-accounts", "2", "--trust-proxy", "--public-url", publicUrl });

        throughFirst();

        for (const auto* email : { "one@example.com", "two@example.com", "asks@example.com" })
            ASSERT_EQ (signUp (email).tag, "Success");

        for (const auto& link : confirmationLinks (outbox(), 3, publicUrl))
        {
            const auto page = client()->Get (link.c_str());
            ASSERT_TRUE (page);
            ASSERT_EQ (page->status, 200);
        }

        const auto offered = [this] (const std::string& address)
        {
            const auto list = uploadFrom (address, "asks@example.com",
                                          inventoryXml ("Asks", { { "Verb", "1.0", "Acme", "VST" } }), "Asks");
            EXPECT_EQ (list.tag, "UpdateList") << list["ErrorText"];
            return list.children.empty() ? std::string ("none") : list.children[0]["CurrentVersion"];
        };

        // One account from one network holds 2.0: not enough.
        EXPECT_EQ (uploadFrom ("198.51.100.7", "one@example.com",
                               inventoryXml ("One", { { "Verb", "2.0", "Acme", "VST" } }), "One").tag, "UpdateList");
        throughSecond();
        EXPECT_EQ (offered ("192.0.2.50"), "none");

        // A second account, from another network, through the other process.
        EXPECT_EQ (uploadFrom ("203.0.113.9", "two@example.com",
                               inventoryXml ("Two", { { "Verb", "2.0", "Acme", "VST" } }), "Two").tag, "UpdateList");
        throughFirst();
        EXPECT_EQ (offered ("192.0.2.50"), "2.0");
    }

    TEST_P (SeveralProcessesTest, HealthFollowsTheDatabase)
    {
        start();

        const auto health = [this]
        {
            const auto reply = client()->Get ("/health");
            return reply ? std::to_string (reply->status) + " " + reply->body : std::string ("no reply");
        };

        EXPECT_EQ (health(), "200 ok\n");

        // What every new connection reads is gone; then back.
        Database db (database());
        db.execute ("ALTER TABLE schema_version RENAME TO schema_version_away");
        EXPECT_EQ (health(), "503 database unavailable\n");
        db.execute ("ALTER TABLE schema_version_away RENAME TO schema_version");
        EXPECT_EQ (health(), "200 ok\n");
        EXPECT_NE (readFile (folder.path() / "service.log").find ("error: GET /health: "), std::string::npos);
    }

    TEST_P (SeveralProcessesTest, TwoProcessesMakingANewDatabaseAtOnceLeaveOneLayout)
    {
        std::unique_ptr<ServiceProcess> first;
        std::thread starting ([&]
        {
            first = std::make_unique<ServiceProcess> (serviceBinary, serveArguments (outbox(), {}),
                                                      folder.path() / "service.log");
        });
        second = std::make_unique<ServiceProcess> (serviceBinary, serveArguments (secondOutbox(), {}),
                                                   folder.path() / "second.log");
        starting.join();

        ASSERT_GT (first->port(), 0);
        ASSERT_GT (second->port(), 0);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM schema_version"), 1);
        EXPECT_EQ (countRows ("SELECT version FROM schema_version"), Schema::currentVersion);
        EXPECT_EQ (countRows ("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = current_schema()"), 11);

        target = second.get();
        EXPECT_EQ (signUp ("first@example.com").tag, "Success");
        target = first.get();
        EXPECT_EQ (viewProfile ("first@example.com", goodPassword).tag, "Profile");
    }

    //==============================================================================
    // A service that ran on SQLite, moved to PostgreSQL with migrate.
    class MigrateTest : public ServiceStoreTest
    {
    protected:
        std::int64_t rowsIn (const std::string& location, const std::string& sql) const
        {
            Database db (location);
            Database::Statement query (db, sql);
            return query.step() ? query.columnInt (0) : -1;
        }

        // Every row of a table as one line of text, sorted, read the same way
        // from either store: numbers as digits, blobs in hex, NULL as such.
        std::vector<std::string> dump (const std::string& location, const std::string& table) const
        {
            Database postgres (store.location());
            Database::Statement columns (postgres, "SELECT column_name, data_type FROM information_schema.columns "
                                                   "WHERE table_schema = current_schema() AND table_name = ?1 "
                                                   "ORDER BY ordinal_position");
            columns.bind (1, table);
            std::vector<std::string> types;
            std::string names;

            while (columns.step())
            {
                names += (names.empty() ? "" : ", ") + columns.columnText (0);
                types.push_back (columns.columnText (1));
            }

            Database db (location);
            Database::Statement rows (db, "SELECT " + names + " FROM " + table);
            std::vector<std::string> lines;

            while (rows.step())
            {
                std::string line;

                for (int i = 0; i < static_cast<int> (types.size()); ++i)
                {
                    const auto& type = types[static_cast<std::size_t> (i)];
                    std::string value;

                    if (rows.columnIsNull (i))
                        value = "NULL";
                    else if (type == "bytea")
                    {
                        for (const auto c : rows.columnBlob (i))
                        {
                            const auto byte = static_cast<unsigned char> (c);
                            value += "0123456789abcdef"[byte >> 4];
                            value += "0123456789abcdef"[byte & 15];
                        }
                    }
                    else if (type == "text")
                        value = "'" + rows.columnText (i) + "'";
                    else
                        value = std::to_string (rows.columnInt (i));

                    line += value + "|";
                }

                lines.push_back (line);
            }

            std::sort (lines.begin(), lines.end());
            return lines;
        }

        int migrate (std::string& output) const
        {
            return ServiceProcess::runToEnd (serviceBinary, { "migrate", "--db", databaseFile().string(),
                                                              "--to", store.location() }, output);
        }
    };

    INSTANTIATE_TEST_SUITE_P (Stores, MigrateTest, ::testing::Values (Database::Kind::postgresql), TestStore::nameOf);

    TEST_P (MigrateTest, CopiesEveryTableIntoAnEmptyDatabaseAndTheServiceGoesOnThere)
    {
        // A store with rows in every table, on SQLite.
        storeLocation = databaseFile().string();
        importCatalog (testCatalog);
        start ({ "--reporting-accounts", "1" });
        ASSERT_EQ (signUp ("kept@example.com").tag, "Success");
        confirmSignUps (1);
        ASSERT_EQ (signUp ("waiting@example.com").tag, "Success");
        ASSERT_EQ (outboxFiles (outbox(), Mail::confirmation, 2).size(), 2u);
        const auto firstList = scan ("kept@example.com", goodPassword,
                                     inventoryXml ("Studio \xE2\x82\xAC", { { "Verb Deluxe", "2.4", "Acme", "VST" },
                                                                                { "Unknown", "1.5", "Nobody", "VST3" } }),
                                     "Studio");
        ASSERT_EQ (firstList.tag, "UpdateList") << firstList["ErrorText"];
        ASSERT_EQ (forgot ("waiting@example.com").tag, "Success");
        ASSERT_EQ (outboxFiles (outbox(), Mail::resetCode, 1).size(), 1u);
        EXPECT_EQ (viewProfile ("waiting@example.com", "Wrong-passw0rd").tag, "Errors");
        const auto userId = viewProfile ("kept@example.com", goodPassword)["UserId"];
        ASSERT_EQ (service->stop (SIGTERM), 0);

        std::string output;
        ASSERT_EQ (migrate (output), 0) << output;

        const auto sqlite = databaseFile().string(), postgres = store.location();

        for (const auto* table : { "account", "confirmation", "reset_code", "login_attempt", "rate_bucket",
                                   "machine", "plugin_list", "plugin", "catalog", "mail_queue" })
        {
            const auto rows = dump (sqlite, table);
            EXPECT_TRUE (rows.empty() == (std::string (table) == "mail_queue")) << table;   // no relay: no queue
            EXPECT_EQ (dump (postgres, table), rows) << table;
            EXPECT_NE (output.find (std::string (" rows of ") + table + "\n"), std::string::npos) << output;
        }

        {
            Database db (postgres);
            Database::Statement machine (db, "SELECT id, platform_string FROM machine");
            ASSERT_TRUE (machine.step());
            EXPECT_EQ (InventoryStore::readPlugins (db, machine.columnInt (0)).size(), 2u);
        }

        // The service on PostgreSQL: the same accounts, ids, lists and codes.
        storeLocation = postgres;
        start ({ "--reporting-accounts", "1" });
        const auto profile = viewProfile ("kept@example.com", goodPassword);
        EXPECT_EQ (profile["UserId"], userId);
        const auto again = scan ("kept@example.com", goodPassword,
                                 inventoryXml ("Studio", { { "Verb Deluxe", "2.4", "Acme", "VST" },
                                                           { "Unknown", "1.5", "Nobody", "VST3" } }), "Studio");
        ASSERT_EQ (again.children.size(), firstList.children.size());
        EXPECT_EQ (again.children[0]["CurrentVersion"], firstList.children[0]["CurrentVersion"]);
        EXPECT_EQ (reset ("waiting@example.com", "N3w-Passw0rd", newestResetCode (outbox())).tag, "Success");
        EXPECT_EQ (signUp ("new@example.com").tag, "Success");
        EXPECT_EQ (rowsIn (postgres, "SELECT MAX(id) FROM account"), 3);
        ASSERT_EQ (service->stop (SIGTERM), 0);

        // A database that holds a service already is never written over.
        const auto accounts = rowsIn (postgres, "SELECT COUNT(*) FROM account");
        EXPECT_NE (migrate (output), 0);
        EXPECT_NE (output.find ("is not empty"), std::string::npos) << output;
        EXPECT_EQ (rowsIn (postgres, "SELECT COUNT(*) FROM account"), accounts);
    }
}
