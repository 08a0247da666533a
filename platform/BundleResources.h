#pragma once

#include <juce_core/juce_core.h>

// Where the files shipped with the plug-in (the help document among them) lie on Linux: a
// folder named "Resources" whose place depends on the format the code was loaded as.
namespace brisalto::platform::bundle
{
    enum class Format
    {
        vst3,       // <name>.vst3/Contents/<arch>-linux/<name>.so, resources in Contents/Resources
        lv2,        // <name>.lv2/<name>.so, resources in <name>.lv2/Resources
        standalone  // an executable: Resources beside it, or ../share/brisalto/Resources once installed
    };

    // The resources folder for code of the given format loaded from `binary` (the plug-in's
    // shared library, or the Standalone's executable). It need not exist.
    juce::File resourcesFolderFor (Format, const juce::File& binary);

    // The resources folder of the running plug-in: its shared library found with dladdr, or
    // the Standalone's executable from /proc/self/exe. Neither depends on how the host was
    // started or on its working folder.
    juce::File resourcesFolder (Format);

    // The file holding this code: the shared library it was loaded from, or the executable.
    juce::File codeBinary();

    // The help document inside the running plug-in's resources folder ("BrisaltoHelp.pdf").
    juce::File helpDocument (Format);
}
