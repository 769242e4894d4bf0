#include "core/service/HttpExchange.h"

namespace HttpExchange
{
namespace
{
    /** Cancels a stream at its deadline, or once the caller's predicate asks for it. */
    class AbortWatchdog final : private juce::Thread
    {
    public:
        AbortWatchdog (juce::WebInputStream& s, int totalTimeoutMs, std::function<bool()> predicate)
            : juce::Thread ("HttpExchange watchdog"),
              stream (s),
              deadline (juce::Time::getMillisecondCounter() + (juce::uint32) juce::jmax (0, totalTimeoutMs)),
              shouldAbort (std::move (predicate))
        {
            startThread();
        }

        ~AbortWatchdog() override
        {
            stopThread (2000);
        }

    private:
        void run() override
        {
            while (! threadShouldExit())
            {
                if ((juce::int32) (juce::Time::getMillisecondCounter() - deadline) >= 0 || (shouldAbort && shouldAbort()))
                {
                    stream.cancel();
                    return;
                }

                wait (50);
            }
        }

        juce::WebInputStream& stream;
        const juce::uint32 deadline;
        std::function<bool()> shouldAbort;
    };
}

Result perform (const juce::URL& url, bool post, const juce::String& extraHeaders, const Options& options)
{
    Result result;
    juce::WebInputStream stream (url, post);
    stream.withConnectionTimeout (options.timeoutMs).withNumRedirectsToFollow (post ? 0 : 5);

    if (extraHeaders.isNotEmpty())
        stream.withExtraHeaders (extraHeaders);

    const AbortWatchdog watchdog (stream, options.totalTimeoutMs, options.shouldAbort);

    if (! stream.connect (nullptr) || stream.isError())
        return result;

    result.connected = true;
    result.status = stream.getStatusCode();

    juce::MemoryOutputStream out (result.body, false);
    char buffer[16384];

    while (! stream.isExhausted())
    {
        const auto numRead = stream.read (buffer, (int) sizeof (buffer));

        if (numRead <= 0)
            break;

        if (out.getDataSize() + (size_t) numRead > options.maxBodyBytes)
        {
            result.truncated = true;
            break;
        }

        out.write (buffer, (size_t) numRead);
    }

    out.flush();

    // An error part-way through (a dropped connection, a cancel) leaves a body
    // that cannot be trusted.
    if (stream.isError())
        result.connected = false;

    return result;
}
}
