#include "http/RequestLog.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
    using namespace std::chrono;

    front::RequestRecord record (std::string method, std::string path, int status)
    {
        front::RequestRecord r;
        r.finished = system_clock::time_point (seconds (1000000000) + milliseconds (7));
        r.method = std::move (method);
        r.path = std::move (path);
        r.status = status;
        r.bytes = 1234;
        r.elapsed = milliseconds (87);
        r.client = "203.0.113.5";
        return r;
    }

    TEST (RequestLog, WritesEveryFieldInItsPlace)
    {
        EXPECT_EQ (front::requestLogLine (record ("POST", "/scan/index.php", 200)),
                   "time=2001-09-09T01:46:40.007Z method=POST path=/scan/index.php status=200 bytes=1234 ms=87"
                   " client=203.0.113.5");
    }

    TEST (RequestLog, TimesAreUtcWithMilliseconds)
    {
        EXPECT_EQ (front::utcTimestamp (system_clock::time_point (milliseconds (999))), "1970-01-01T00:00:00.999Z");
        EXPECT_EQ (front::utcTimestamp (system_clock::time_point (seconds (1796830801) + milliseconds (123))),
                   "2026-12-09T15:40:01.123Z");
    }

    TEST (RequestLog, AHostilePathCannotEndTheLineOrAddAField)
    {
        const auto line = front::requestLogLine (record ("GET", "/a\r\ntime=x status=500\tq\"\\\x7f\xC3\xA9\x01"
                                                                "?password=hunter2", 404));

        EXPECT_EQ (line.find_first_of ("\r\n\t\"\x7f"), std::string::npos) << line;
        EXPECT_EQ (line.find ("hunter2"), std::string::npos) << line;
        EXPECT_NE (line.find (" path=/a\\x0D\\x0Atime=x\\x20status=500\\x09q\\x22\\x5C\\x7F\\xC3\\xA9\\x01 status=404 "),
                   std::string::npos) << line;

        // Seven fields, whatever the path held.
        EXPECT_EQ (std::count (line.begin(), line.end(), ' '), 6) << line;

        // A literal "\x0A" must not read back as a line break.
        EXPECT_EQ (front::logValue ("/\\x0A"), "/\\x5Cx0A");
    }

    TEST (RequestLog, UnknownValuesAreADash)
    {
        auto r = record ("", "", 0);
        r.client.clear();
        r.bytes = 0;
        r.elapsed = milliseconds (0);
        EXPECT_EQ (front::requestLogLine (r),
                   "time=2001-09-09T01:46:40.007Z method=- path=- status=- bytes=0 ms=0 client=-");
    }
}
