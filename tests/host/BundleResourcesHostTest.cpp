// Each built format carries the help document where the plug-in looks for it.

#include "HostTestSupport.h"

#include "platform/BundleResources.h"

#include <string>

namespace brisalto::host::test
{
    namespace
    {

        TEST (BundleResourcesHost, EachBuiltFormatCarriesTheHelpDocument)
        {
            using brisalto::platform::bundle::Format;
            const std::pair<Format, juce::File> rows[] = {
                { Format::vst3, juce::File (BRISALTO_VST3_BINARY_DIR).getChildFile ("Brisalto.so") },
                { Format::lv2, juce::File (BRISALTO_LV2_BUNDLE).getChildFile ("libBrisalto.so") },
                { Format::standalone, juce::File (BRISALTO_STANDALONE) },
            };
            for (const auto& [format, binary] : rows)
            {
                SCOPED_TRACE (binary.getFullPathName());
                const auto help =
                    brisalto::platform::bundle::resourcesFolderFor (format, binary).getChildFile ("BrisaltoHelp.pdf");
                juce::MemoryBlock data;
                ASSERT_TRUE (help.loadFileAsData (data)) << help.getFullPathName();
                const std::string bytes ((const char*) data.getData(), data.getSize());

                // A PDF whose cross-reference table is at the byte offset its trailer gives.
                EXPECT_EQ (bytes.rfind ("%PDF-1.4", 0), 0u);
                EXPECT_EQ (bytes.substr (bytes.size() - 6), "%%EOF\n");
                const auto trailer = bytes.rfind ("startxref\n");
                ASSERT_NE (trailer, std::string::npos);
                const auto xref = std::stoul (bytes.substr (trailer + 10));
                EXPECT_EQ (bytes.compare (xref, 4, "xref"), 0) << xref;
            }
        }

    }  // namespace
}  // namespace brisalto::host::test
