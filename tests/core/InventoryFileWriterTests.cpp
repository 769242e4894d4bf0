#include "core/inventory/InventoryFileWriter.h"
#include "core/settings/SettingsStore.h"

#include "../support/TestSupport.h"

#include <gtest/gtest.h>

namespace
{
    juce::String randomText (juce::Random& rng)
    {
        static const juce::juce_wchar pool[] = { 'a', 'Z', '0', ' ', '.', '&', '<', '>', '"', '\'', '\\', '/', ':',
                                                 '\r', '\n', '\t', 0xe9, 0x80, 0x20ac, 0x1f600, 0x3042 };
        juce::String text;
        const auto length = rng.nextInt (rng.nextBool() ? 8 : 90);

        for (int i = 0; i < length; ++i)
            text += juce::String::charToString (pool[rng.nextInt ((int) std::size (pool))]);

        return text;
    }

    std::unique_ptr<juce::XmlElement> randomElement (juce::Random& rng, const juce::String& tag, int maxAttributes)
    {
        auto element = std::make_unique<juce::XmlElement> (tag);
        const auto count = rng.nextInt (maxAttributes + 1);

        for (int i = 0; i < count; ++i)
            element->setAttribute ("Attribute" + juce::String (i), randomText (rng));

        return element;
    }
}

TEST (InventoryFileWriter, WritesExactlyWhatJucesWriterWrites)
{
    TempFolder temp;
    const auto expectedFile = temp["expected.xml"];
    const auto writtenFile = temp["written.xml"];

    for (int seed = 0; seed < 60; ++seed)
    {
        juce::Random rng (seed);
        auto root = randomElement (rng, "MachineProfile", 16);
        const auto numStartChildren = rng.nextInt (3);

        for (int i = 0; i < numStartChildren; ++i)
            root->addChildElement (randomElement (rng, "Plugin", 6).release());

        InventoryFileWriter writer (*root);

        for (int batch = 0; batch < 3; ++batch)
        {
            const auto numNew = rng.nextInt (4);

            for (int i = 0; i < numNew; ++i)
            {
                auto child = randomElement (rng, i % 2 == 0 ? "Plugin" : "P", 6);
                writer.append (*child);
                root->addChildElement (child.release());
            }

            ASSERT_TRUE (SettingsStore::writeDocument (*root, expectedFile));
            ASSERT_TRUE (writer.writeTo (writtenFile));
            ASSERT_EQ (readBytes (writtenFile), readBytes (expectedFile)) << "seed " << seed << ", batch " << batch;
        }
    }
}

TEST (InventoryFileWriter, FailsWithoutAFolderToWriteInto)
{
    TempFolder temp;
    juce::XmlElement root ("MachineProfile");
    InventoryFileWriter writer (root);
    EXPECT_FALSE (writer.writeTo (temp["missing/inventory.xml"]));
}
