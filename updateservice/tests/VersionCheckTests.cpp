#include "domain/VersionCheck.h"

#include <gtest/gtest.h>

namespace
{
    using Kind = Outcome::Kind;

    TEST (VersionCheck, OffersOnlyAReleaseNewerThanTheClient)
    {
        const VersionCheck check ({ "1.05", "Cobaltline 1.0.5", "Fixes & more", "https://example.com/download" });

        const auto older = check.answer ("1.04");
        EXPECT_EQ (older.kind, Kind::version);
        EXPECT_EQ (older.title, "Cobaltline 1.0.5");
        EXPECT_EQ (older.text, "Fixes & more");
        EXPECT_EQ (older.valueOf ("url"), "https://example.com/download");

        // Compared as decimals: 1.049 is older than 1.05; 1.1 reads as 1.10.
        EXPECT_EQ (check.answer ("1.049").kind, Kind::version);
        EXPECT_EQ (check.answer ("1.0.4").kind, Kind::version);
        EXPECT_EQ (check.answer ("1.05").kind, Kind::current);
        EXPECT_EQ (check.answer ("1.1").kind, Kind::current);
        EXPECT_EQ (check.answer ("").kind, Kind::current);
        EXPECT_EQ (check.answer ("beta").kind, Kind::current);
    }

    TEST (VersionCheck, StandardNoticeAndNoRelease)
    {
        const auto offered = VersionCheck ({ "2.1", "", "", "https://example.com/" }).answer ("2.0");
        EXPECT_EQ (offered.title, "New Version Available");
        EXPECT_EQ (offered.text, "A new version of Cobaltline (2.1) is available. Would you like to download it?");

        EXPECT_EQ (VersionCheck ({}).answer ("0.01").kind, Kind::current);
    }
}
