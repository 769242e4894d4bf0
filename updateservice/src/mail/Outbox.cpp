#include "mail/Outbox.h"

#include "base/PasswordHasher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace
{
    std::string composeMessage (std::string_view from, std::string_view to, std::string_view subject,
                                std::string_view body, std::time_t now, std::string_view messageId);

    constexpr int maxNameAttempts = 1000;

    // Gives the file `from` the name `to` unless that exists; 0 or an errno.
    // A hard link fails with EEXIST where a rename would replace the other
    // file; `from` keeps its own name, for the caller to remove.
    int placeWithoutReplacing (const std::filesystem::path& from, const std::filesystem::path& to)
    {
        if (::link (from.c_str(), to.c_str()) == 0)
            return 0;

        const auto error = errno;

        // A file system without hard links: renamed, as the only way left.
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS)
            return ::rename (from.c_str(), to.c_str()) == 0 ? 0 : errno;

        return error;
    }

    std::tm utcTime (std::time_t when)
    {
        std::tm parts {};
        gmtime_r (&when, &parts);
        return parts;
    }

    std::string formatTime (std::time_t when, const char* pattern)
    {
        const auto parts = utcTime (when);
        char text[64] = {};
        // Formats use only %a/%b style names, which are English in the C
        // locale that the service never changes.
        std::strftime (text, sizeof (text), pattern, &parts);
        return text;
    }

    // The counter in "20261208T140501Z-000042.eml", or 0 for other names.
    std::uint64_t counterOf (const std::string& name)
    {
        const auto dash = name.find ('-');
        const auto dot = name.rfind (".eml");

        if (dash == std::string::npos || dot == std::string::npos || dot <= dash + 1
            || dot + 4 != name.size() || name.front() == '.')
            return 0;

        std::uint64_t value = 0;

        for (auto i = dash + 1; i < dot; ++i)
        {
            if (name[i] < '0' || name[i] > '9' || value > 1000000000000ull)
                return 0;

            value = value * 10 + static_cast<std::uint64_t> (name[i] - '0');
        }

        return value;
    }

    void normaliseLineEnds (std::string_view text, std::string& out)
    {
        for (std::size_t i = 0; i < text.size(); ++i)
        {
            if (text[i] == '\r')
            {
                if (i + 1 < text.size() && text[i + 1] == '\n')
                    ++i;

                out += "\r\n";
            }
            else if (text[i] == '\n')
            {
                out += "\r\n";
            }
            else
            {
                out += text[i];
            }
        }
    }

    void writeWhole (int fd, const std::string& text)
    {
        std::size_t written = 0;

        while (written < text.size())
        {
            const auto n = ::write (fd, text.data() + written, text.size() - written);

            if (n < 0 && errno == EINTR)
                continue;

            if (n <= 0)
                throw std::runtime_error (std::string ("cannot write to the outbox: ") + std::strerror (errno));

            written += static_cast<std::size_t> (n);
        }
    }
}

Outbox::Outbox (std::filesystem::path folder, std::string fromAddress)
    : outboxFolder (std::move (folder)), from (std::move (fromAddress))
{
    std::error_code error;
    std::filesystem::create_directories (outboxFolder, error);

    if (! std::filesystem::is_directory (outboxFolder))
        throw std::runtime_error ("cannot create the outbox folder " + outboxFolder.string());

    for (const auto& entry : std::filesystem::directory_iterator (outboxFolder, error))
        counter = std::max (counter, counterOf (entry.path().filename().string()));
}

std::string Outbox::compose (std::string_view to, std::string_view subject, std::string_view body,
                             std::time_t now, std::string_view messageId) const
{
    return composeMessage (from, to, subject, body, now, messageId);
}

std::string Outbox::format (std::string_view fromAddress, std::string_view to, std::string_view subject,
                            std::string_view body, std::time_t now)
{
    const auto breaksHeader = [] (std::string_view text)
    {
        return text.find_first_of ("\r\n") != std::string_view::npos;
    };

    if (breaksHeader (to) || breaksHeader (subject))
        throw std::invalid_argument ("a mail header would contain a line break");

    const auto atSign = fromAddress.rfind ('@');
    auto domain = atSign == std::string_view::npos ? std::string ("localhost") : std::string (fromAddress.substr (atSign + 1));
    domain = domain.substr (0, domain.find_first_of ("> "));
    const auto messageId = formatTime (now, "%Y%m%d%H%M%S") + "." + PasswordHasher::randomHex (8) + "@" + domain;
    return composeMessage (fromAddress, to, subject, body, now, messageId);
}

namespace
{
std::string composeMessage (std::string_view from, std::string_view to, std::string_view subject,
                            std::string_view body, std::time_t now, std::string_view messageId)
{
    std::string message;
    message += "From: " + std::string (from) + "\r\n";
    message += "To: " + std::string (to) + "\r\n";
    message += "Subject: " + std::string (subject) + "\r\n";
    message += "Date: " + formatTime (now, "%a, %d %b %Y %H:%M:%S +0000") + "\r\n";
    message += "Message-ID: <" + std::string (messageId) + ">\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message += "Content-Transfer-Encoding: 8bit\r\n";
    message += "\r\n";
    normaliseLineEnds (body, message);

    if (message.size() < 2 || message.compare (message.size() - 2, 2, "\r\n") != 0)
        message += "\r\n";

    return message;
}
}

std::filesystem::path Outbox::send (std::string_view to, std::string_view subject,
                                    std::string_view body, std::time_t now)
{
    const auto text = format (from, to, subject, body, now);

    const std::lock_guard<std::mutex> guard (lock);

    // Someone may have cleared the outbox away while the service runs.
    std::error_code ignored;
    std::filesystem::create_directories (outboxFolder, ignored);

    // Several processes may share the folder: a name another one took
    // meanwhile is never written over, the next number is taken instead.
    for (int attempt = 0;; ++attempt)
    {
        const bool mayRetry = attempt < maxNameAttempts;

        ++counter;
        char counterText[32] = {};
        std::snprintf (counterText, sizeof (counterText), "%06llu", static_cast<unsigned long long> (counter));

        const auto name = formatTime (now, "%Y%m%dT%H%M%SZ") + "-" + counterText + ".eml";
        const auto target = outboxFolder / name;
        const auto temporary = outboxFolder / ("." + name + ".tmp");

        const int fd = ::open (temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);

        if (fd < 0 && errno == EEXIST && mayRetry)
            continue;

        if (fd < 0)
            throw std::runtime_error ("cannot create a file in the outbox: " + std::string (std::strerror (errno)));

        try
        {
            writeWhole (fd, text);

            if (::fsync (fd) != 0)
                throw std::runtime_error ("cannot flush an outbox file");
        }
        catch (...)
        {
            ::close (fd);
            ::unlink (temporary.c_str());
            throw;
        }

        ::close (fd);

        const auto placed = placeWithoutReplacing (temporary, target);
        ::unlink (temporary.c_str());   // only a name left over once placed

        if (placed == 0)
            return target;

        if (placed != EEXIST || ! mayRetry)
            throw std::runtime_error ("cannot place a file in the outbox: " + std::string (std::strerror (placed)));
    }
}

void Outbox::deliver (std::string_view to, std::string_view subject, std::string_view body, std::time_t now)
{
    send (to, subject, body, now);
}
