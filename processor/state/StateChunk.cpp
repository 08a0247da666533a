#include "processor/PluginProcessor.h"
#include "processor/state/StateChunkReader.h"
#include "processor/state/StateChunkWriter.h"

#include "platform/Log.h"

namespace
{
    brisalto::StateChunkWriter::Values stateValuesOf (BrisaltoAudioProcessor& p)
    {
        brisalto::StateChunkWriter::Values values;
        values.trackNumber = p.trackNumber;
        values.groupNumber = p.groupNumber;
        values.grp_param_sync = p.grp_param_sync;
        values.mixMode = p.mixMode;
        values.midiSideChan = p.midiSideChan;
        values.currentUserPreset = p.getCurrentUserPreset();
        values.inputFormat = p.inputFormat;
        for (int i = 0; i < NUM_PARAMETERS; ++i)
            values.params[i] = p.mParams[i];

        values.withMidiKeys = p.wrapperType != juce::AudioProcessor::wrapperType_Standalone;
        values.midi_progr_change_channel = p.midi_progr_change_channel;
        values.midi_progr_change_mode = p.midi_progr_change_mode;
        values.midi_CC_receive_mode = p.midi_CC_receive_mode;
        values.midi_receive_from_DAW = p.midi_receive_from_DAW;

        values.pluginResizedW = p.pluginResizedW;
        values.pluginResizedH = p.pluginResizedH;
        for (int c = 0; c < MAX_CHANNELS; ++c)
            values.channel_weights[c] = p.channel_weights[c];

        const int program = p.mCurrentProgram;
        values.currentProgram = program < p.getNumPrograms() ? program : -1;
        return values;
    }

    void writeText (const brisalto::StateChunkWriter::Values& values, juce::MemoryBlock& destData)
    {
        // The text is pure ASCII: its UTF-8 bytes are its characters. The block holds the chunk alone.
        const auto text = brisalto::StateChunkWriter::toText (values);
        destData.replaceAll (text.toRawUTF8(), text.getNumBytesAsUTF8());
    }
}

void BrisaltoAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    writeText (stateValuesOf (*this), destData);
}

void BrisaltoAudioProcessor::getStateInformationWith (const float (&values)[NUM_PARAMETERS], const juce::String& presetName,
                                                      juce::MemoryBlock& destData)
{
    auto state = stateValuesOf (*this);
    state.currentUserPreset = presetName;
    state.currentProgram = -1;  // values of the caller's, not of the current program
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        state.params[i] = brisalto::ParameterTable::sanitise (i, values[i]);
    writeText (state, destData);
}

void BrisaltoAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    applyStateChunk (data, sizeInBytes, ValuesOrigin::hostRestore);
}

bool BrisaltoAudioProcessor::applyStateChunk (const void* data, int sizeInBytes, ValuesOrigin origin)
{
    const bool standalone = wrapperType == wrapperType_Standalone;

    brisalto::StateChunkReader::Result chunk;
    const auto status = brisalto::StateChunkReader::read (data, sizeInBytes, ! standalone, chunk);
    if (status != brisalto::StateChunkReader::Status::ok)
    {
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto setStateInformation : state of %d bytes ignored (%s)  !!!!!!", sizeInBytes,
                                        brisalto::StateChunkReader::describe (status));
        return false;
    }

    mParamNotifyGate = 0;

    trackNumber = chunk.trackNumber;
    groupNumber = chunk.groupNumber;
    grp_param_sync = chunk.grp_param_sync;
    mixMode = chunk.mixMode;
    midiSideChan = chunk.midiSideChan;
    inputFormat = chunk.inputFormat;

    if (chunk.midi)
    {
        // A user preset never switches "MIDI from the host": a preset saved with it on, chosen
        // from a controller, would take that controller away. The host's own restore sets it.
        if (! isUserPresetLoadInProgress())
            midi_receive_from_DAW = chunk.midi->midi_receive_from_DAW;
        midi_progr_change_channel = chunk.midi->midi_progr_change_channel;
        midi_progr_change_mode = chunk.midi->midi_progr_change_mode;
        requestProgChangeModeWriteBack (midi_progr_change_mode);
        midi_CC_receive_mode = chunk.midi->midi_CC_receive_mode;
    }

    pluginResizedW = chunk.pluginResizedW;
    pluginResizedH = chunk.pluginResizedH;

    if (chunk.currentUserPreset)
    {
        // The index follows the name: its position, or -1 when it is not listed.
        const juce::ScopedLock lock (mPresetLock);
        currentUserPreset = *chunk.currentUserPreset;
        mCurrentUserPresetIndex = indexOfPresetLocked (currentUserPreset);
    }

    float before[NUM_PARAMETERS];
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        before[i] = mParams[i];
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        if (const auto& value = chunk.params[(size_t) i])
            setParameter (i, *value);

    // The program the state was saved with, so that a host's program view matches the
    // restored values; a text without one restores "User Set".
    mCurrentProgram = chunk.currentProgram && *chunk.currentProgram < getNumPrograms() ? *chunk.currentProgram : -1;

    for (int c = 0; c < MAX_CHANNELS; ++c)
        if (const auto& weight = chunk.channelWeights[(size_t) c])
            channel_weights[c] = *weight;

    if (standalone && (mixMode == (int32_t) MixMode::sideChainSend || mixMode == (int32_t) MixMode::sideChainReceive))
        mixMode = (int32_t) MixMode::sum;

    if (mixMode == (int32_t) MixMode::sideChainSend)
        startTimer (100);

    // MIDI is decided once every MIDI key of this text is in place: while MIDI comes from the
    // host the own sources are disconnected, otherwise the own MIDI is enabled when the state
    // wants it. Wrapper work runs on the message thread (posted from elsewhere).
    const bool wantsMidi =
        mixMode == (int32_t) MixMode::sideMidi || (chunk.midi && (midi_progr_change_mode != 0 || midi_CC_receive_mode != 0));
    applyRestoredMidiSettings (wantsMidi);

    requestEditorRefresh();
    mUserPresetModified = 0;
    mParamNotifyGate++;

    tellHostParametersChanged (before, origin);
    return true;
}
