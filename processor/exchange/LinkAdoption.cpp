#include "processor/PluginProcessor.h"

#include <cmath>

// Settings adopted from another member of the link group, on the render thread.

void BrisaltoAudioProcessor::adoptLinkedParameters (const LinkExchange::Adoption& adoption) noexcept
{
    // Each row: write the member and the parameter with the gate open. The wrappers hear of
    // it from the hand-off timer on the message thread, as an edit inside a gesture: telling
    // them here would take their locks and make the VST3 wrapper post from the render thread.
    const auto notify = [this] (int index, float value)
    {
        mParamNotifyGate = 0;
        mCurrentProgram = 0;
        setParameter (index, value);
        mAdoptedToTell.fetch_or (1u << (unsigned) index);
        mParamNotifyGate++;
        mExchange.adoptions++;
    };

    const auto& s = adoption.settings;
    if (std::abs (s.thresholdDb - mBlockThresholdDb) > 0.05f)
    {
        mThresholdDb = s.thresholdDb;
        notify (Threshold, s.thresholdDb / 50.0f + 1.0f);
    }
    if (std::abs (s.makeupDb - mBlockMakeupDb) > 0.05f)
    {
        mMakeupDb = s.makeupDb;
        notify (MakeupGain, s.makeupDb / 60.0f + 0.5f);
    }
    if (std::abs (s.releaseMs - mBlockReleaseMs) > 0.1f)
    {
        mReleaseMs = s.releaseMs;
        notify (Release, s.releaseMs / 4000.0f);
    }
    // Attack in whole samples: rounded, and under half a sample counts as equal, so the value
    // neither loses a sample on the way nor travels back to its publisher.
    if (std::abs (s.attackSamples - (float) mBlockAttackSamples) >= 0.5f)
    {
        const float sampleRate = mSampleRate;
        const double ms = (double) s.attackSamples * 1000.0 / (double) sampleRate;
        const auto samples = (int32_t) std::lround ((double) sampleRate * ms / 1000.0);
        mAttackSamples = samples;
        notify (Attack, (float) (ms / 50.0));
        mAttackSamples = samples;  // setParameter derives it again, truncating
    }
    if (std::abs (s.ratio - mBlockRatio) > 0.01f)
    {
        mRatio = s.ratio;
        notify (Ratio, (float) (((double) s.ratio - 0.5) / 10.0));
    }
    if (std::abs (s.mix - mDisplayValues[Mix]) > 0.01f)
        notify (Mix, s.mix / 200.0f + 0.5f);

    mSeenParamChangeCount[adoption.record] = adoption.count;

    // No message loop: no wrapper and no timer either; whoever listens hears it now.
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        tellValues (mAdoptedToTell.exchange (0), false);

    // The editor refreshes from its timer: never getActiveEditor() here, whose lock JUCE holds
    // for the whole construction of an editor.
    mEditorRefreshPending = 1;
}
