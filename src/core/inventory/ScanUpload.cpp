#include "core/inventory/ScanUpload.h"

#include "core/service/HttpExchange.h"
#include "core/service/ServiceRequests.h"

namespace ScanUpload
{
juce::URL buildRequest (const ServiceEndpoint& service, const juce::String& email, const juce::String& password,
                        const juce::File& inventoryFile)
{
    return service.makeUrl (ServiceEndpoint::scanPath)
               .withParameter ("email", email)
               .withParameter ("password", password)
               .withFileToUpload ("userfile", inventoryFile, "text/xml");
}

Result run (const SettingsStore& settings, const ServiceEndpoint& service, const ConnectionCheck& connection,
            const juce::File& inventoryFile, const std::function<bool()>& shouldAbort)
{
    Result result;

    const auto profile = settings.readProfile();
    const auto request = buildRequest (service, profile.email, profile.password, inventoryFile);

    if (! connection.checkQuietly (shouldAbort))
        return result;

    HttpExchange::Options options;
    options.timeoutMs = timeoutMs;
    options.totalTimeoutMs = totalTimeoutMs;
    options.maxBodyBytes = maxReplyBytes;
    options.shouldAbort = shouldAbort;

    const auto exchange = HttpExchange::perform (request, true, {}, options);
    result.reply = exchange.connected && ! exchange.truncated ? ServiceRequests::parseReply (exchange.body) : nullptr;

    if (result.reply == nullptr)
    {
        result.outcome = Outcome::noReply;
        return result;
    }

    result.updateListFile = settings.getMachineFile (SettingsStore::updateListSuffix);

    if (result.updateListFile != juce::File() && ! result.updateListFile.exists())
        result.updateListFile.create();

    result.outcome = SettingsStore::writeDocument (*result.reply, result.updateListFile) ? Outcome::stored
                                                                                        : Outcome::notStored;
    return result;
}
}
