#include "processor/PluginProcessor.h"
#include "processor/render/RenderThread.h"

namespace
{
    constexpr int numEnvelopeStates = MAX_CHANNELS;  // the shared detector state is not touched
}

//==============================================================================
int BrisaltoAudioProcessor::getNumParameters()
{
    return NUM_PARAMETERS;
}

const juce::String BrisaltoAudioProcessor::getParameterName (int index)
{
    if (const char* name = brisalto::ParameterTable::name (index))
        return name;
    return "param_" + juce::String (index);
}

float BrisaltoAudioProcessor::getParameter (int index)
{
    return brisalto::ParameterTable::isValidIndex (index) ? mParams[index].load() : 0.0f;
}

const juce::String BrisaltoAudioProcessor::getParameterText (int index)
{
    if (! brisalto::ParameterTable::isValidIndex (index))
        return {};
    return juce::String ((double) mParams[index].load());
}

float BrisaltoAudioProcessor::getParameterDefaultValue (int index)
{
    return brisalto::ParameterTable::defaultValue (index);
}

bool BrisaltoAudioProcessor::isParameterAutomatable (int index) const
{
    return brisalto::ParameterTable::isAutomatable (index);
}

juce::String BrisaltoAudioProcessor::getParameterID (int index)
{
    return "p" + juce::String (index).paddedLeft ('0', 2);
}

float BrisaltoAudioProcessor::parameterValue2Plugin (int index, float value)
{
    return brisalto::ParameterTable::toNormalised (index, value);
}

//==============================================================================
void BrisaltoAudioProcessor::setParameter (int index, float newValue)
{
    if (! brisalto::ParameterTable::isValidIndex (index))
        return;

    mParams[index] = brisalto::ParameterTable::sanitise (index, newValue);
    deriveParameter (index);
    notifyParameterChange();
}

void BrisaltoAudioProcessor::deriveParameter (int index)
{
    const float v = mParams[index];
    const float sampleRate = mSampleRate;

    const auto updateAutoMakeup = [this]
    {
        const float maxGainDb = mParams[MaxGainLevel] * 30.0f - 30.0f;
        mAutoMakeupDb = juce::jmax (0.0f, maxGainDb - (1.0f - 1.0f / mRatio) * mThresholdDb);
    };

    switch (index)
    {
        case Threshold:
            mThresholdDb = (v - 1.0f) * 50.0f;
            updateAutoMakeup();
            break;

        case Release:
            mReleaseMs = v * 4000.0f;
            mEnvelopeResetRequests++;
            break;

        case AutoGainMakeupOn: mAutoGainOn = v > 0.5f ? 1 : 0; break;

        case Attack:
            mAttackSamples = (int32_t) (v * 50.0f * sampleRate / 1000.0f);
            mEnvelopeResetRequests++;
            break;

        case Lookahead:
        {
            mLookaheadMs = (int32_t) (v * 1000.0f);
            int32_t blocks = 0;
            if (mLookaheadMs > 0)
            {
                const auto blockMs = (float) ((double) mBlocksize * 1000.0 / (double) sampleRate);
                blocks = juce::jmax (1, (int32_t) ((float) mLookaheadMs / blockMs));
            }
            mLookaheadBlocks = blocks;
            updateLatency();
            break;
        }

        case Ratio:
            mRatio = v * 10.0f + 0.5f;
            // The automatic makeup depends on the ratio: keep it current.
            updateAutoMakeup();
            break;

        case MakeupGain: mMakeupDb = (v - 0.5f) * 60.0f; break;

        case Adpative_Thresh_On: updateLatency(); break;

        case MaxGainLevel: updateAutoMakeup(); break;

        case BPFilterFreq:
        case BPFilterType:
        case BPFilterQ: calc_filter_coeffs(); break;

        case HardLimiterOn:
            mLimiterLatency = v > 0.5f ? mLimiterLookahead : 0;
            updateLatency();
            break;

        case HardLimiterRelease:
            // The limiters follow at the next block (applyPendingChannelStateChanges).
            mLimiterReleaseSamples = (int32_t) (v * 200.0f * sampleRate / 1000.0f);
            break;

        default: break;
    }
}

