// Load generator for the Cobaltline update service: registers accounts, then
// sends scan uploads many at once, the way the application builds them, in
// two rounds: each account's first upload (its log-in verified by the full
// password hash), then repeated uploads of the same accounts (log-ins the
// service remembers). Reports throughput and latency of each round. Spreads
// the clients over one or more service ports. Talks to loopback addresses
// only, and stops by itself after its uploads or a time limit.

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
    struct Options
    {
        std::string host = "127.0.0.1";
        std::vector<int> ports;
        int uploads = 1000;        ///< of the repeated round
        int concurrency = 50;
        int plugins = 300;
        int accounts = 0;          ///< 0: as many as the concurrency
        int timeLimitSeconds = 600;
    };

    const std::string password = "L0ad-Passw0rd!";

    bool isLoopback (const std::string& host)
    {
        return host == "localhost" || host == "::1" || host.rfind ("127.", 0) == 0;
    }

    std::string accountEmail (int index)
    {
        return "load-" + std::to_string (index) + "@example.com";
    }

    std::string formEncode (const std::string& text)
    {
        static const char* hex = "0123456789abcdef";
        std::string out;

        for (const auto ch : text)
        {
            const auto c = static_cast<unsigned char> (ch);
            const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                           || c == '_' || c == '-' || c == '.' || c == '*' || c == '!' || c == '\'' || c == '(' || c == ')';

            if (keep)
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

    // An inventory laid out as the application's XML writer does it.
    std::string inventory (const std::string& machine, int plugins, int uploadIndex)
    {
        std::string xml;
        xml.reserve (static_cast<std::size_t> (plugins) * 180 + 600);
        xml += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n"
               "<MachineProfile MachineName=\"" + machine + "\" Platform=\"Win\" PlatformString=\"Windows 10\"\r\n"
               "                CPUVendor=\"GenuineIntel\" CPUSpeed=\"2394\" Supports64Bit=\"1\" RAM=\"16384\"\r\n"
               "                HasSSE1=\"1\" HasSSE2=\"1\" HasMMX=\"1\" Has3DNow=\"0\" DisplayLanguage=\"en\"\r\n"
               "                UserLanguage=\"en\" Region=\"US\" Time=\"8 Dec 2026 2:05:01pm\">\r\n";

        for (int p = 0; p < plugins; ++p)
        {
            const auto number = std::to_string (p);
            xml += "  <Plugin Name=\"Load Plugin " + number + "\" Version=\"1." + std::to_string ((p + uploadIndex) % 97)
                 + "\"\r\n          Vendor=\"Load Vendor " + std::to_string (p % 50) + "\" Path=\"C:\\Program Files\\VSTPlugins\\load-"
                 + number + ".dll\"\r\n          Format=\"VST\" Error=\"\"/>\r\n";
        }

        xml += "</MachineProfile>\r\n";
        return xml;
    }

    std::string multipart (const std::string& boundary, const std::string& email, const std::string& file,
                           const std::string& fileName)
    {
        return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n" + email + "\r\n"
             + "--" + boundary + "\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\n" + password + "\r\n"
             + "--" + boundary + "\r\nContent-Disposition: form-data; name=\"userfile\"; filename=\"" + fileName + "\"\r\n"
             + "Content-Type: text/xml\r\nContent-Transfer-Encoding: binary\r\n\r\n" + file + "\r\n"
             + "--" + boundary + "--\r\n";
    }

    bool parseOptions (int argc, char* argv[], Options& options)
    {
        for (int i = 1; i < argc; ++i)
        {
            const std::string name = argv[i];

            if (i + 1 >= argc)
                return false;

            const std::string value = argv[++i];
            const auto number = std::atoi (value.c_str());

            if (name == "--host")              options.host = value;
            else if (name == "--port")
            {
                // One port, or several separated by commas.
                for (std::size_t start = 0; start <= value.size();)
                {
                    const auto comma = std::min (value.find (',', start), value.size());
                    options.ports.push_back (std::atoi (value.substr (start, comma - start).c_str()));
                    start = comma + 1;
                }
            }
            else if (name == "--uploads")      options.uploads = number;
            else if (name == "--concurrency")  options.concurrency = number;
            else if (name == "--plugins")      options.plugins = number;
            else if (name == "--accounts")     options.accounts = number;
            else if (name == "--time-limit")   options.timeLimitSeconds = number;
            else return false;
        }

        if (options.accounts == 0)
            options.accounts = options.concurrency;

        return ! options.ports.empty()
            && std::all_of (options.ports.begin(), options.ports.end(), [] (int p) { return p > 0 && p < 65536; })
            && options.uploads > 0 && options.concurrency > 0
            && options.concurrency <= 1000 && options.plugins >= 0 && options.plugins <= 100000
            && options.accounts > 0 && options.timeLimitSeconds > 0;
    }

    double percentile (std::vector<double> sorted, double fraction)
    {
        if (sorted.empty())
            return 0.0;

        const auto index = static_cast<std::size_t> (fraction * static_cast<double> (sorted.size() - 1) + 0.5);
        return sorted[std::min (index, sorted.size() - 1)];
    }
}

int main (int argc, char* argv[])
{
    Options options;

    if (! parseOptions (argc, argv, options))
    {
        std::cerr << "usage: service-loadgen --port P[,P...] [--host 127.0.0.1] [--uploads 1000] [--concurrency 50]\n"
                     "                       [--plugins 300] [--accounts CONCURRENCY] [--time-limit 600]\n";
        return 2;
    }

    if (! isLoopback (options.host))
    {
        std::cerr << "service-loadgen: only loopback addresses are load-tested\n";
        return 2;
    }

    std::signal (SIGPIPE, SIG_IGN);

    // Client w talks to the w-th port, round the list.
    const auto makeClient = [&options] (int w)
    {
        const auto port = options.ports[static_cast<std::size_t> (w) % options.ports.size()];
        auto client = std::make_unique<httplib::Client> (options.host, port);
        client->set_connection_timeout (30, 0);
        client->set_read_timeout (options.timeLimitSeconds, 0);
        client->set_write_timeout (60, 0);
        return client;
    };

    // Sign-ups at once, spread over the processes.
    {
        std::atomic<int> next { 0 }, refused { 0 };
        std::vector<std::thread> signing;

        for (int w = 0; w < std::min (options.concurrency, options.accounts); ++w)
            signing.emplace_back ([&, w]
            {
                for (int a = next++; a < options.accounts; a = next++)
                {
                    const auto body = "registerpost=true&email=" + formEncode (accountEmail (a)) + "&password="
                                    + formEncode (password) + "&firstname=Load&lastname=Test&isdeveloper=0";
                    const auto reply = makeClient (w)->Post ("/authentication/index.php", body,
                                                             "application/x-www-form-urlencoded");

                    if (! reply || reply->body.find ("<Success") == std::string::npos)
                        if (refused++ == 0)
                            std::cerr << "service-loadgen: cannot register " << accountEmail (a) << ": "
                                      << (reply ? reply->body.substr (0, 300) : std::string ("no reply")) << "\n";
                }
            });

        for (auto& thread : signing)
            thread.join();

        if (refused > 0)
            return 1;
    }

    struct Round
    {
        int done = 0, failed = 0;
        double seconds = 0, mib = 0;
        std::vector<double> latenciesMs;
    };

    // `count` uploads, `options.concurrency` at once; upload i is account
    // i's, round the accounts, each from its own machine.
    const auto runRound = [&] (int count)
    {
        Round round;
        std::atomic<int> nextUpload { 0 };
        std::atomic<int> failures { 0 };
        std::atomic<long long> bytesSent { 0 };
        std::mutex resultLock;

        std::mutex startLock;
        std::condition_variable startSignal;
        bool started = false;
        int ready = 0;

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (options.timeLimitSeconds);
        std::vector<std::thread> workers;
        const auto workerCount = std::min (options.concurrency, count);

        for (int w = 0; w < workerCount; ++w)
        {
            workers.emplace_back ([&, w]
            {
                // Each worker builds its first body before the start, so the
                // uploads really begin together.
                auto index = nextUpload.fetch_add (1);
                std::string body;
                const std::string boundary = "7d3a" + std::to_string (w) + "c0ffee";

                const auto prepare = [&] (int upload)
                {
                    const auto account = upload % options.accounts;
                    const auto machine = "Load-PC-" + std::to_string (account);
                    body = multipart (boundary, accountEmail (account),
                                      inventory (machine, options.plugins, upload), machine + "_PluginList.xml");
                };

                if (index < count)
                    prepare (index);

                {
                    std::unique_lock<std::mutex> lock (startLock);
                    ++ready;
                    startSignal.notify_all();
                    startSignal.wait (lock, [&] { return started; });
                }

                const auto client = makeClient (w);

                while (index < count && std::chrono::steady_clock::now() < deadline)
                {
                    const auto begin = std::chrono::steady_clock::now();
                    const auto reply = client->Post ("/scan/index.php", body,
                                                     ("multipart/form-data; boundary=" + boundary).c_str());
                    const auto elapsed = std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - begin).count();

                    if (! reply || reply->status != 200 || reply->body.find ("<UpdateList") == std::string::npos)
                    {
                        if (failures++ < 5)
                        {
                            const std::lock_guard<std::mutex> guard (resultLock);
                            std::cerr << "failed upload: " << (reply ? std::to_string (reply->status) + " " + reply->body.substr (0, 200)
                                                                     : "no reply (" + httplib::to_string (reply.error()) + ")") << "\n";
                        }
                    }

                    bytesSent += static_cast<long long> (body.size());

                    {
                        const std::lock_guard<std::mutex> guard (resultLock);
                        round.latenciesMs.push_back (elapsed);
                    }

                    index = nextUpload.fetch_add (1);

                    if (index < count)
                        prepare (index);
                }
            });
        }

        {
            std::unique_lock<std::mutex> lock (startLock);
            startSignal.wait (lock, [&] { return ready == workerCount; });
            started = true;
        }

        const auto begin = std::chrono::steady_clock::now();
        startSignal.notify_all();

        for (auto& worker : workers)
            worker.join();

        round.seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - begin).count();
        std::sort (round.latenciesMs.begin(), round.latenciesMs.end());
        round.done = static_cast<int> (round.latenciesMs.size());
        round.failed = failures.load();
        round.mib = static_cast<double> (bytesSent.load()) / (1024.0 * 1024.0);
        return round;
    };

    const auto print = [&] (const char* name, const Round& round, int count)
    {
        std::printf ("%s: %d of %d (%d failed), %.1f uploads/s, latency p50 %.0f ms, p99 %.0f ms, max %.0f ms, "
                     "%.1f MiB in %.2f s\n",
                     name, round.done, count, round.failed, round.seconds > 0 ? round.done / round.seconds : 0.0,
                     percentile (round.latenciesMs, 0.50), percentile (round.latenciesMs, 0.99),
                     round.latenciesMs.empty() ? 0.0 : round.latenciesMs.back(), round.mib, round.seconds);
    };

    std::printf ("%d accounts, %d plug-ins an upload, %d at once, over %zu process(es)\n",
                 options.accounts, options.plugins, options.concurrency, options.ports.size());

    const auto first = runRound (options.accounts);
    print ("first uploads (a full password hash each)", first, options.accounts);

    const auto repeated = runRound (options.uploads);
    print ("repeated uploads (remembered log-ins)", repeated, options.uploads);

    const bool ok = first.failed == 0 && first.done == options.accounts
                 && repeated.failed == 0 && repeated.done == options.uploads;
    return ok ? 0 : 1;
}
