#include "mail/SmtpRelay.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace
{
    struct Reading
    {
        std::string_view rest;
    };

    size_t readMessage (char* buffer, size_t size, size_t count, void* data)
    {
        auto& reading = *static_cast<Reading*> (data);
        const auto n = std::min (size * count, reading.rest.size());
        std::memcpy (buffer, reading.rest.data(), n);
        reading.rest.remove_prefix (n);
        return n;
    }

    struct CurlCleanup
    {
        void operator() (CURL* handle) const noexcept { curl_easy_cleanup (handle); }
    };

    struct ListCleanup
    {
        void operator() (curl_slist* list) const noexcept { curl_slist_free_all (list); }
    };
}

SmtpRelay::SmtpRelay (Settings relaySettings)
    : settings (std::move (relaySettings))
{
    static std::once_flag initialised;
    std::call_once (initialised, [] { curl_global_init (CURL_GLOBAL_DEFAULT); });
}

std::string SmtpRelay::addressOf (std::string_view fromHeader)
{
    const auto open = fromHeader.rfind ('<');
    const auto close = fromHeader.rfind ('>');

    if (open != std::string_view::npos && close != std::string_view::npos && open < close)
        return std::string (fromHeader.substr (open + 1, close - open - 1));

    return std::string (fromHeader);
}

void SmtpRelay::send (std::string_view to, std::string_view message) const
{
    const std::unique_ptr<CURL, CurlCleanup> curl (curl_easy_init());

    if (curl == nullptr)
        throw std::runtime_error ("the mail relay cannot be reached: libcurl could not start");

    const std::string recipient = "<" + std::string (to) + ">";
    const std::unique_ptr<curl_slist, ListCleanup> recipients (curl_slist_append (nullptr, recipient.c_str()));
    const std::string sender = "<" + settings.envelopeFrom + ">";
    Reading reading { message };
    char errorText[CURL_ERROR_SIZE] = {};

    auto* handle = curl.get();
    curl_easy_setopt (handle, CURLOPT_URL, settings.url.c_str());
    curl_easy_setopt (handle, CURLOPT_MAIL_FROM, sender.c_str());
    curl_easy_setopt (handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt (handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt (handle, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt (handle, CURLOPT_READDATA, &reading);
    curl_easy_setopt (handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t> (message.size()));
    curl_easy_setopt (handle, CURLOPT_USE_SSL, settings.user.empty() ? static_cast<long> (CURLUSESSL_TRY)
                                                                     : static_cast<long> (CURLUSESSL_ALL));
    curl_easy_setopt (handle, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt (handle, CURLOPT_TIMEOUT, settings.timeoutSeconds);
    curl_easy_setopt (handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt (handle, CURLOPT_ERRORBUFFER, errorText);

    if (! settings.user.empty())
    {
        curl_easy_setopt (handle, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt (handle, CURLOPT_PASSWORD, settings.password.c_str());
    }

    const auto result = curl_easy_perform (handle);

    if (result != CURLE_OK)
    {
        long reply = 0;
        curl_easy_getinfo (handle, CURLINFO_RESPONSE_CODE, &reply);
        throw std::runtime_error ("the mail relay did not take the message: "
                                  + std::string (errorText[0] != 0 ? errorText : curl_easy_strerror (result))
                                  + (reply != 0 ? " (reply " + std::to_string (reply) + ")" : std::string()));
    }
}
