#include "http/RequestLog.h"

#include <ctime>

namespace front
{
    std::string logValue (std::string_view value)
    {
        if (value.empty())
            return "-";

        static constexpr const char* hex = "0123456789ABCDEF";
        std::string out;
        out.reserve (value.size());

        for (const auto c : value)
        {
            const auto u = static_cast<unsigned char> (c);

            if (u > 0x20 && u < 0x7f && u != '"' && u != '\\')
            {
                out += c;
            }
            else
            {
                out += "\\x";
                out += hex[u >> 4];
                out += hex[u & 15];
            }
        }

        return out;
    }

    std::string utcTimestamp (std::chrono::system_clock::time_point time)
    {
        using namespace std::chrono;
        const auto sinceEpoch = duration_cast<milliseconds> (time.time_since_epoch());
        auto seconds = sinceEpoch.count() / 1000;
        auto millis = sinceEpoch.count() % 1000;

        if (millis < 0)
        {
            millis += 1000;
            --seconds;
        }

        const auto whole = static_cast<std::time_t> (seconds);
        std::tm parts {};
        gmtime_r (&whole, &parts);

        char text[32] = {};
        const auto length = std::strftime (text, sizeof (text), "%Y-%m-%dT%H:%M:%S", &parts);
        const auto fraction = std::to_string (1000 + millis).substr (1);
        return std::string (text, length) + "." + fraction + "Z";
    }

    std::string requestLogLine (const RequestRecord& record)
    {
        const std::string_view path (record.path);

        return "time=" + utcTimestamp (record.finished)
             + " method=" + logValue (record.method)
             + " path=" + logValue (path.substr (0, path.find ('?')))
             + " status=" + (record.status > 0 ? std::to_string (record.status) : std::string ("-"))
             + " bytes=" + std::to_string (record.bytes)
             + " ms=" + std::to_string (record.elapsed.count())
             + " client=" + logValue (record.client);
    }
}
