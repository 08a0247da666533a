#include "processor/state/FactoryPrograms.h"
#include "processor/PluginProcessor.h"
#include "processor/render/RenderThread.h"

presets::presets()
    : mUserSetName ("User Set")
{
    mPresetList = {
        { "default", {} },
        { "drum : snare",
          { { Threshold, -15.0f }, { Release, 500.0f }, { Attack, 10.0f }, { Ratio, 5.0f },
            { Tube_Distort_On, 1.0f }, { TubeClassA_Amount, 20.0f }, { Smooth_Orig, 1.0f },
            { SoftLimiterOn, 1.0f }, { MaxMakeupOn, 1.0f } } },
        { "drum : snare less body",
          { { Threshold, -15.0f }, { Release, 500.0f }, { Attack, 20.0f }, { Ratio, 5.0f },
            { Non_Lin_Release_On, 1.0f }, { SoftLimiterOn, 1.0f }, { MaxMakeupOn, 1.0f },
            { Non_Lin_Release_Amount, 80.0f } } },
        { "drum : snare less attack",
          { { Threshold, -15.0f }, { Release, 50.0f }, { Attack, 0.0f }, { Ratio, 5.0f },
            { Non_Lin_Release_On, 1.0f }, { SoftLimiterOn, 1.0f }, { MaxMakeupOn, 1.0f },
            { Non_Lin_Release_Amount, 80.0f } } },
        { "drum : snare cut background",
          { { Threshold, -22.0f }, { Release, 400.0f }, { Attack, 0.0f }, { Ratio, 9.0f },
            { Non_Lin_Release_On, 1.0f }, { Mix, -90.0f }, { SoftLimiterOn, 1.0f },
            { MaxMakeupOn, 1.0f }, { Non_Lin_Release_Amount, 80.0f } } },
        { "vocals : normal",
          { { Threshold, -20.0f }, { Release, 220.0f }, { Attack, 4.0f }, { MakeupGain, 10.0f },
            { Tube_Distort_On, 1.0f }, { TubeClassA_Amount, 10.0f } } },
        { "vocals : high dynamic",
          { { Threshold, -20.0f }, { Release, 220.0f }, { Attack, 4.0f }, { MakeupGain, 10.0f },
            { Adpative_Thresh_On, 1.0f }, { Tube_Distort_On, 1.0f }, { TubeClassA_Amount, 10.0f },
            { Adaptive_Relative_Gain, 0.5f }, { Adaptive_Relative_Amount, 0.8f } } },
    };
}

const preset* presets::find (int index) const noexcept
{
    return (unsigned) index < (unsigned) mPresetList.size() ? &mPresetList[(size_t) index] : nullptr;
}

const std::string& presets::nameOf (int index) const noexcept
{
    if (const auto* program = find (index))
        return program->name;
    return mUserSetName;
}

const presets sPresets;

//==============================================================================
int BrisaltoAudioProcessor::getNumPrograms() { return sPresets.size(); }

void BrisaltoAudioProcessor::getProgramParameters (int program, float (&values)[NUM_PARAMETERS]) const
{
    for (int k = 0; k < NUM_PARAMETERS; ++k)
        values[k] = ParameterTable::defaultValue (k);

    if (const auto* found = sPresets.find (program))
        for (const auto& [parameter, displayValue] : found->values)
            if (parameter >= 0 && parameter < NUM_PARAMETERS)
                values[parameter] = parameterValue2Plugin (parameter, displayValue);
}

void BrisaltoAudioProcessor::setCurrentProgram (int index)
{
    mParamNotifyGate = 0;

    float working[NUM_PARAMETERS];
    getProgramParameters (index, working);
    for (int k = 0; k < NUM_PARAMETERS; ++k)
        setParameter (k, mParams[k]);

    for (int k = 0; k < NUM_PARAMETERS; ++k)
        setParameter (k, working[k]);

    mCurrentProgram = index;
    requestEditorRefresh();
    mParamNotifyGate++;

    tellHostParametersChanged();
}

const juce::String BrisaltoAudioProcessor::getProgramName (int index)
{
    return juce::String (sPresets.nameOf (index));
}

void BrisaltoAudioProcessor::changeProgramName (int, const juce::String&) {}

//==============================================================================
void BrisaltoAudioProcessor::tellHostParametersChanged()
{
    // The VST3 wrapper passes values to the host only from the plug-in's message thread (from
    // elsewhere it caches them, and a host may copy its view before they arrive): notify there.
    if (isMessageThreadOrNone())
    {
        notifyHostNow();
        return;
    }

    // A render thread neither posts nor locks: the hand-off timer sends them.
    if (RenderThread::isCurrent())
    {
        mHostNotifyHandOff = 1;
        return;
    }

    // Any other thread: one post for any number of switches and restores until it runs.
    if (mHostNotifyPosted.exchange (1) != 0)
        return;

    const bool posted = juce::MessageManager::callAsync ([self = mLifetime.handle()]
    {
        self.call ([] (BrisaltoAudioProcessor& p)
        {
            p.mHostNotifyPosted = 0;
            p.notifyHostNow();
        });
    });
    if (! posted)
    {
        mHostNotifyPosted = 0;
        mHostNotifyHandOff = 1;
    }
}

void BrisaltoAudioProcessor::notifyHostNow()
{
    // The wrappers keep their own copy of each value, which legacy setParameter calls made
    // by a program switch or a restore do not update: send every value as it stands now, then
    // tell them the program may have moved. Names and ranges never change: no parameter-info
    // announcement (JUCE 7.0.5's VST3 host may act on it after the instance is gone).
    for (int k = 0; k < NUM_PARAMETERS; ++k)
        sendParamChangeMessageToListeners (k, mParams[k]);

    updateHostDisplay (juce::AudioProcessorListener::ChangeDetails().withProgramChanged (true));
}
