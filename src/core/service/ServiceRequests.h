#pragma once

#include "core/service/ServiceEndpoint.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <utility>
#include <vector>

/** Building and sending the form requests of the update service.

    Every request is complete in itself: a POST of form fields to one of the
    service's paths, answered by one XML document.
*/
namespace ServiceRequests
{
    using Fields = std::vector<std::pair<juce::String, juce::String>>;

    /** Form encoding of one name or value: its UTF-8 bytes, every byte other
        than an ASCII letter or digit or one of _ - . * ! ' ( ) written as "%"
        and two lower-case hex digits (so a space is "%20").
    */
    juce::String formEncode (const juce::String& text);

    /** name=value pairs, each encoded, joined by "&", in order. */
    juce::String encodeForm (const Fields& fields);

    /** A request is abandoned when the connection or the reply stalls this long... */
    inline constexpr int defaultTimeoutMs = 30000;
    /** ...and in any case after this long, so that a trickling server cannot
        hold the (blocked) user interface indefinitely. */
    inline constexpr int totalTimeoutMs = 60000;
    /** Replies to form requests are small documents; nothing larger is read. */
    inline constexpr size_t maxReplyBytes = 1024 * 1024;

    /** POSTs the fields form-encoded to one of the service's paths and parses
        the reply. The result is the reply's root element, owned by the caller,
        or nullptr when no XML element came back (no connection, an empty or
        non-XML body, a time-out, shouldAbort answering true). Blocks the
        calling thread (any thread); shouldAbort, when given, is polled from
        another thread while the request runs.
    */
    std::unique_ptr<juce::XmlElement> postForm (const ServiceEndpoint& service, const juce::String& path,
                                                const Fields& fields, int timeoutMs = defaultTimeoutMs,
                                                std::function<bool()> shouldAbort = {});

    /** Parses a reply body (guarded against hostile documents); nullptr when it is no XML element. */
    std::unique_ptr<juce::XmlElement> parseReply (const juce::MemoryBlock& body);
}
