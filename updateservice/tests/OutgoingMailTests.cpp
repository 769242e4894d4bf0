// The mail queue several senders share.

#include "store/ConnectionPool.h"
#include "store/Database.h"
#include "store/OutgoingMail.h"
#include "store/Schema.h"
#include "TestStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
    class OutgoingMailTest : public ::testing::TestWithParam<Database::Kind>
    {
    protected:
        OutgoingMailTest()
        {
            Database db (store.location());
            Schema::bringUpToDate (db);
        }

        TestStore store { GetParam() };
        ConnectionPool pool { store.location() };
        OutgoingMail queue { pool };
    };

    TEST_P (OutgoingMailTest, SendersAtOnceClaimEachMessageOnce)
    {
        for (int i = 0; i < 40; ++i)
            queue.add ("sealed " + std::to_string (i), 1000, 5000);

        std::mutex lock;
        std::vector<std::int64_t> claimed;
        std::vector<std::thread> senders;

        for (int s = 0; s < 4; ++s)
            senders.emplace_back ([&]
            {
                for (;;)
                {
                    std::int64_t expired = 0;
                    const auto batch = queue.claim (1000, 3, 600, expired);

                    if (batch.empty())
                        return;

                    const std::lock_guard<std::mutex> guard (lock);

                    for (const auto& message : batch)
                        claimed.push_back (message.id);
                }
            });

        for (auto& sender : senders)
            sender.join();

        std::sort (claimed.begin(), claimed.end());
        EXPECT_EQ (claimed.size(), 40u);
        EXPECT_EQ (std::adjacent_find (claimed.begin(), claimed.end()), claimed.end());
    }

    TEST_P (OutgoingMailTest, AFailedMessageWaitsItsTurnAndAnExpiredOneGoes)
    {
        queue.add ("first", 1000, 2000);
        std::int64_t expired = 0;
        auto due = queue.claim (1000, 5, 600, expired);
        ASSERT_EQ (due.size(), 1u);
        EXPECT_EQ (due[0].sealed, "first");
        EXPECT_TRUE (queue.claim (1000, 5, 600, expired).empty());   // held

        queue.failed (due[0].id, 1060, "451 4.3.0 busy \xE2\x80\x94 later");
        EXPECT_TRUE (queue.claim (1059, 5, 600, expired).empty());
        due = queue.claim (1060, 5, 600, expired);
        ASSERT_EQ (due.size(), 1u);
        EXPECT_EQ (due[0].attempts, 1);

        queue.failed (due[0].id, 1500, "refused");
        EXPECT_TRUE (queue.claim (2000, 5, 600, expired).empty());
        EXPECT_EQ (expired, 1);
        EXPECT_EQ (queue.waiting(), 0);
    }

    COBALTLINE_ON_BOTH_STORES (OutgoingMailTest);
}
