#include "http/MultipartLookAhead.h"

#include "http/Common.h"

namespace
{
    using front::asciiLower;
    using front::trimmed;

    // The name parameter of a part's Content-Disposition header.
    std::string partName (const std::string& partHeaders)
    {
        const auto lower = asciiLower (partHeaders);
        const auto header = lower.find ("content-disposition:");

        if (header == std::string::npos)
            return {};

        const auto lineEnd = lower.find ("\r\n", header);
        const auto line = partHeaders.substr (header, lineEnd == std::string::npos ? std::string::npos : lineEnd - header);

        for (auto start = line.find (';'); start != std::string::npos; start = line.find (';', start + 1))
        {
            const auto end = line.find (';', start + 1);
            const auto parameter = trimmed (line.substr (start + 1, end == std::string::npos ? std::string::npos
                                                                                             : end - start - 1));

            if (asciiLower (parameter.substr (0, 5)) == "name=")
            {
                auto value = parameter.substr (5);

                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr (1, value.size() - 2);

                return value;
            }
        }

        return {};
    }
}

std::string MultipartLookAhead::boundaryOf (const std::string& contentType)
{
    if (front::mediaType (contentType) != "multipart/form-data")
        return {};

    const auto at = asciiLower (contentType).find ("boundary=");

    if (at == std::string::npos)
        return {};

    const auto end = contentType.find (';', at);
    auto boundary = trimmed (contentType.substr (at + 9, end == std::string::npos ? std::string::npos : end - at - 9));

    if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
        boundary = boundary.substr (1, boundary.size() - 2);

    return boundary;
}

MultipartLookAhead::Credentials MultipartLookAhead::credentialsBeforeFile (std::string_view body, const std::string& boundary)
{
    Credentials result;
    const auto delimiter = "--" + boundary;
    auto at = body.find (delimiter);
    bool sawEmail = false, sawPassword = false;

    while (at != std::string::npos)
    {
        const auto partStart = at + delimiter.size();

        if (body.size() < partStart + 2)
            return result;

        if (body.compare (partStart, 2, "--") == 0)
            break;

        const auto headersEnd = body.find ("\r\n\r\n", partStart);

        if (headersEnd == std::string::npos)
            return result;

        const auto name = partName (std::string (body.substr (partStart, headersEnd - partStart)));

        if (name == "userfile")
        {
            result.found = sawEmail && sawPassword ? Credentials::Found::found : Credentials::Found::notBeforeFile;
            return result;
        }

        const auto contentStart = headersEnd + 4;
        const auto contentEnd = body.find (std::string ("\r\n") + delimiter, contentStart);

        if (contentEnd == std::string::npos)
            return result;

        const auto content = std::string (body.substr (contentStart, contentEnd - contentStart));

        if (name == "email" && ! sawEmail)
        {
            result.email = content;
            sawEmail = true;
        }
        else if (name == "password" && ! sawPassword)
        {
            result.password = content;
            sawPassword = true;
        }

        at = contentEnd + 2;
    }

    result.found = Credentials::Found::notBeforeFile;
    return result;
}
