#include "BundleResources.h"

#include <dlfcn.h>
#include <link.h>

namespace brisalto::platform::bundle
{
    namespace
    {
        const char* const resourcesName = "Resources";
        const char* const installedResources = "../share/brisalto/Resources";

        juce::File executable()
        {
            return juce::File ("/proc/self/exe").getLinkedTarget();
        }
    }

    juce::File resourcesFolderFor (Format format, const juce::File& binary)
    {
        const auto folder = binary.getParentDirectory();
        switch (format)
        {
            case Format::vst3: return folder.getParentDirectory().getChildFile (resourcesName);

            case Format::lv2: return folder.getChildFile (resourcesName);

            case Format::standalone:
            {
                const auto installed = folder.getChildFile (installedResources);
                return installed.isDirectory() ? installed : folder.getChildFile (resourcesName);
            }
        }
        return folder.getChildFile (resourcesName);
    }

    juce::File codeBinary()
    {
        // The loader's own record of the object holding this function: its name is the path the
        // library was opened with, and empty for the executable (whose name the loader knows only
        // as it was typed on the command line).
        Dl_info info {};
        link_map* object = nullptr;
        if (::dladdr1 (reinterpret_cast<const void*> (&codeBinary), &info, reinterpret_cast<void**> (&object), RTLD_DL_LINKMAP)
                != 0
            && object != nullptr && object->l_name != nullptr && object->l_name[0] != 0)
            return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (object->l_name));

        return executable();
    }

    juce::File resourcesFolder (Format format)
    {
        return resourcesFolderFor (format, format == Format::standalone ? executable() : codeBinary());
    }

    juce::File helpDocument (Format format)
    {
        return resourcesFolder (format).getChildFile ("BrisaltoHelp.pdf");
    }
}
