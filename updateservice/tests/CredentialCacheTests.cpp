// Log-ins a process remembers, so that repeated ones skip the hash.

#include "domain/CredentialCache.h"

#include <gtest/gtest.h>

namespace
{
    TEST (CredentialCacheTest, RemembersOnlyTheVerifiedPasswordOfTheAccountAtItsVersionForItsLifetime)
    {
        CredentialCache cache (ServiceSecret::random(), 600);
        cache.remember ("ann@example.com", "Passw0rd!", 7, 3, 1000);

        EXPECT_TRUE (cache.knows ("ann@example.com", "Passw0rd!", 7, 3, 1599));
        EXPECT_FALSE (cache.knows ("ann@example.com", "passw0rd!", 7, 3, 1000));
        EXPECT_FALSE (cache.knows ("ann@example.co", "mPassw0rd!", 7, 3, 1000));   // the same bytes split elsewhere
        EXPECT_FALSE (cache.knows ("bob@example.com", "Passw0rd!", 7, 3, 1000));
        EXPECT_FALSE (cache.knows ("ann@example.com", "Passw0rd!", 8, 3, 1000));   // another account now has the key

        // A reset or a new address raised the version: forgotten for good.
        EXPECT_FALSE (cache.knows ("ann@example.com", "Passw0rd!", 7, 4, 1000));
        EXPECT_FALSE (cache.knows ("ann@example.com", "Passw0rd!", 7, 3, 1000));

        cache.remember ("ann@example.com", "Passw0rd!", 7, 4, 2000);
        EXPECT_FALSE (cache.knows ("ann@example.com", "Passw0rd!", 7, 4, 2600));
    }

    TEST (CredentialCacheTest, AFullCacheMakesRoomAndKeysDependOnTheSecret)
    {
        const auto secret = ServiceSecret::random();
        CredentialCache small (secret, 600, 2), other (ServiceSecret::random(), 600, 2);

        small.remember ("a@x.com", "p", 1, 0, 0);
        small.remember ("b@x.com", "p", 2, 0, 500);
        small.remember ("c@x.com", "p", 3, 0, 700);   // the first has expired and goes

        EXPECT_FALSE (small.knows ("a@x.com", "p", 1, 0, 700));
        EXPECT_TRUE (small.knows ("b@x.com", "p", 2, 0, 700));
        EXPECT_TRUE (small.knows ("c@x.com", "p", 3, 0, 700));
        EXPECT_FALSE (other.knows ("c@x.com", "p", 3, 0, 700));
    }
}
