#include "processor/PluginProcessor.h"
#include "processor/midi/MidiSettings.h"
#include "processor/midi/MidiWrapper.h"
#include "processor/render/RenderThread.h"

#include "platform/CloudDocuments.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

namespace
{
    // Ids are handed out once per process and never reused.
    std::atomic<int32_t> sNewInstancesCnt { 0 };

    constexpr float minSampleRate = 8000.0f;
    constexpr float maxSampleRate = 768000.0f;
    constexpr int maxBlockSize = 1 << 16;

    int channelCountOf (const juce::AudioProcessor::Bus* bus)
    {
        return bus != nullptr ? bus->getNumberOfChannels() : 0;
    }
}

RelaxedAtomic<int32_t> BrisaltoAudioProcessor::sInstances { 0 };
extSideChainData BrisaltoAudioProcessor::mInstRMSBuffers[NUM_LINK_RECORDS];
extSideChainData BrisaltoAudioProcessor::sExtSideChainData[NUM_EXT_SIDECHAIN_SLOTS];

namespace
{
    std::atomic<bool> wideDefaultBuses { false };
}

void BrisaltoAudioProcessor::useWideDefaultBuses() noexcept
{
    wideDefaultBuses.store (true, std::memory_order_relaxed);
}

// Stereo on all three buses by default, as most tracks are: hosts that size their buffers from
// the default bus (Ardour's VST3 hosting does) then feed us what we were prepared for. Wider
// layouts, up to 28 channels, stay open to hosts that negotiate them.
juce::AudioProcessor::BusesProperties BrisaltoAudioProcessor::makeBuses()
{
    const auto layout = wideDefaultBuses.load (std::memory_order_relaxed) ? juce::AudioChannelSet::create7point1point4()
                                                                          : juce::AudioChannelSet::stereo();
    return BusesProperties()
        .withInput ("Input", layout, true)
        .withOutput ("Output", layout, true)
        .withInput ("Sidechain", layout, true);
}

//==============================================================================
BrisaltoAudioProcessor::BrisaltoAudioProcessor()
    : juce::AudioProcessor (makeBuses())
{
    // The log's drain thread starts here, never first from a render thread.
    brisalto::platform::log::start();

    for (auto& level : mInputChannelLevels)
        level = 0.0f;

    sInstances++;
    mInstanceId = sNewInstancesCnt.fetch_add (1);
    mLink.attach (mInstanceId);

    // Derive every parameter from its default at the initial 48000 Hz and 1024 samples.
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        mParams[i] = getParameterDefaultValue (i);
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        setParameter (i, mParams[i]);

    // Standalone start-up: the program-change settings from the user defaults, where a missing
    // or out-of-range key gives the documented default (mode off, all channels); the step that
    // writes the mode back and enables MIDI runs on the message thread once the processor stands.
    if (wrapperType == wrapperType_Standalone)
    {
        const auto stored = brisalto::midi_remote::readStoredSettings (brisalto::platform::UserDefaults::standard());
        midi_progr_change_mode = stored.progChangeMode;
        midi_progr_change_channel = stored.channel;
        postMidiWork ([] (BrisaltoAudioProcessor& p) { p.runStandaloneMidiStartUp(); });
    }

    const bool token = brisalto::platform::CloudDocuments::standard().hasIdentityToken();
    brisalto::platform::log::print ("\nBrisalto iCloud : token = %d  \n", token ? 1 : 0);
    mICloudEnabled = token ? 1 : 0;

    mUserPresetNames.clear();
    scanPresetFolders();
    mCurrentUserPresetIndex = getUserPresetIndx (currentUserPreset);
    if (mICloudEnabled != 0)
        startCloudContainerLookup();
    loadDefaultPreset();

    mUserPresetModified = 0;
    for (auto& weight : channel_weights)
        weight = 1.0f;

    applyPendingChannelStateChanges();

    // Nothing listens yet: the latency of the defaults and the default preset is set here,
    // whatever thread constructs, and the hand-off timer serves the later changes.
    mLatencyHandOff = 0;
    setLatencySamples (reportedLatency());
    if (juce::MessageManager::getInstanceWithoutCreating() != nullptr)
        mHandOffTimer.startTimer (50);

    // MIDI work may run from here on (until now it was posted: the constructor makes no client).
    mProgramChangeTimer->onTick = [self = mLifetime.handle()]
    { self.call ([] (BrisaltoAudioProcessor& p) { p.runProgramChangeStep(); }); };
    mMidiWorkAllowed = true;
    mConstructed = true;
}

BrisaltoAudioProcessor::~BrisaltoAudioProcessor()
{
    mHandOffTimer.stopTimer();
    if (juce::MessageManager::existsAndIsCurrentThread())
        takeProgChangeModeWriteBack();
    // No posted step, timer tick or MIDI message reaches this processor from here on; a step
    // running on the message thread is waited for.
    mLifetime.invalidate();
    // Then the own MIDI client goes: its ports are deleted and no message is delivered to it
    // once this returns.
    mMidiWrapper.reset();
    releaseProgramChangeTimer();
    stopTimer();
    leaveCloudWatcher();

    // Leaves the link group and gives the link record back (cleared, group 0).
    if (groupNumber > 0)
        groupNumber = 0;
    mLink.detach();

    sInstances--;
}

//==============================================================================
const juce::String BrisaltoAudioProcessor::getName() const
{
    return "Brisalto";
}

void BrisaltoAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    if (std::isfinite (sampleRate) && sampleRate > 0.0)
    {
        const auto clamped = juce::jlimit (minSampleRate, maxSampleRate, (float) sampleRate);
        if ((double) clamped != sampleRate && (float) sampleRate != clamped)
            brisalto::platform::log::write (brisalto::platform::log::notice,
                                            "Brisalto prepareToPlay sample rate %.1f out of range, using %.1f !!!!!!", sampleRate,
                                            (double) clamped);
        mSampleRate = clamped;
    }
    if (maximumExpectedSamplesPerBlock > 0)
        mBlocksize = juce::jmin (maximumExpectedSamplesPerBlock, maxBlockSize);

    mNrInChannels = channelCountOf (getBus (true, 0));
    const int out = channelCountOf (getBus (false, 0));
    mNrTotalInChannels = getTotalNumInputChannels();

    if (mNrInChannels > MAX_CHANNELS)
        mNrInChannels = MAX_CHANNELS;
    if (mNrTotalInChannels > MAX_CHANNELS)
    {
        mNrTotalInChannels = MAX_CHANNELS;
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto prepareToPlay  In chan %d  total In %d  >  MAX_CHANNELS !!!!!!   ",
                                        (int) mNrInChannels, MAX_CHANNELS);
    }

    brisalto::platform::log::print ("\nBrisalto prepareToPlay  In chan %d  Out chan %d  total In %d\n", (int) mNrInChannels, out,
                                    (int) mNrTotalInChannels);
    brisalto::platform::log::write (brisalto::platform::log::notice,
                                    "\nBrisalto prepareToPlay  In chan %d  Out chan %d  total In %d\n", (int) mNrInChannels, out,
                                    (int) mNrTotalInChannels);

    // Times in samples, look-ahead blocks, limiter windows, filter coefficients and latency
    // follow the real rate and block size. This is not a user change: nothing is notified.
    for (int i = 0; i < NUM_PARAMETERS; ++i)
        deriveParameter (i);
    // Hosts prepare outside the render callback and expect the latency to be set here.
    mLatencyHandOff = 0;
    setLatencySamples (reportedLatency());

    // A new preparation starts from silence: nothing held in a limiter from before comes out.
    for (auto& state : mChannelStates)
    {
        state.mLimiter.reserveForRelease ((int) (200.0f * mSampleRate / 1000.0f), mLimiterLookahead);
        state.mLimiter.clear();
    }

    prepareSignalPath();
    prepareRenderLoop();
    applyPendingChannelStateChanges();
    mPrepared = true;
}

void BrisaltoAudioProcessor::releaseResources()
{
}

void BrisaltoAudioProcessor::memoryWarningReceived()
{
    brisalto::platform::log::write (
        brisalto::platform::log::warning,
        "!!!!! Brisalto received memory warning : mNrTotalInChannels %d   mBlocksize %d  instances %d !!!!!",
        (int) mNrTotalInChannels, (int) mBlocksize, (int) sInstances);
}

double BrisaltoAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}
bool BrisaltoAudioProcessor::acceptsMidi() const
{
    return true;
}
bool BrisaltoAudioProcessor::producesMidi() const
{
    return false;
}
bool BrisaltoAudioProcessor::isMidiEffect() const
{
    return false;
}
bool BrisaltoAudioProcessor::hasEditor() const
{
    return true;
}

int BrisaltoAudioProcessor::getCurrentProgram()
{
    return juce::jmax (0, (int) mCurrentProgram);
}

void BrisaltoAudioProcessor::numChannelsChanged()
{
    mNrInChannels = channelCountOf (getBus (true, 0));
    const int out = channelCountOf (getBus (false, 0));
    mNrTotalInChannels = getTotalNumInputChannels();
    brisalto::platform::log::write (brisalto::platform::log::notice,
                                    "\nBrisalto numChannelsChanged  In chan %d  Out chan %d  total In %d\n", (int) mNrInChannels,
                                    out, (int) mNrTotalInChannels);
}

bool BrisaltoAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto countOf = [] (const juce::Array<juce::AudioChannelSet>& buses)
    { return buses.isEmpty() ? 0 : buses.getReference (0).size(); };

    const int out = countOf (layouts.outputBuses);
    const int in = countOf (layouts.inputBuses);
    if (out != in)
        return true;
    return in <= MAX_CHANNELS;
}

bool BrisaltoAudioProcessor::isMessageThreadOrNone() noexcept
{
    const auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm == nullptr)
        return true;
    // JUCE 7.0.5 answers the question below under a mutex: a thread that renders is not asked
    // (hosts render on threads of their own, never on the message thread).
    if (brisalto::RenderThread::isCurrent())
        return false;
    return mm->isThisTheMessageThread();
}

void BrisaltoAudioProcessor::takeProgChangeModeWriteBack()
{
    const auto mode = mProgChangeModeWriteBack.exchange (-1);
    if (mode >= 0)
        brisalto::platform::UserDefaults::standard().writeBackInteger (brisalto::midi_remote::progChangeModeKey, mode);
}

void BrisaltoAudioProcessor::timerCallback()
{
    const auto rendered = mRenderCounter.load();
    if (rendered == mWatchdogRenderCount)
        mLinkStatus = (int32_t) LinkStatus::noData;
    mWatchdogRenderCount = rendered;
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new BrisaltoAudioProcessor();
}
