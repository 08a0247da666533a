#include "StateChunkEdit.h"

#include "StateChunkDigits.h"

#include <gtest/gtest.h>

namespace brisalto::host::test
{

    void setStateDigits (juce::AudioPluginInstance& plugin, const std::vector<std::pair<const char*, int>>& keys)
    {
        const auto result = host::setStateDigits (plugin, keys);
        ASSERT_TRUE (result.wasOk()) << result.getErrorMessage();
    }

}  // namespace brisalto::host::test
