#pragma once

#include "core/service/ConnectionCheck.h"
#include "core/settings/SettingsStore.h"

#include <functional>

/** The last phase of a scan: the inventory file goes to the update service
    with the account's e-mail address and password, and the service's answer,
    the update list, is stored whole in MachineName + "_CobaltlineList.xml",
    whatever its root.

    Runs on the scan's worker thread; it shows nothing itself.
*/
namespace ScanUpload
{
    enum class Outcome
    {
        notConnected,   // the quiet connection check failed: nothing was sent
        noReply,        // no XML element came back: the stored list is untouched
        stored,         // the reply was written to the update list file
        notStored       // a reply came, but the update list file could not be written
    };

    struct Result
    {
        Outcome outcome = Outcome::notConnected;
        std::unique_ptr<juce::XmlElement> reply;
        juce::File updateListFile;
    };

    /** The multipart POST: fields "email" and "password", then the file "userfile" as "text/xml". */
    juce::URL buildRequest (const ServiceEndpoint& service, const juce::String& email, const juce::String& password,
                            const juce::File& inventoryFile);

    /** How long the connection or the reply may stall before the service
        counts as gone, how long the whole upload may take, and the largest
        update list read.
    */
    inline constexpr int timeoutMs = 60000;
    inline constexpr int totalTimeoutMs = 5 * 60000;
    inline constexpr size_t maxReplyBytes = 64 * 1024 * 1024;

    /** Builds the request from the current profile (password deciphered),
        checks the connection quietly, sends it and stores the reply.
        shouldAbort is polled while waiting for the network and may be empty.
        Blocks the calling thread (any thread).
    */
    Result run (const SettingsStore& settings, const ServiceEndpoint& service, const ConnectionCheck& connection,
                const juce::File& inventoryFile, const std::function<bool()>& shouldAbort);
}
