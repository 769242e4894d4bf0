#include "inventory/ScanUpload.h"

#include "service/HttpExchange.h"
#include "service/ServiceEndpoint.h"
#include "service/ServiceRequests.h"

namespace ScanUpload
{
juce::URL buildRequest (const juce::String& email, const juce::String& password, const juce::File& inventoryFile)
{
    return ServiceEndpoint::makeUrl (ServiceEndpoint::scanPath)
               .withParameter ("email", email)
               .withParameter ("password", password)
               .withFileToUpload ("userfile", inventoryFile, "text/xml");
}

Result run (const SettingsStore& settings, const PasswordCipher& cipher, ConnectionCheck& connection,
            const juce::File& inventoryFile, const std::function<bool()>& shouldAbort)
{
    Result result;

    const auto profile = settings.loadProfile();
    const auto request = buildRequest (profile->getStringAttribute ("Email"),
                                       cipher.decipherPassword (profile->getStringAttribute ("Password")),
                                       inventoryFile);

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

    if (! result.updateListFile.exists())
        result.updateListFile.create();

    SettingsStore::writeDocument (*result.reply, result.updateListFile);
    result.outcome = Outcome::stored;
    return result;
}
}
