#include "processor/PluginProcessor.h"
#include "processor/state/StateChunkReader.h"
#include "processor/state/StateChunkWriter.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

void BrisaltoAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    StateChunkWriter::Values values;
    values.trackNumber = trackNumber;
    values.groupNumber = groupNumber;
    values.grp_param_sync = grp_param_sync;
    values.mixMode = mixMode;
    values.midiSideChan = midiSideChan;
    values.currentUserPreset = getCurrentUserPreset();
    values.inputFormat = inputFormat;
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        values.params[i] = mParams[i];

    values.withMidiKeys = wrapperType != wrapperType_Standalone;
    values.midi_progr_change_channel = midi_progr_change_channel;
    values.midi_progr_change_mode = midi_progr_change_mode;
    values.midi_CC_receive_mode = midi_CC_receive_mode;
    values.midi_receive_from_DAW = midi_receive_from_DAW;

    values.pluginResizedW = pluginResizedW;
    values.pluginResizedH = pluginResizedH;
    for (int c = 0; c < MAX_CHANNELS; ++c)
        values.channel_weights[c] = channel_weights[c];

    // The text is pure ASCII: its UTF-8 bytes are its characters. The block holds the chunk alone.
    const auto text = StateChunkWriter::toText (values);
    destData.replaceAll (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

void BrisaltoAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    applyStateChunk (data, sizeInBytes);
}

bool BrisaltoAudioProcessor::applyStateChunk (const void* data, int sizeInBytes)
{
    const bool standalone = wrapperType == wrapperType_Standalone;

    StateChunkReader::Result chunk;
    const auto status = StateChunkReader::read (data, sizeInBytes, ! standalone, chunk);
    if (status != StateChunkReader::Status::ok)
    {
        platform::log::write (platform::log::notice, "Brisalto setStateInformation : state of %d bytes ignored (%s)  !!!!!!",
                              sizeInBytes, StateChunkReader::describe (status));
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
        midi_receive_from_DAW = chunk.midi->midi_receive_from_DAW;
        midi_progr_change_channel = chunk.midi->midi_progr_change_channel;
        midi_progr_change_mode = chunk.midi->midi_progr_change_mode;
        platform::UserDefaults::standard().setInteger ("kAppPrefMidiProgChangeMode", midi_progr_change_mode);
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

    for (int i = 0; i < NUM_PARAMETERS; ++i)
        if (const auto& value = chunk.params[(size_t) i])
            setParameter (i, *value);

    for (int c = 0; c < MAX_CHANNELS; ++c)
        if (const auto& weight = chunk.channelWeights[(size_t) c])
            channel_weights[c] = *weight;

    if (standalone && (mixMode == (int32_t) MixMode::sideChainSend || mixMode == (int32_t) MixMode::sideChainReceive))
        mixMode = (int32_t) MixMode::sum;

    if (mixMode == (int32_t) MixMode::sideChainSend)
        startTimer (100);

    // MIDI is decided once every MIDI key of this text is in place.
    const bool wantsMidi = mixMode == (int32_t) MixMode::sideMidi
                        || (chunk.midi && chunk.midi->midi_receive_from_DAW == 0
                            && (midi_progr_change_mode != 0 || midi_CC_receive_mode != 0));
    if (wantsMidi)
        enableMidiReceive();

    requestEditorRefresh();
    mUserPresetModified = 0;
    mParamNotifyGate++;

    tellHostParametersChanged();
    return true;
}
