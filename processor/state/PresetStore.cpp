#include "processor/PluginProcessor.h"

#include "platform/CloudDocuments.h"
#include "platform/Folders.h"

juce::File BrisaltoAudioProcessor::getPresetDir (int local)
{
    if (local == 0 && mICloudContainerPath.size() >= 2)
        return juce::File (juce::String (juce::CharPointer_UTF8 (mICloudContainerPath.c_str())));

    if (local != 0 || mICloudEnabled == 0)
        return platform::folders::localPresetFolder();

    // The document store is in use but its container is not known yet.
    const auto path = platform::CloudDocuments::standard().mobileDocumentsPath();
    if (path.isEmpty() || ! juce::File::isAbsolutePath (path))
        return {};
    const juce::File folder (path);
    if (! folder.isDirectory())
        folder.createDirectory();
    return folder;
}

int BrisaltoAudioProcessor::getUserPresetIndx (const juce::String& name)
{
    int position = 0;
    for (const auto& entry : mUserPresetNames)
    {
        if (entry == name)
            return position;
        ++position;
    }
    return -1;
}
