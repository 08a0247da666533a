// A fresh instance starts from the default preset: the one in the cloud sync folder when one
// is named, else the local one.

#include "HostTestSupport.h"

#include <cstdlib>

namespace brisalto::host::test
{
namespace
{

class PresetHostTest : public EachFormat
{
protected:
    ~PresetHostTest() override
    {
        ::setenv ("BRISALTO_SYNC_ROOT", "", 1);
        localDefault.deleteFile();
        syncRoot.deleteRecursively();
    }

    static void writeDefault (const juce::File& file, float threshold)
    {
        ASSERT_TRUE (file.getParentDirectory().createDirectory());
        ASSERT_TRUE (file.replaceWithText ("{ \"Threshold\": " + juce::String (threshold) + " }"));
    }

    float freshThreshold()
    {
        auto plugin = loadFresh (format());
        EXPECT_NE (plugin, nullptr);
        if (plugin == nullptr)
            return -1.0f;
        auto* threshold = findParameter (*plugin, "Threshold");
        return threshold != nullptr ? threshold->getValue() : -1.0f;
    }

    juce::File localDefault = juce::File (juce::String::fromUTF8 (std::getenv ("XDG_DATA_HOME")))
                                  .getChildFile ("Brisalto/userPresets/BrisaltoDefault.json");
    juce::File syncRoot = juce::File::createTempFile ("brisalto-sync");
};

TEST_P (PresetHostTest, FreshInstanceStartsFromTheDefaultPresetInUse)
{
    ASSERT_NE (std::getenv ("XDG_DATA_HOME"), nullptr);
    writeDefault (localDefault, 0.25f);
    writeDefault (syncRoot.getChildFile ("Kestrom Brisalto/Documents/BrisaltoDefault.json"), 0.5f);

    ::setenv ("BRISALTO_SYNC_ROOT", "", 1);
    EXPECT_NEAR (freshThreshold(), 0.25f, 1.0e-5f);

    ::setenv ("BRISALTO_SYNC_ROOT", syncRoot.getFullPathName().toRawUTF8(), 1);
    EXPECT_NEAR (freshThreshold(), 0.5f, 1.0e-5f);
    sharedHost().pumpMessages (50);
}

BRISALTO_FOR_EACH_FORMAT (PresetHostTest);

} // namespace
} // namespace brisalto::host::test
