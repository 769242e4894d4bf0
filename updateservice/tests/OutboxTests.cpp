// The outbox shared by several service processes.

#include "mail/Outbox.h"
#include "ServiceProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace
{
    TEST (OutboxTest, TwoWritersOfOneFolderNeverReplaceEachOthersMessages)
    {
        TemporaryFolder folder;
        Outbox first (folder.path(), "a@example.com"), second (folder.path(), "b@example.com");
        std::set<std::string> sent;

        // Both start from the same empty folder, so each number is wanted
        // by both; the same second keeps the names otherwise alike.
        for (int i = 0; i < 20; ++i)
            for (auto* outbox : { &first, &second })
            {
                const auto to = "user" + std::to_string (i) + (outbox == &first ? "@one.example" : "@two.example");
                outbox->send (to, "Subject", "Body", 1'800'000'000);
                sent.insert (to);
            }

        std::set<std::string> found;
        std::size_t files = 0;

        for (const auto& entry : std::filesystem::directory_iterator (folder.path()))
        {
            ++files;
            EXPECT_EQ (entry.path().extension(), ".eml") << entry.path();
            std::ifstream in (entry.path(), std::ios::binary);
            const std::string text ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
            const auto start = text.find ("To: ") + 4;
            found.insert (text.substr (start, text.find ("\r\n", start) - start));
        }

        EXPECT_EQ (files, 40u);
        EXPECT_EQ (found, sent);
    }
}
