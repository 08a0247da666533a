#include "StateChunkEdit.h"

#include <gtest/gtest.h>

namespace brisalto::host::test
{

void setStateDigits (juce::AudioPluginInstance& plugin, const std::vector<std::pair<const char*, int>>& keys)
{
    juce::MemoryBlock state;
    plugin.getStateInformation (state);

    const auto rewrite = [&] (juce::MemoryBlock& chunk)
    {
        auto text = chunk.toString();
        for (const auto& [key, digit] : keys)
        {
            const juce::String pattern = "\"" + juce::String (key) + "\": ";
            const int at = text.indexOf (pattern);
            ASSERT_GE (at, 0) << key;
            const int digitAt = at + pattern.length();
            ASSERT_TRUE (juce::CharacterFunctions::isDigit (text[digitAt])) << key;
            static_cast<char*> (chunk.getData())[text.substring (0, digitAt).getNumBytesAsUTF8()] = (char) ('0' + digit);
            text = chunk.toString();
        }
    };

    if (auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize()))
    {
        auto* component = xml->getChildByName ("IComponent");
        ASSERT_NE (component, nullptr);
        juce::MemoryBlock chunk;
        ASSERT_TRUE (chunk.fromBase64Encoding (component->getAllSubText()));
        rewrite (chunk);
        component->deleteAllTextElements();
        component->addTextElement (chunk.toBase64Encoding());
        juce::MemoryBlock out;
        juce::AudioProcessor::copyXmlToBinary (*xml, out);
        plugin.setStateInformation (out.getData(), (int) out.getSize());
        return;
    }

    auto text = state.toString();
    const juce::String marker = "StateString> \"";
    const int start = text.indexOf (marker);
    ASSERT_GE (start, 0);
    const int tokenStart = start + marker.length();
    const int tokenEnd = text.indexOf (tokenStart, "\"");
    juce::MemoryBlock chunk;
    ASSERT_TRUE (chunk.fromBase64Encoding (text.substring (tokenStart, tokenEnd)));
    rewrite (chunk);
    text = text.substring (0, tokenStart) + chunk.toBase64Encoding() + text.substring (tokenEnd);
    plugin.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
}

} // namespace brisalto::host::test