void BrisaltoAudioProcessor::updateLatency()
{
    mLookaheadLatency = mParams[Adpative_Thresh_On] > 0.5f ? mLookaheadBlocks * mBlocksize : 0;

    // The LV2's render thread reports it with the next block.
    if (mLatencyByRenderThread)
        return;

    // setLatencySamples takes JUCE's listener lock and makes the VST3 wrapper post a message:
    // only the message thread calls it. Any other thread (a host's render thread automating)
    // leaves it to the hand-off timer, which reads the latency as it stands then.
    if (isMessageThreadOrNone())
        setLatencySamples (reportedLatency());
    else
        mLatencyHandOff = 1;
}

void BrisaltoAudioProcessor::notifyParameterChange()
{
    if (mUserPresetModified != 0 && mParamNotifyGate == 0)
        return;

    if (mUserPresetModified == 0)
    {
        mUserPresetModified = 1;
        if (++mParamNotifyGate == 0)
            return;
    }

    if (mInstanceId >= 0)
        mParamChangeCounter++;

    requestEditorRefresh();
}

void BrisaltoAudioProcessor::requestEditorRefresh()
{
    // Only the message thread may touch the editor: JUCE deletes it there at any moment, and
    // the active-editor pointer it hands out is not protected once returned. Any other thread
    // (a render thread first, which must not even take the message thread's lock) leaves a
    // request that the editor's timer takes. The message-thread role can move between threads
    // while an editor is open, so it is asked at each call.
    if (brisalto::RenderThread::isCurrent() || ! juce::MessageManager::existsAndIsCurrentThread())
    {
        mEditorRefreshPending = 1;
        return;
    }

    if (auto* updater = dynamic_cast<juce::AsyncUpdater*> (getActiveEditor()))
        updater->triggerAsyncUpdate();
}

void BrisaltoAudioProcessor::setParameterValue (int index, float value, int)
{
    if (! std::isfinite (value))
        return;

    switch (index)
    {
        case Threshold: mThresholdDb = value; break;
        case Release: mReleaseMs = value; break;
        case AutoGainMakeupOn: mAutoGainOn = value > 0.5f ? 1 : 0; break;
        case Attack: mAttackSamples = (int32_t) juce::jlimit (0.0f, 1.0e7f, mSampleRate * value / 1000.0f); break;
        case Lookahead: mLookaheadMs = (int32_t) juce::jlimit (0.0f, 1.0e7f, value); break;
        case Ratio: mRatio = value; break;
        case MakeupGain: mMakeupDb = value; break;
        default: break;
    }

    if (mInstanceId >= 0)
        mParamChangeCounter++;

    mParamNotifyGate = 0;
    mCurrentProgram = 0;
    setParameterNotifyingHost (index, parameterValue2Plugin (index, value));
    mParamNotifyGate++;
}

//==============================================================================
void BrisaltoAudioProcessor::applyPendingChannelStateChanges() noexcept
{
    if (mEnvelopeResetRequests.exchange (0) != 0)
    {
        for (int k = 0; k < numEnvelopeStates; ++k)
        {
            auto& state = mChannelStates[(size_t) k];
            state.mReleaseStepDb = 0.0f;
            state.mReleaseCountdown = 0;
            state.mAttackStepDb = 0.0f;
        }
    }

    const int release = juce::jmax (0, (int) mLimiterReleaseSamples);
    const int window = mLimiterLookahead > 0 ? juce::jmin (release, mLimiterLookahead) : release;
    for (int k = 0; k < numEnvelopeStates; ++k)
    {
        auto& limiter = mChannelStates[(size_t) k].mLimiter;
        if (limiter.mReleaseSamples != release || limiter.mWindow != window)
            limiter.resize (release, window);
    }
}
