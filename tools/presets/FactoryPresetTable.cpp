#include "tools/presets/FactoryPresetTable.h"

#include "processor/presets/PresetNames.h"
#include "processor/state/ParameterTable.h"

#include <cmath>
#include <cstdlib>

namespace
{
    bool parseNumber (const juce::String& text, float& value)
    {
        const auto trimmed = text.trim();
        if (trimmed.isEmpty())
            return false;
        char* end = nullptr;
        const auto parsed = std::strtod (trimmed.toRawUTF8(), &end);
        if (end == nullptr || *end != 0 || ! std::isfinite (parsed))
            return false;
        value = (float) parsed;
        return true;
    }

    bool parseSetting (const juce::String& setting, brisalto::FactoryPresetTable::Entry& entry, juce::String& error)
    {
        const auto name = setting.upToFirstOccurrenceOf ("=", false, false).trim();
        const int index = brisalto::ParameterTable::indexOfName (name.toRawUTF8());
        if (index < 0 || ! setting.containsChar ('='))
        {
            error = "unknown parameter \"" + name + "\"";
            return false;
        }
        float display = 0.0f;
        if (! parseNumber (setting.fromFirstOccurrenceOf ("=", false, false), display))
        {
            error = "no number for " + name;
            return false;
        }
        const float normalised = brisalto::ParameterTable::toNormalised (index, display);
        if (! (normalised >= 0.0f && normalised <= 1.0f))
        {
            error = name + " out of range";
            return false;
        }
        entry.normalised[(size_t) index] = normalised;
        return true;
    }
}

bool brisalto::FactoryPresetTable::parse (const juce::String& text, std::vector<Entry>& entries, juce::String& error)
{
    entries.clear();
    juce::StringArray lines;
    lines.addLines (text);

    for (int l = 0; l < lines.size(); ++l)
    {
        const auto line = lines[l].trim();
        if (line.isEmpty() || line.startsWithChar ('#'))
            continue;

        Entry entry;
        entry.name = line.upToFirstOccurrenceOf ("|", false, false).trim();
        for (int k = 0; k < NUM_PARAMETERS; ++k)
            entry.normalised[(size_t) k] = brisalto::ParameterTable::defaultValue (k);

        const auto fail = [&] (const juce::String& why)
        {
            error = "line " + juce::String (l + 1) + ": " + why;
            return false;
        };

        if (! line.containsChar ('|') || ! brisalto::presets::isAcceptableStem (entry.name)
            || entry.name.endsWith (brisalto::presets::localSuffix) || entry.name.containsChar (':'))
            return fail ("unusable preset name \"" + entry.name + "\"");
        for (const auto& other : entries)
            if (other.name == entry.name)
                return fail ("\"" + entry.name + "\" named twice");

        juce::StringArray settings;
        settings.addTokens (line.fromFirstOccurrenceOf ("|", false, false), ",", {});
        settings.removeEmptyStrings();
        for (const auto& setting : settings)
        {
            juce::String why;
            if (! parseSetting (setting, entry, why))
                return fail (why);
        }
        entries.push_back (std::move (entry));
    }

    if (entries.empty())
        error = "no presets in the table";
    return ! entries.empty();
}
