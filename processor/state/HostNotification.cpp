// What the format wrappers hear of changes they did not make: program switches, restores,
// linked adoptions and latency. It reaches them on the plug-in's message thread, after whatever
// call caused it has returned: a host that calls in holding its own locks is never called back
// from inside that call, and a render thread never posts, locks or allocates. The one exception
// is the LV2's latency, which its render thread sets with each block (reportLatencyOfBlock).

#include "processor/PluginProcessor.h"
#include "processor/render/RenderThread.h"

namespace
{
    constexpr uint32_t bitOf (int index) noexcept
    {
        return 1u << (unsigned) index;
    }
}

void BrisaltoAudioProcessor::tellHostParametersChanged (const float (&before)[NUM_PARAMETERS], ValuesOrigin origin)
{
    if (origin == ValuesOrigin::hostRestore && wrapperType == wrapperType_VST3)
    {
        // The host follows its restore with setComponentState, where the wrapper copies every
        // value and asks the host to re-read them all: values sent back would reach it as user
        // edits, late, and could undo what it sets meanwhile. Older untold or held-back values are
        // covered too, and a refresh under way when it ended copies the restored values again.
        mValuesToTell.store (0);
        mValuesHeldBack = 0;
        mTimesHeldBack = 0;
        mHostRestores.fetch_add (1);
    }
    else
    {
        const uint32_t untold = mValuesToTell.load();
        uint32_t moved = 0;
        for (int k = 0; k < NUM_PARAMETERS; ++k)
        {
            const float now = mParams[k];
            if (now != before[k])
            {
                // The value before the first change nobody moved again since: one moved since it was
                // marked (the host's automation, which reaches the controller later) starts anew.
                if ((untold & bitOf (k)) == 0 || before[k] != mValueTold[k])
                    mValueBefore[k] = before[k];
                mValueTold[k] = now;
                moved |= bitOf (k);
            }
        }
        mValuesToTell.fetch_or (moved);
    }

    // A VST3 wrapper's controller already holds the program its host chose or restored (set in
    // the same call). Announced again from the message thread, which on Linux runs beside the
    // host's own thread until the host attaches its run loop, the wrapper would compare it with
    // a program read a moment earlier and switch back when the host had switched meanwhile.
    if (wrapperType != wrapperType_VST3 || origin == ValuesOrigin::switchOrLoad)
        mProgramToAnnounce = 1;

    // A program sent with a block switched on the render thread, which hands nothing on at once.
    // Through the hand-off timer the host's re-read could arrive while JUCE 7.0.5's host takes the
    // instance down, and it would read a controller it has let go. It is told when the controller
    // receives the same choice, as a host's program choice is.
    if (origin == ValuesOrigin::hostProgramInBlock)
        return;

    requestHostNotification();
}

void BrisaltoAudioProcessor::programChoiceReachedController()
{
    if (mValuesToTell.load() != 0)
        requestHostNotification();
}

void BrisaltoAudioProcessor::holdBackMovedValues (const MovedValues& moved) noexcept
{
    // Values from before a restore are gone with it.
    if (moved.restoresBefore != hostRestoresSoFar())
        return;
    mValuesToTell.fetch_or (moved.indices);
    mTimesHeldBack = moved.timesHeldBack + 1;
    mTicksHeldBack = 0;
    mValuesHeldBack = 1;
}

void BrisaltoAudioProcessor::hostValueReachedController()
{
    // Told from the message thread, once the host's hand-over (which may carry more values)
    // has returned.
    if (mValuesHeldBack.exchange (0) != 0)
        requestHostNotification();
}

