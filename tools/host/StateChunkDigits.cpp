#include "StateChunkDigits.h"

namespace brisalto::host
{
    namespace
    {
        juce::Result rewriteDigits (juce::MemoryBlock& chunk, const std::vector<std::pair<const char*, int>>& keys)
        {
            auto text = chunk.toString();
            for (const auto& [key, digit] : keys)
            {
                const juce::String pattern = "\"" + juce::String (key) + "\": ";
                const int at = text.indexOf (pattern);
                if (at < 0)
                    return juce::Result::fail (juce::String ("no ") + key + " in the state chunk");
                const int digitAt = at + pattern.length();
                if (! juce::CharacterFunctions::isDigit (text[digitAt]) || digit < 0 || digit > 9)
                    return juce::Result::fail (juce::String (key) + " is not one digit");
                static_cast<char*> (chunk.getData())[text.substring (0, digitAt).getNumBytesAsUTF8()] = (char) ('0' + digit);
                text = chunk.toString();
            }
            return juce::Result::ok();
        }

        // A VST3 wrapper keeps the chunk base64-encoded in the IComponent element of its XML.
        juce::Result rewriteVst3State (juce::AudioPluginInstance& plugin, juce::XmlElement& xml,
                                       const std::vector<std::pair<const char*, int>>& keys)
        {
            auto* component = xml.getChildByName ("IComponent");
            juce::MemoryBlock chunk;
            if (component == nullptr || ! chunk.fromBase64Encoding (component->getAllSubText()))
                return juce::Result::fail ("no component state in the VST3 state");
            if (auto result = rewriteDigits (chunk, keys); result.failed())
                return result;
            component->deleteAllTextElements();
            component->addTextElement (chunk.toBase64Encoding());
            juce::MemoryBlock out;
            juce::AudioProcessor::copyXmlToBinary (xml, out);
            plugin.setStateInformation (out.getData(), (int) out.getSize());
            return juce::Result::ok();
        }

        // An LV2 state carries the chunk base64-encoded after the StateString key.
        juce::Result rewriteLv2State (juce::AudioPluginInstance& plugin, const juce::MemoryBlock& state,
                                      const std::vector<std::pair<const char*, int>>& keys)
        {
            auto text = state.toString();
            const juce::String marker = "StateString> \"";
            const int start = text.indexOf (marker);
            if (start < 0)
                return juce::Result::fail ("no state string in the LV2 state");
            const int tokenStart = start + marker.length();
            const int tokenEnd = text.indexOf (tokenStart, "\"");
            juce::MemoryBlock chunk;
            if (tokenEnd < 0 || ! chunk.fromBase64Encoding (text.substring (tokenStart, tokenEnd)))
                return juce::Result::fail ("the LV2 state string is not base64");
            if (auto result = rewriteDigits (chunk, keys); result.failed())
                return result;
            text = text.substring (0, tokenStart) + chunk.toBase64Encoding() + text.substring (tokenEnd);
            plugin.setStateInformation (text.toRawUTF8(), (int) text.getNumBytesAsUTF8());
            return juce::Result::ok();
        }
    }

    juce::Result setStateDigits (juce::AudioPluginInstance& plugin, const std::vector<std::pair<const char*, int>>& keys)
    {
        juce::MemoryBlock state;
        plugin.getStateInformation (state);

        if (auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize()))
            return rewriteVst3State (plugin, *xml, keys);
        return rewriteLv2State (plugin, state, keys);
    }

}  // namespace brisalto::host
