// Writes the factory preset files from their table: for each preset it sets the 30 parameters
// of a processor and saves the processor's state, so every file is a state chunk the plug-in
// reads. Files of the output folder that the table no longer names are removed.
//
//     brisalto-factory-presets <table> <output folder>

#include "processor/PluginProcessor.h"
#include "tools/presets/FactoryPresetTable.h"

#include <cstdio>
#include <cstdlib>

namespace
{
    // The processor starts from a state of its own: no user defaults, default preset or sync
    // folder of the person running the tool may leak into the files.
    struct IsolatedFolders
    {
        IsolatedFolders()
            : root (juce::File::createTempFile ("brisalto-factory"))
        {
            root.createDirectory();
            ::setenv ("XDG_CONFIG_HOME", root.getChildFile ("config").getFullPathName().toRawUTF8(), 1);
            ::setenv ("XDG_DATA_HOME", root.getChildFile ("data").getFullPathName().toRawUTF8(), 1);
            ::setenv ("BRISALTO_SYNC_ROOT", "", 1);
        }
        ~IsolatedFolders() { root.deleteRecursively(); }
        juce::File root;
    };

    int fail (const juce::String& message)
    {
        std::fprintf (stderr, "brisalto-factory-presets: %s\n", message.toRawUTF8());
        return 1;
    }

    void removeFilesNotIn (const juce::File& folder, const std::vector<brisalto::FactoryPresetTable::Entry>& entries)
    {
        for (const auto& file : folder.findChildFiles (juce::File::findFiles, false, "*.json"))
        {
            bool named = false;
            for (const auto& entry : entries)
                named = named || file.getFileNameWithoutExtension() == entry.name;
            if (! named)
                file.deleteFile();
        }
    }
}

int main (int argc, char** argv)
{
    if (argc != 3)
        return fail ("usage: brisalto-factory-presets <table> <output folder>");

    const auto cwd = juce::File::getCurrentWorkingDirectory();
    const auto table = cwd.getChildFile (juce::String::fromUTF8 (argv[1]));
    const auto out = cwd.getChildFile (juce::String::fromUTF8 (argv[2]));

    std::vector<brisalto::FactoryPresetTable::Entry> entries;
    juce::String error;
    if (! brisalto::FactoryPresetTable::parse (table.loadFileAsString(), entries, error))
        return fail (table.getFullPathName() + ": " + error);
    if (! out.isDirectory() && ! out.createDirectory())
        return fail ("cannot create " + out.getFullPathName());

    IsolatedFolders folders;
    juce::ScopedJuceInitialiser_GUI juce;
    int status = 0;
    {
        BrisaltoAudioProcessor processor;
        for (const auto& entry : entries)
        {
            for (int k = 0; k < NUM_PARAMETERS; ++k)
                processor.setParameter (k, entry.normalised[(size_t) k]);

            juce::MemoryBlock state;
            processor.getStateInformation (state);
            const auto file = out.getChildFile (entry.name + ".json");
            if (! file.replaceWithData (state.getData(), state.getSize()))
                status = fail ("cannot write " + file.getFullPathName());
        }
    }
    removeFilesNotIn (out, entries);
    return status;
}
