// libFuzzer entry for the state-chunk reader and the JSON check: any bytes must read without a crash, a sanitizer
// finding or unbounded recursion; whatever is accepted must be in range and must survive a
// write and a second read unchanged.
#include "processor/state/StateChunkReader.h"
#include "processor/state/StateChunkWriter.h"
#include "platform/JsonText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace
{
    void require (bool condition, const char* what)
    {
        if (! condition)
        {
            std::fprintf (stderr, "state chunk invariant broken: %s\n", what);
            std::abort();
        }
    }

    bool inUnitRange (float v)
    {
        return std::isfinite (v) && v >= 0.0f && v <= 1.0f;
    }

    void checkRanges (const brisalto::StateChunkReader::Result& r)
    {
        require (r.trackNumber >= -1 && r.trackNumber <= 7, "trackNumber");
        require (r.groupNumber >= 0 && r.groupNumber <= 15, "groupNumber");
        require (r.grp_param_sync == 0 || r.grp_param_sync == 1, "grp_param_sync");
        require (r.mixMode >= 1 && r.mixMode <= 6, "mixMode");
        require (r.midiSideChan >= -1 && r.midiSideChan <= 15, "midiSideChan");
        require (r.inputFormat == 0 || r.inputFormat == 13 || r.inputFormat == 14, "inputFormat");
        require (r.pluginResizedW >= 0 && r.pluginResizedH >= 0, "editor size");
        if (r.midi)
        {
            require (r.midi->midi_receive_from_DAW == 0 || r.midi->midi_receive_from_DAW == 1, "midi_receive_from_DAW");
            require (r.midi->midi_progr_change_channel >= -1 && r.midi->midi_progr_change_channel <= 15,
                     "midi_progr_change_channel");
            require (r.midi->midi_progr_change_mode >= 0 && r.midi->midi_progr_change_mode <= 2, "midi_progr_change_mode");
        }
        for (const auto& v : r.params)
            require (! v || inUnitRange (*v), "parameter");
        for (const auto& w : r.channelWeights)
            require (! w || inUnitRange (*w), "weight");
    }

    brisalto::StateChunkWriter::Values valuesOf (const brisalto::StateChunkReader::Result& r)
    {
        brisalto::StateChunkWriter::Values v;
        v.trackNumber = r.trackNumber;
        v.groupNumber = r.groupNumber;
        v.grp_param_sync = r.grp_param_sync;
        v.mixMode = r.mixMode;
        v.midiSideChan = r.midiSideChan;
        v.inputFormat = r.inputFormat;
        v.currentUserPreset = r.currentUserPreset.value_or (juce::String());
        for (size_t i = 0; i < r.params.size(); ++i)
            v.params[i] = r.params[i].value_or (0.5f);
        v.withMidiKeys = r.midi.has_value();
        if (r.midi)
        {
            v.midi_receive_from_DAW = r.midi->midi_receive_from_DAW;
            v.midi_progr_change_channel = r.midi->midi_progr_change_channel;
            v.midi_progr_change_mode = r.midi->midi_progr_change_mode;
            v.midi_CC_receive_mode = r.midi->midi_CC_receive_mode;
        }
        v.pluginResizedW = r.pluginResizedW;
        v.pluginResizedH = r.pluginResizedH;
        for (size_t c = 0; c < r.channelWeights.size(); ++c)
            v.channel_weights[c] = r.channelWeights[c].value_or (1.0f);
        return v;
    }

    void checkRewrite (const brisalto::StateChunkReader::Result& first)
    {
        const auto text = brisalto::StateChunkWriter::toText (valuesOf (first));
        for (auto c : text)
            require (c == '\r' || c == '\n' || (c >= 32 && c < 127), "written text is printable ASCII");

        brisalto::StateChunkReader::Result second;
        const auto status =
            brisalto::StateChunkReader::read (text.toRawUTF8(), (int) text.getNumBytesAsUTF8(), first.midi.has_value(), second);
        require (status == brisalto::StateChunkReader::Status::ok, "own text reads back");

        require (second.trackNumber == first.trackNumber && second.groupNumber == first.groupNumber
                     && second.grp_param_sync == first.grp_param_sync && second.mixMode == first.mixMode
                     && second.midiSideChan == first.midiSideChan && second.inputFormat == first.inputFormat
                     && second.pluginResizedW == first.pluginResizedW && second.pluginResizedH == first.pluginResizedH,
                 "header survives");
        if (first.currentUserPreset)
            require (second.currentUserPreset == first.currentUserPreset, "preset name survives");
        for (size_t i = 0; i < first.params.size(); ++i)
            require (*second.params[i] == first.params[i].value_or (0.5f), "parameter survives");
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const int clippedSize = (int) std::min (size, (size_t) std::numeric_limits<int>::max());

    for (const bool withMidi : { true, false })
    {
        brisalto::StateChunkReader::Result result;
        if (brisalto::StateChunkReader::read (data, clippedSize, withMidi, result) == brisalto::StateChunkReader::Status::ok)
        {
            require (result.midi.has_value() == withMidi, "MIDI keys read when asked");
            checkRanges (result);
            checkRewrite (result);
        }
    }

    // The shared check and parse on their own, as the user-defaults file takes them.
    juce::var parsed;
    auto check = brisalto::platform::json::Check::ok;
    brisalto::platform::json::parse (reinterpret_cast<const char*> (data), size, parsed, check);

    // The decoding helpers on their own.
    const auto text = brisalto::StateChunkReader::decodeText (reinterpret_cast<const char*> (data), size);
    const auto joined = brisalto::StateChunkReader::joinSurrogates (text);
    require (joined.length() <= text.length(), "joining never lengthens");
    return 0;
}
