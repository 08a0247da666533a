#include "processor/state/FactoryPrograms.h"
#include "processor/PluginProcessor.h"
#include "processor/render/RenderThread.h"

presets::presets()
    : mUserSetName ("User Set")
{
    mPresetList = {
        { "default", {} },
        { "drum : snare",
          { { Threshold, -15.0f },
            { Release, 500.0f },
            { Attack, 10.0f },
            { Ratio, 5.0f },
            { Tube_Distort_On, 1.0f },
            { TubeClassA_Amount, 20.0f },
            { Smooth_Orig, 1.0f },
            { SoftLimiterOn, 1.0f },
            { MaxMakeupOn, 1.0f } } },
        { "drum : snare less body",
          { { Threshold, -15.0f },
            { Release, 500.0f },
            { Attack, 20.0f },
            { Ratio, 5.0f },
            { Non_Lin_Release_On, 1.0f },
            { SoftLimiterOn, 1.0f },
            { MaxMakeupOn, 1.0f },
            { Non_Lin_Release_Amount, 80.0f } } },
        { "drum : snare less attack",
          { { Threshold, -15.0f },
            { Release, 50.0f },
            { Attack, 0.0f },
            { Ratio, 5.0f },
            { Non_Lin_Release_On, 1.0f },
            { SoftLimiterOn, 1.0f },
            { MaxMakeupOn, 1.0f },
            { Non_Lin_Release_Amount, 80.0f } } },
        { "drum : snare cut background",
          { { Threshold, -22.0f },
            { Release, 400.0f },
            { Attack, 0.0f },
            { Ratio, 9.0f },
            { Non_Lin_Release_On, 1.0f },
            { Mix, -90.0f },
            { SoftLimiterOn, 1.0f },
            { MaxMakeupOn, 1.0f },
            { Non_Lin_Release_Amount, 80.0f } } },
        { "vocals : normal",
          { { Threshold, -20.0f },
            { Release, 220.0f },
            { Attack, 4.0f },
            { MakeupGain, 10.0f },
            { Tube_Distort_On, 1.0f },
            { TubeClassA_Amount, 10.0f } } },
        { "vocals : high dynamic",
          { { Threshold, -20.0f },
            { Release, 220.0f },
            { Attack, 4.0f },
            { MakeupGain, 10.0f },
            { Adpative_Thresh_On, 1.0f },
            { Tube_Distort_On, 1.0f },
            { TubeClassA_Amount, 10.0f },
            { Adaptive_Relative_Gain, 0.5f },
            { Adaptive_Relative_Amount, 0.8f } } },
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
int BrisaltoAudioProcessor::getNumPrograms()
{
    return sPresets.size();
}

void BrisaltoAudioProcessor::getProgramParameters (int program, float (&values)[NUM_PARAMETERS]) const
{
    for (int k = 0; k < NUM_PARAMETERS; ++k)
        values[k] = brisalto::ParameterTable::defaultValue (k);

    if (const auto* found = sPresets.find (program))
        for (const auto& [parameter, displayValue] : found->values)
            if (parameter >= 0 && parameter < NUM_PARAMETERS)
                values[parameter] = parameterValue2Plugin (parameter, displayValue);
}

void BrisaltoAudioProcessor::setCurrentProgram (int index)
{
    switchProgram (index, ValuesOrigin::hostProgramChoice);
}

void BrisaltoAudioProcessor::switchProgram (int index, ValuesOrigin origin)
{
    mParamNotifyGate = 0;

    float before[NUM_PARAMETERS], working[NUM_PARAMETERS];
    getProgramParameters (index, working);
    for (int k = 0; k < NUM_PARAMETERS; ++k)
    {
        before[k] = mParams[k];
        setParameter (k, mParams[k]);
    }

    for (int k = 0; k < NUM_PARAMETERS; ++k)
        setParameter (k, working[k]);

    mCurrentProgram = index;
    requestEditorRefresh();
    mParamNotifyGate++;

    tellHostParametersChanged (before, origin);
}

void BrisaltoAudioProcessor::takeProgramOfBlock (int program) noexcept
{
    // This runs ahead of the block's rendering: what the switch hands on goes by the hand-off timer.
    brisalto::RenderThread::markCurrent();

    // A host sends its program value again with later blocks, and after a restore the value it
    // re-read from the controller: only a value that changed is a choice. A stale one sent while a
    // restore ran is no change either, so the restore stands.
    const bool chosen = program != mProgramOfLastBlock;
    mProgramOfLastBlock = program;
    if (chosen && program != getCurrentProgram())
        switchProgram (program, ValuesOrigin::hostProgramInBlock);
}

const juce::String BrisaltoAudioProcessor::getProgramName (int index)
{
    return juce::String (sPresets.nameOf (index));
}

void BrisaltoAudioProcessor::changeProgramName (int, const juce::String&)
{
}
