#include "Server.h"

#include "FormDecoding.h"
#include "ReplyRenderer.h"

#include <httplib.h>

#include <sys/socket.h>

#include <iostream>
#include <mutex>

namespace
{
    // httplib listens with a backlog of 5; when many clients connect at
    // once, the connections beyond that are dropped by the kernel and the
    // clients see resets. Listening again on the bound socket widens the
    // queue.
    template <typename Base>
    class WideBacklog : public Base
    {
    public:
        using Base::Base;

        void widenBacklog()
        {
            ::listen (this->svr_sock_, SOMAXCONN);
        }
    };

    using PlainServer = WideBacklog<httplib::Server>;
    using SecureServer = WideBacklog<httplib::SSLServer>;

    constexpr const char* xmlType = "text/xml; charset=UTF-8";

    // Multipart framing (boundaries, part headers, the two form fields)
    // adds a little to the inventory file itself.
    constexpr std::size_t multipartAllowance = 64u * 1024u;

    std::string htmlPage (const std::string& title, const std::string& paragraph)
    {
        return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head>\n"
               "<body><p>" + paragraph + "</p></body></html>\n";
    }

    const std::string checkConnectPage = htmlPage ("Cobaltline", "The Cobaltline update service is reachable.");

    // The stand-in's answers to the two pages the application links to, so
    // that no link of a development build points at a host that does not exist.
    const std::string reportPage = htmlPage ("Cobaltline - Report Issues",
        "This is the stand-in for the page where Cobaltline users report problems.");
    const std::string sponsorPage = htmlPage ("Harbor Audio Supply",
        "This is the stand-in for the sponsor's shop: 10% off plug-in bundles for Cobaltline users.");

    std::mutex logLock;

    void logLine (const std::string& line)
    {
        const std::lock_guard<std::mutex> guard (logLock);
        std::cerr << line << std::endl;
    }

    void failureLine (const httplib::Request& request, const std::string& what)
    {
        logLine ("error: " + request.method + " " + request.path + ": " + what);
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

    Outcome tooLarge (std::size_t limit)
    {
        return Outcome::errors ("Request Too Large", "The request is larger than the service accepts ("
                                + std::to_string (limit / 1024) + " KiB).");
    }

    Outcome serviceError()
    {
        return Outcome::errors ("Service Error",
                                "The service could not complete the request. Please try again later.");
    }
}

Server::Server (Settings serverSettings, Accounts& accountHandler, ScanHandler& scanHandler,
                const VersionCheck& versionCheck)
    : settings (std::move (serverSettings)), accounts (accountHandler), scans (scanHandler), versions (versionCheck)
{
    if (settings.tlsCertificate.empty())
        http = std::make_unique<PlainServer>();
    else
        http = std::make_unique<SecureServer> (settings.tlsCertificate.c_str(), settings.tlsKey.c_str());

    const auto threads = settings.threads;
    // httplib takes ownership of the queue it is handed.
    http->new_task_queue = [threads] { return new httplib::ThreadPool (threads); };

    http->set_payload_max_length (settings.maxInventoryBytes + multipartAllowance);
    http->set_read_timeout (30, 0);
    http->set_write_timeout (30, 0);
    http->set_keep_alive_timeout (5);

    addRoutes();
}

Server::~Server() = default;

std::size_t Server::bodyLimitFor (const std::string& path) const
{
    return path == "/scan/index.php" ? settings.maxInventoryBytes + multipartAllowance
                                     : settings.maxFormBytes;
}

void Server::addRoutes()
{
    // Requests with a declared length above the path's limit are refused
    // before their body is read.
    http->set_pre_routing_handler ([this] (const httplib::Request& request, httplib::Response& response)
    {
        const auto limit = bodyLimitFor (request.path);

        if (request.method == "POST" && ! request.has_header ("Content-Length"))
        {
            // A chunked body would be collected whole, however large, before
            // any limit could be applied. The application always declares
            // the length.
            response.set_header ("Connection", "close");
            replyXml (response, Outcome::errors ("Length Required",
                                                 "The request must declare its length (Content-Length)."), 411);
            return httplib::Server::HandlerResponse::Handled;
        }

        if (request.has_header ("Content-Length")
            && request.get_header_value<std::uint64_t> ("Content-Length") > limit)
        {
            // The body is left unread, so the connection cannot carry
            // another request.
            response.set_header ("Connection", "close");
            replyXml (response, tooLarge (limit), 413);
            return httplib::Server::HandlerResponse::Handled;
        }

        return httplib::Server::HandlerResponse::Unhandled;
    });

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

    if (settings.logRequests)
    {
        http->set_logger ([] (const httplib::Request& request, const httplib::Response& response)
        {
            logLine (request.method + " " + request.path + " " + std::to_string (response.status)
                     + " " + std::to_string (response.body.size()));
        });
    }

    for (const auto& [path, page] : { std::pair { "/checkconnect/index.html", &checkConnectPage },
                                      std::pair { "/betareport", &reportPage },
                                      std::pair { "/sponsor", &sponsorPage } })
    {
        http->Get (path, [content = page] (const httplib::Request&, httplib::Response& response)
        {
            response.set_content (*content, "text/html; charset=UTF-8");
        });
    }

    http->Post ("/check_app_version/index.php", [this] (const httplib::Request& request, httplib::Response& response)
    {
        if (request.body.size() > settings.maxFormBytes)
            return replyXml (response, tooLarge (settings.maxFormBytes), 413);

        const auto form = FormDecoding::parse (request.body);
        replyXml (request, response, versions.answer (form.valueOf ("user_version")));
    });

    http->Post ("/authentication/index.php", [this] (const httplib::Request& request, httplib::Response& response)
    {
        if (request.body.size() > settings.maxFormBytes)
            return replyXml (response, tooLarge (settings.maxFormBytes), 413);

        replyXml (request, response, accounts.handle (FormDecoding::parse (request.body), request.remote_addr));
    });

    http->Post ("/scan/index.php", [this] (const httplib::Request& request, httplib::Response& response)
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
        else
        {
            const auto form = FormDecoding::parse (request.body);
            email = form.valueOf ("email");
            password = form.valueOf ("password");
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

    const auto port = settings.port == 0 ? http->bind_to_any_port (settings.host)
                                         : (http->bind_to_port (settings.host, settings.port) ? settings.port : -1);

    if (port < 0)
    {
        error = "cannot listen on " + settings.host + ":" + std::to_string (settings.port);
        return port;
    }

    if (settings.tlsCertificate.empty())
        static_cast<PlainServer&> (*http).widenBacklog();
    else
        static_cast<SecureServer&> (*http).widenBacklog();

    return port;
}

void Server::run()
{
    http->listen_after_bind();
}

void Server::stop()
{
    http->stop();
}
