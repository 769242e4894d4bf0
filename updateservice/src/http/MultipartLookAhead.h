#pragma once

#include <string>
#include <string_view>

/**
    Looks into the start of a multipart/form-data body while it is still
    arriving, for the log-in parts that come before the inventory file.
    The application sends e-mail, password, then the file ("userfile"), so
    a large upload can be checked against the account before its file is
    read.

    Pure; may be used from any thread.
*/
class MultipartLookAhead
{
public:
    struct Credentials
    {
        enum class Found
        {
            notYet,          ///< the body so far ends before the file part begins
            notBeforeFile,   ///< the file part, or the end, came without both log-in parts first
            found            ///< e-mail and password both came before the file
        };

        Found found = Found::notYet;
        std::string email, password;
    };

    /** The boundary parameter of a multipart/form-data Content-Type, or
        "" for any other type or when it has none. */
    static std::string boundaryOf (const std::string& contentType);

    /** Reads the parts of `body` (the start of a multipart body) that come
        before the inventory file. The first "email" and the first
        "password" part count. */
    static Credentials credentialsBeforeFile (std::string_view body, const std::string& boundary);
};