void BrisaltoAudioProcessor::requestHostNotification()
{
    // No message loop: no wrapper either, nothing to defer to.
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
    {
        notifyHostNow();
        return;
    }

    // A render thread neither posts nor locks: the hand-off timer tells them. So it does for
    // the default preset loaded while the processor is being built: no wrapper listens yet, and
    // a post could run on the message thread before it does (the timer waits for preparation,
    // which every wrapper asks for once it listens).
    if (brisalto::RenderThread::isCurrent() || ! mConstructed)
    {
        mHostNotifyHandOff = 1;
        return;
    }

    // Any other thread, the message thread included (a host's program choice arrives there
    // inside the host's own call): one post for any number of switches and restores.
    if (mHostNotifyPosted.exchange (1) != 0)
        return;

    const bool posted = juce::MessageManager::callAsync (
        [self = mLifetime.handle()]
        {
            self.call (
                [] (BrisaltoAudioProcessor& p)
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
    // The wrappers keep their own copy of each value, which the legacy setParameter calls of a
    // switch or restore do not update. Names and ranges never change: no parameter-info
    // announcement (JUCE 7.0.5's VST3 host may act on it after the instance is gone).
    const auto programChanged = juce::AudioProcessorListener::ChangeDetails().withProgramChanged (true);
    if (wrapperType == wrapperType_VST3)
    {
        // Our VST3 wrapper takes the moved values on the announcement (takeMovedValues), copies
        // them into its controller and has the host re-read every value: no edit the user never
        // made reaches the host, and it is told once.
        if (mValuesToTell.load() != 0 || mProgramToAnnounce.load() != 0)
            updateHostDisplay (programChanged);
        return;
    }
    tellValues (mValuesToTell.exchange (0), true);
    if (mProgramToAnnounce.exchange (0) != 0)
        updateHostDisplay (programChanged);
}

ControllerValueRefresh::MovedValues BrisaltoAudioProcessor::takeMovedValues() noexcept
{
    static_assert (NUM_PARAMETERS <= maxValues);
    MovedValues moved;
    // Read first: a restore that clears the values after this counts as after them.
    moved.restoresBefore = hostRestoresSoFar();
    const uint32_t indices = mValuesToTell.exchange (0);
    mValuesHeldBack = 0;
    moved.timesHeldBack = mTimesHeldBack.exchange (0);
    for (int k = 0; k < NUM_PARAMETERS; ++k)
    {
        // One moved again since it was marked was moved by someone who told the host (its
        // automation, the editor's gesture): the marked value would undo that.
        const float now = mValueTold[k];
        if ((indices & bitOf (k)) == 0 || mParams[k] != now)
            continue;
        moved.indices |= bitOf (k);
        moved.before[k] = mValueBefore[k];
        moved.now[k] = now;
    }
    return moved;
}

uint32_t BrisaltoAudioProcessor::hostRestoresSoFar() const noexcept
{
    return mHostRestores.load();
}

bool BrisaltoAudioProcessor::takeProgramAnnouncement() noexcept
{
    return mProgramToAnnounce.exchange (0) != 0;
}

void BrisaltoAudioProcessor::tellValues (uint32_t indices, bool onlyUnmovedSinceMarked)
{
    for (int k = 0; k < NUM_PARAMETERS && indices != 0; ++k)
    {
        if ((indices & bitOf (k)) == 0)
            continue;
        indices &= ~bitOf (k);

        // A value moved since it was marked came from someone who knows it (the host's
        // automation, the editor): sending the marked one would undo that.
        const float value = mParams[k];
        if (onlyUnmovedSinceMarked && value != mValueTold[k])
            continue;

        // JUCE 7.0.5's VST3 wrapper offers no other way to update the copies its controller
        // hands the host: the value goes as one edit, inside its own gesture.
        beginParameterChangeGesture (k);
        sendParamChangeMessageToListeners (k, value);
        endParameterChangeGesture (k);
    }
}

void BrisaltoAudioProcessor::takeHandOffs()
{
    if (mLatencyHandOff.exchange (0) != 0)
        setLatencySamples (reportedLatency());
    // Values the VST3 controller held back wait for the host to hand it one; after a few ticks
    // without (the processor had caught up with a value the controller held first) they are
    // told from here.
    if (mValuesHeldBack.load() != 0 && ++mTicksHeldBack > ticksToWaitForHostValue && mValuesHeldBack.exchange (0) != 0)
        mHostNotifyHandOff = 1;
    if (mPrepared && mHostNotifyHandOff.exchange (0) != 0)
        notifyHostNow();
    if (const auto adopted = mAdoptedToTell.exchange (0))
        tellValues (adopted, false);
    takeProgChangeModeWriteBack();
}

void BrisaltoAudioProcessor::reportLatencyOfBlock (int latency) noexcept
{
    if (getLatencySamples() != latency)
        setLatencySamples (latency);
}
