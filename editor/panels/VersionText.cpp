#include "editor/panels/VersionText.h"

#include "editor/panels/BuildStamp.h"

juce::String getVersionText()
{
    constexpr int versionParts[] = { 1, 15, 3 };
    juce::StringArray version;
    for (auto part : versionParts)
        version.add (juce::String (part));

    return "version " + version.joinIntoString (".") + " - " + BRISALTO_BUILD_DATE + " - " + BRISALTO_BUILD_TIME;
}
