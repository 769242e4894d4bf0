#include "http/Server.h"

#include "domain/FormDecoding.h"
#include "http/Common.h"
#include "http/ConnectionGate.h"
#include "http/ReplyRenderer.h"
#include "http/RequestLog.h"

#include <httplib.h>

#include <exception>
#include <utility>

namespace
{
    using front::logLine;
    using front::logValue;
    using front::mediaType;
    using front::multipartAllowance;
    using front::scanPath;
    using front::serviceError;
    using front::xmlType;

    // httplib answers a request that has been read whole already; every
    // connection serves one request and is closed after the reply.
    template <typename Base>
    class Engine : public Base
    {
    public:
        using Base::Base;

        void serve (httplib::Stream& stream)
        {
            bool closed = false;
            this->process_request (stream, true, closed, [] (httplib::Request&) {});
        }
    };

    using PlainEngine = Engine<httplib::Server>;
    using SecureEngine = Engine<httplib::SSLServer>;

    std::string htmlPage (const std::string& title, const std::string& paragraph)
    {
        return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head>\n"
               "<body><p>" + paragraph + "</p></body></html>\n";
    }

    std::string escapeHtml (const std::string& text)
    {
        std::string out;

        for (const auto c : text)
        {
            switch (c)
            {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '"': out += "&quot;"; break;
                default: out += c;
            }
        }

        return out;
    }

    const std::string checkConnectPage = htmlPage ("Cobaltline", "The Cobaltline update service is reachable.");

    // The stand-in's answers to the two pages the application links to, so
    // that no link of a development build points at a host that does not exist.
    const std::string reportPage = htmlPage ("Cobaltline - Report Issues",
        "This is the stand-in for the page where Cobaltline users report problems.");
    const std::string sponsorPage = htmlPage ("Harbor Audio Supply",
        "This is the stand-in for the sponsor's shop: 10% off plug-in bundles for Cobaltline users.");

    void failureLine (const httplib::Request& request, const std::string& what)
    {
        logLine ("error: " + logValue (request.method) + " " + logValue (request.path) + ": " + what);
    }

    void replyXml (httplib::Response& response, const Outcome& outcome, int status = 200)
    {
        response.status = status;
        response.set_content (ReplyRenderer::render (outcome), xmlType);
    }

    // Answers with an outcome, and logs what went wrong behind it without
    // telling the client.
    void replyXml (const httplib::Request& request, httplib::Response& response, const Outcome& outcome)
    {
        if (! outcome.unreportedFailure.empty())
            failureLine (request, outcome.unreportedFailure);

        replyXml (response, outcome);
    }

    constexpr const char* formType = "application/x-www-form-urlencoded";

    Outcome unsupportedType()
    {
        return Outcome::errors ("Unsupported Request",
                                "The form must be sent as application/x-www-form-urlencoded.");
    }
}

//==============================================================================
Server::Server (Settings serverSettings, Accounts& accountHandler, ScanHandler& scanHandler,
                const VersionCheck& versionCheck, const ConnectionPool& storePool)
    : settings (std::move (serverSettings)), accounts (accountHandler), scans (scanHandler), versions (versionCheck),
      store (storePool)
{
    if (settings.tlsCertificate.empty())
    {
        auto engine = std::make_unique<PlainEngine>();
        serveStream = [plain = engine.get()] (httplib::Stream& stream) { plain->serve (stream); };
        http = std::move (engine);
    }
    else
    {
        auto engine = std::make_unique<SecureEngine> (settings.tlsCertificate.c_str(), settings.tlsKey.c_str());
        serveStream = [secure = engine.get()] (httplib::Stream& stream) { secure->serve (stream); };
        http = std::move (engine);
    }

    // The front has bounded every body already; this is a second guard.
    http->set_payload_max_length (settings.maxInventoryBytes + multipartAllowance);

    gate = std::make_unique<ConnectionGate> (
        settings, accounts,
        [this] (const std::string& method, const std::string& path) { return bodyLimitFor (method, path); },
        [this] (httplib::Stream& stream) { serveStream (stream); });
    addRoutes();
}

Server::~Server() = default;

std::optional<std::size_t> Server::bodyLimitFor (const std::string& method, const std::string& path) const
{
    if (method == "GET" || method == "HEAD")
        return 0;

    if (method != "POST")
        return std::nullopt;

    return path == scanPath ? settings.maxInventoryBytes + multipartAllowance : settings.maxFormBytes;
}

