#pragma once

#include "domain/Outcome.h"

#include <string>

/**
    Writes outcomes as the reply documents the application reads. Every
    tag and attribute name of the protocol, and the order of the
    attributes, is laid down here and nowhere else:

        errors      <Errors ErrorTitle ErrorText/>
        success     <Success SuccessTitle SuccessText/>
        profile     <Profile FirstName LastName IsDeveloper UserId/>
        current     <Current/>
        version     <Version VersionTitle VersionText VersionURL/>
        updateList  <UpdateList> with one <Plugin Name Vendor Format
                    InstalledVersion CurrentVersion Website/> per row

    Pure; may be called from any thread. Values are escaped by XmlReply, so
    any text gives a document that parses.
*/
class ReplyRenderer
{
public:
    /** The whole reply: XML declaration and root element. */
    static std::string render (const Outcome& outcome);
};