void Server::addRoutes()
{
    http->set_error_handler ([] (const httplib::Request&, httplib::Response& response)
    {
        if (! response.body.empty())
            return;

        if (response.status == 404)
            response.set_content ("Not Found\n", "text/plain; charset=UTF-8");
        else if (response.status == 413)
            response.set_content (ReplyRenderer::render (Outcome::errors ("Request Too Large",
                                      "The request is larger than the service accepts.")), xmlType);
        else
            response.set_content (ReplyRenderer::render (Outcome::errors ("Bad Request",
                                      "The service could not read the request.")), xmlType);
    });

    http->set_exception_handler ([] (const httplib::Request& request, httplib::Response& response, std::exception_ptr failure)
    {
        std::string what = "unknown failure";

        try
        {
            if (failure)
                std::rethrow_exception (failure);
        }
        catch (const std::exception& e)
        {
            what = e.what();
        }
        catch (...)
        {
        }

        failureLine (request, what);
        replyXml (response, serviceError());
    });

    // The request log is written by the gate, which sees every request
    // answered, including those it refuses itself.

    // For load balancers: no account, no limit of the accounts, nothing
    // but whether the database answers. Why it does not goes to the log,
    // once when it starts failing.
    http->Get ("/health", [this] (const httplib::Request&, httplib::Response& response)
    {
        response.set_header ("Cache-Control", "no-store");
        const auto health = store.health();

        if (health.ok)
        {
            storeAnswered = true;
            return response.set_content ("ok\n", "text/plain; charset=UTF-8");
        }

        if (storeAnswered.exchange (false))
            logLine ("error: GET /health: the database does not answer: " + health.problem);

        response.status = 503;
        response.set_content ("database unavailable\n", "text/plain; charset=UTF-8");
    });

    for (const auto& [path, page] : { std::pair { "/checkconnect/index.html", &checkConnectPage },
                                      std::pair { "/betareport", &reportPage },
                                      std::pair { "/sponsor", &sponsorPage } })
    {
        http->Get (path, [content = page] (const httplib::Request&, httplib::Response& response)
        {
            response.set_content (*content, "text/html; charset=UTF-8");
        });
    }

    // The link mailed at sign-up. The token is in the query, which the
    // request log leaves out; the page says no more than whether it
    // worked, is not kept by caches, and sends no referrer anywhere. HEAD
    // (as link checkers send) confirms nothing.
    http->Get ("/confirm", [this] (const httplib::Request& request, httplib::Response& response)
    {
        response.set_header ("Cache-Control", "no-store");
        response.set_header ("Referrer-Policy", "no-referrer");

        if (request.method == "HEAD")
            return response.set_content (htmlPage ("Cobaltline", "Open this link in a browser to confirm your address."),
                                         "text/html; charset=UTF-8");

        const auto outcome = accounts.confirmAddress (request.get_param_value ("token"));
        response.status = outcome.kind == Outcome::Kind::success ? 200 : 404;
        response.set_content (htmlPage ("Cobaltline - " + escapeHtml (outcome.title), escapeHtml (outcome.text)),
                              "text/html; charset=UTF-8");
    });

    // Forms are read only when they say they are forms: a cross-site page
    // can post text/plain to the service without asking the browser first.
    const auto isForm = [] (const httplib::Request& request)
    {
        return mediaType (request.get_header_value ("Content-Type")) == formType;
    };

    http->Post ("/check_app_version/index.php", [isForm, this] (const httplib::Request& request, httplib::Response& response)
    {
        if (! isForm (request))
            return replyXml (response, unsupportedType(), 415);

        const auto form = FormDecoding::parse (request.body);
        replyXml (request, response, versions.answer (form.valueOf ("user_version")));
    });

    http->Post ("/authentication/index.php", [isForm, this] (const httplib::Request& request, httplib::Response& response)
    {
        if (! isForm (request))
            return replyXml (response, unsupportedType(), 415);

        replyXml (request, response, accounts.handle (FormDecoding::parse (request.body), request.remote_addr));
    });

    http->Post (scanPath, [isForm, this] (const httplib::Request& request, httplib::Response& response)
    {
        std::string email, password;
        std::optional<std::string_view> inventory;

        if (request.is_multipart_form_data())
        {
            // Parts are looked up in place: the inventory may be large.
            const auto part = [&request] (const char* name) -> const httplib::MultipartFormData*
            {
                const auto found = request.files.find (name);
                return found != request.files.end() ? &found->second : nullptr;
            };

            if (const auto* field = part ("email"))
                email = field->content;

            if (const auto* field = part ("password"))
                password = field->content;

            if (const auto* file = part ("userfile"))
                inventory = file->content;
        }
        else if (isForm (request))
        {
            const auto form = FormDecoding::parse (request.body);
            email = form.valueOf ("email");
            password = form.valueOf ("password");
        }
        else
        {
            return replyXml (response, Outcome::errors ("Unsupported Request",
                "The upload must be sent as multipart/form-data."), 415);
        }

        replyXml (request, response, scans.handle (email, password, inventory, request.remote_addr));
    });
}

int Server::bind (std::string& error)
{
    if (! http->is_valid())
    {
        error = "the TLS certificate or key could not be loaded";
        return -1;
    }

    if (! settings.tlsCertificate.empty())
        gate->tls = static_cast<SecureEngine&> (*http).ssl_context();

    return gate->bind (error);
}

void Server::run()
{
    gate->run();
}

void Server::stop()
{
    gate->stop();
}
