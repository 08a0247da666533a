#pragma once

#include "processor/signal/AdaptiveThreshold.h"
#include "processor/signal/ChannelComprState.h"
#include "processor/exchange/ExchangeRecord.h"
#include "processor/exchange/ExchangeState.h"
#include "processor/exchange/LinkExchange.h"
#include "processor/exchange/SideChainExchange.h"
#include "processor/signal/FilterCoeffExchange.h"
#include "processor/signal/OutputStage.h"
#include "processor/common/LifetimeGuard.h"
#include "processor/midi/ProgramChangeSlot.h"
#include "processor/presets/CloudContainerLookup.h"
#include "processor/state/ControllerValueRefresh.h"
#include "processor/state/ParameterTable.h"
#include "processor/common/ProcessorTypes.h"
#include "processor/common/RelaxedAtomic.h"
#include "processor/render/RenderLoopState.h"
#include "processor/signal/RingBufferData.h"
#include "processor/signal/SignalSettings.h"
#include "processor/signal/TubeDcHistory.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace MIDI_WRAPPER
{
    class midi_wrapper;
}

// The plug-in's processor. The header reads top to bottom: types, the data members in their
// declaration order, then the member functions grouped by the thread that may call them:
// any host thread, the render thread only, the message thread only.
class BrisaltoAudioProcessor : public juce::AudioProcessor, public juce::Timer, public ControllerValueRefresh
{
public:
    //==============================================================================
    // Types.
    using channelComprStateT = ::channelComprStateT;
    using ringbuf_data = ::ringbuf_data;
    using timestampedBuffer = ::timestampedBuffer;
    using extSideChainData = ::extSideChainData;

    // Where a change of many values came from: the host's restore of its saved state, the
    // host's choice from its program list, the same choice sent with a block (a VST3 host's
    // program parameter), or a preset load (by the editor or MIDI).
    enum class ValuesOrigin
    {
        hostRestore,
        hostProgramChoice,
        hostProgramInBlock,
        switchOrLoad
    };

    // Marks a user-preset load on the calling thread: the state restore inside it keeps
    // midi_receive_from_DAW, so a preset chosen from a controller never takes that controller
    // away. loadUserPreset holds one around its restore.
    class UserPresetLoadScope
    {
    public:
        explicit UserPresetLoadScope (const BrisaltoAudioProcessor& processor) noexcept;
        ~UserPresetLoadScope() noexcept;
        UserPresetLoadScope (const UserPresetLoadScope&) = delete;
        UserPresetLoadScope& operator= (const UserPresetLoadScope&) = delete;

    private:
        const BrisaltoAudioProcessor* previous;
    };

private:
    struct RenderBlock;

public:
    //==============================================================================
    // Process-wide tables and counters.
    static RelaxedAtomic<int32_t> sInstances;
    static extSideChainData mInstRMSBuffers[NUM_LINK_RECORDS];
    static extSideChainData sExtSideChainData[NUM_EXT_SIDECHAIN_SLOTS];

    //==============================================================================
    // Members in declaration order. Values shared between threads without a lock are relaxed
    // atomics; the render loop works from its own per-block copies.
    RelaxedAtomic<float> mInputChannelLevels[MAX_CHANNELS];
    RelaxedAtomic<float> mGainReduction { 0.0f };
    RelaxedAtomic<float> mMaxGainReduction { 0.0f };
    std::array<channelComprStateT, NUM_CHANNEL_STATES> mChannelStates;
    RelaxedAtomic<int32_t> pluginResizedW { 0 }, pluginResizedH { 0 };  // written by restores on any thread
    RelaxedAtomic<int32_t> mRenderCounter { 0 };
    RelaxedAtomic<int32_t> mWatchdogRenderCount { 0 };
    RelaxedAtomic<int32_t> mLimiterHits { 0 };
    RelaxedAtomic<int32_t> mClipCount { 0 };
    RelaxedAtomic<float> mOutputPeakDb { -144.0f };
    int32_t mInstanceId = -1;
    std::deque<ringbuf_data> mRingBuffer;
    int32_t mRingWriteIndex = 0;
    RelaxedAtomic<float> channel_weights[MAX_CHANNELS];
    int32_t mTubeDcLength = 1024;
    TubeDcHistory mTubeDcHistory[MAX_CHANNELS];
    std::vector<float> mMidiSideSignal;
    RelaxedAtomic<int32_t> trackNumber { 0 };
    RelaxedAtomic<int32_t> groupNumber { 0 };
    RelaxedAtomic<int32_t> grp_param_sync { 1 };
    RelaxedAtomic<int32_t> mixMode { (int32_t) MixMode::sum };
    RelaxedAtomic<float> mParams[NUM_PARAMETERS];
    float mParamSnapshot[NUM_PARAMETERS] {};
    float mDisplayValues[NUM_PARAMETERS] {};
    int32_t mLimiterLookahead = 100;

    // Derived values of the parameters (written by setParameter on any thread).
    RelaxedAtomic<float> mRatio { 3.0f };
    RelaxedAtomic<float> mReleaseMs { 100.0f };
    RelaxedAtomic<float> mThresholdDb { 0.0f };
    RelaxedAtomic<int32_t> mAttackSamples { 0 };
    RelaxedAtomic<int32_t> mLookaheadMs { 0 };
    RelaxedAtomic<int32_t> mAutoGainOn { 0 };
    RelaxedAtomic<float> mMakeupDb { 0.0f };
    RelaxedAtomic<float> mAutoMakeupDb { 0.0f };
    FilterCoeffExchange mDetectorFilter;  // the detector filter coefficients and their pending count
    RelaxedAtomic<int32_t> mLimiterReleaseSamples { 100 };

    // The render loop's copy of the derived values, taken at the start of each block.
    float mBlockRatio = 3.0f;
    float mBlockReleaseMs = 100.0f;
    float mBlockThresholdDb = 0.0f;
    int32_t mBlockAttackSamples = 0;
    int32_t mBlockLookaheadMs = 0;
    int32_t mBlockAutoGainOn = 0;
    float mBlockMakeupDb = 0.0f;
    float mBlockAutoMakeupDb = 0.0f;
    float mBlockFilterCoeffs[5] {};
    int32_t mBlockFilterCounter = 0;
    int32_t mBlockLimiterReleaseSamples = 100;

    RelaxedAtomic<int32_t> mLookaheadBlocks { 0 };
    RelaxedAtomic<int32_t> mNrInChannels { 0 };
    RelaxedAtomic<int32_t> mNrTotalInChannels { 0 };
    RelaxedAtomic<float> mSampleRate { 48000.0f };
    RelaxedAtomic<int32_t> mBlocksize { 1024 };
    int32_t mWasPlaying = 0;
    int64_t mPrevTimestamp = 0;
    int64_t mFreeRunningSamples = 0;
    RelaxedAtomic<int32_t> mCurrentProgram { -1 };
    int32_t mProgramOfLastBlock = -1;  // the program a VST3 host last sent with a block (render thread)
    RelaxedAtomic<int32_t> inputFormat { 0 };
    RelaxedAtomic<int32_t> mLimiterLatency { 0 };
    RelaxedAtomic<int32_t> mLookaheadLatency { 0 };
    std::set<juce::String> mUserPresetNames;
    int32_t mCurrentUserPresetIndex = -1;
    RelaxedAtomic<int32_t> mUserPresetModified { 0 };
    RelaxedAtomic<int32_t> mParamNotifyGate { 0 };
    juce::String currentUserPreset;
    RelaxedAtomic<int32_t> mParamChangeCounter { 0 };
    RelaxedAtomic<int32_t> mICloudEnabled { 1 };
    std::string mICloudContainerPath;
    RelaxedAtomic<int32_t> mLinkStatus { 0 };
    int32_t mSeenParamChangeCount[NUM_LINK_RECORDS] {};  // by link record (see LinkExchange)
    ExchangeState mExchange;
    SideChainExchange mSideChain { sExtSideChainData };
    LinkExchange mLink { mInstRMSBuffers, mSeenParamChangeCount };
    std::unique_ptr<MIDI_WRAPPER::midi_wrapper> mMidiWrapper;
    RelaxedAtomic<int32_t> midi_progr_change_mode { 0 };
    RelaxedAtomic<int32_t> midi_progr_change_channel { -1 };
    RelaxedAtomic<int32_t> midi_CC_receive_mode { 0 };
    RelaxedAtomic<int32_t> midiSideChan { -1 };
    RelaxedAtomic<int32_t> mMidiSideVelocity { 0 };
    RelaxedAtomic<int32_t> midi_receive_from_DAW { 0 };

    // Auto gain in dB, one value for the whole processor (render thread).
    float mAutoGainDb = 0.0f;

    AdaptiveThreshold::LevelSum mLevelsAhead[MAX_CHANNELS];  // per channel, from prepareDetectors

    // The mix mode of the block being rendered, taken once per block: the signal path reads
    // this copy so that a change from another thread never splits a block between two layouts.
    MixMode mBlockMixMode = MixMode::sum;
    RenderLoopState mRenderState;

private:
    // Guards mUserPresetNames, currentUserPreset and mCurrentUserPresetIndex (never taken by
    // the render thread, which does not read them).
    juce::CriticalSection mPresetLock;
    bool mCloudClientRegistered = false;

    // MIDI remote control (processor/midi/MidiRemote.cpp).
    std::atomic<bool> mProgramChangeStepPosted { false };
    std::atomic<bool> mSourceReconnectPosted { false };
    std::unique_ptr<CallbackTimer> mProgramChangeTimer = std::make_unique<CallbackTimer>();
    RelaxedAtomic<bool> mMidiWorkAllowed { false };  // set at the end of the constructor

public:
    // The program change waiting for the message thread.
    ProgramChangeSlot mProgramChangeSlot;
    // What the program-change step selected (message thread; read by tests).
    RelaxedAtomic<int32_t> mProgramChangeLoads { 0 };
    juce::String mLastProgramChangePreset;

private:
    RelaxedAtomic<int32_t> mEnvelopeResetRequests { 0 };
    RelaxedAtomic<int32_t> mEditorRefreshPending { 0 };
    RelaxedAtomic<bool> mPrepared { false };
    RelaxedAtomic<bool> mConstructed { false };  // set at the end of the constructor

    // Work that only the message thread may do, asked for from other threads: a new latency
    // (setLatencySamples takes JUCE's listener lock and the VST3 wrapper posts) and the host
    // notifications of a program switch or restore. Render threads only raise these flags;
    // the hand-off timer takes them on the message thread.
    RelaxedAtomic<int32_t> mLatencyHandOff { 0 };
    RelaxedAtomic<int32_t> mHostNotifyHandOff { 0 };
    RelaxedAtomic<int32_t> mHostNotifyPosted { 0 };  // a coalesced post is on its way
    // Indices (bit k for parameter k) whose new values the next notification passes on, and the
    // value each had when it was marked: one moved again since then is left alone. The value
    // before the first untold change tells a VST3 controller whether its host set it since.
    std::atomic<uint32_t> mValuesToTell { 0 };
    RelaxedAtomic<float> mValueTold[NUM_PARAMETERS];
    RelaxedAtomic<float> mValueBefore[NUM_PARAMETERS];
    RelaxedAtomic<int32_t> mProgramToAnnounce { 0 };  // the next notification announces the program
    // Marked values a VST3 controller handed back until its host's values reach it, how often in
    // a row it did, and the hand-off timer's ticks since (message thread).
    RelaxedAtomic<int32_t> mValuesHeldBack { 0 };
    RelaxedAtomic<int32_t> mTimesHeldBack { 0 };
    int mTicksHeldBack = 0;
    static constexpr int ticksToWaitForHostValue = 4;
    std::atomic<uint32_t> mHostRestores { 0 };  // restores of the VST3 host's state applied so far
    // Indices a linked adoption changed on the render thread, told by the hand-off timer.
    std::atomic<uint32_t> mAdoptedToTell { 0 };
    // The LV2 wrapper writes its latency port from getLatencySamples() right after each block,
    // and its listeners neither post nor lock against other threads while blocks run (they come
    // and go with the instance): there the render thread sets the latency of each block itself,
    // and nothing else sets it while blocks may run.
    const bool mLatencyByRenderThread = wrapperType == wrapperType_LV2;
    // The program-change mode a restore mirrors into the user defaults (-1: none waiting): a
    // file is written on the message thread only, never on the host's thread of the restore.
    RelaxedAtomic<int32_t> mProgChangeModeWriteBack { -1 };

    // Polls the flags above on the message thread. It is not the processor's own juce::Timer:
    // that one is the rendering watchdog, which runs only once a restore or the editor starts it.
    struct HandOffTimer final : juce::Timer
    {
        explicit HandOffTimer (BrisaltoAudioProcessor& p)
            : owner (p)
        {
        }
        void timerCallback() override { owner.takeHandOffs(); }
        BrisaltoAudioProcessor& owner;
    };
    HandOffTimer mHandOffTimer { *this };

    CloudContainerAnswerGate mCloudAnswerGate;

public:
    // Async work and other objects' timers reach the processor only through this.
    LifetimeGuard<BrisaltoAudioProcessor> mLifetime { *this };

    //==============================================================================
    // Any host thread. The host creates, prepares, asks, restores and sets parameters on
    // threads of its own, the message thread among them; nothing here waits for the render
    // thread, and what must reach the host or the editor is handed to the message thread.
    BrisaltoAudioProcessor();
    ~BrisaltoAudioProcessor() override;

    const juce::String getName() const override;
    // Never while rendering.
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;
    void memoryWarningReceived() override;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    void numChannelsChanged() override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    // The 30 parameters through the legacy index-based interface (setParameter also on the
    // render thread, for a linked adoption).
    using juce::AudioProcessor::getParameterName;
    using juce::AudioProcessor::getParameterText;
    int getNumParameters() override;
    const juce::String getParameterName (int index) override;
    float getParameter (int index) override;
    const juce::String getParameterText (int index) override;
    float getParameterDefaultValue (int index) override;
    void setParameter (int index, float newValue) override;
    bool isParameterAutomatable (int index) const override;

    // Stable textual ids for formats that address parameters by name (LV2 needs ids that do
    // not start with a digit; zero-padded so that sorting by id keeps the index order).
    // VST3 keeps the plain indices "0".."29".
    juce::String getParameterID (int index) override;

    static float parameterValue2Plugin (int index, float value);

    // Detector band-filter coefficients from the current parameters, handed to the render loop.
    void calc_filter_coeffs();

    // Every parameter's normalised value under a factory program (defaults where it names none).
    void getProgramParameters (int program, float (&values)[NUM_PARAMETERS]) const;
    // The state chunk of the current state with these parameter values and this preset name.
    void getStateInformationWith (const float (&values)[NUM_PARAMETERS], const juce::String& presetName,
                                  juce::MemoryBlock& destData);

    // Restores a state chunk; false when the text is not a state chunk (nothing changed).
    bool applyStateChunk (const void* data, int sizeInBytes, ValuesOrigin origin = ValuesOrigin::switchOrLoad);

    // Tells the wrappers, once, that the values differ from `before` (the legacy setParameter
    // calls of a program switch or a restore are not seen by them). Never inside the caller's
    // call, which may be the host's: always later, on the plug-in's message thread (posted, or
    // from a render thread picked up by the hand-off timer, since a render thread posts nothing).
    // There each value the change moved and nobody moved since goes to the wrappers inside a
    // gesture, and the program is announced unless a VST3 host chose or restored it itself.
    // The VST3 wrapper instead takes those values on a program announcement, without edits
    // (ControllerValueRefresh). After the host's own restore a VST3 host re-reads every value
    // itself (setComponentState): no value goes back to it at all. A program the VST3 host sent
    // with a block is told once its controller receives the same choice
    // (programChoiceReachedController).
    void tellHostParametersChanged (const float (&before)[NUM_PARAMETERS], ValuesOrigin origin);

    // Whether the calling thread is the message thread; true as well when the process has no
    // message manager at all (no wrapper and no message loop to hand anything to), false on a
    // thread that has rendered, without asking JUCE (which takes a lock to answer).
    static bool isMessageThreadOrNone() noexcept;

    // Makes every later instance start with 7.1.4 on all three buses instead of stereo: called
    // once, when it loads, by a library whose fixed ports carry 7.1.4 (the wide LV2).
    static void useWideDefaultBuses() noexcept;

    // The user-preset state read off the message thread, as copies under the preset lock.
    std::set<juce::String> getUserPresetNames() const;  // a copy of mUserPresetNames
    juce::String getCurrentUserPreset() const;
    int getCurrentUserPresetIndex() const;
    bool isUserPresetLoadInProgress() const noexcept;

    // MIDI remote control (processor/midi/). enableMidiReceive is message-thread
    // work: called on another thread or while the processor is being built, it is posted to the
    // message thread through the lifetime handle.
    void enableMidiReceive();

    // The MIDI filter, for the own client (receive thread) and the host's MIDI (render thread):
    // a program change on the program-change channel goes into the processor's slot (taken on
    // the message thread), a note-on on the side-MIDI channel sets mMidiSideVelocity. No lock,
    // no allocation. Messages out of range (status, channel 0..15, data 0..127) are dropped.
    void midiReceiveCallback (int status, int channel, int dataByte1, int dataByte2) noexcept;

    // The link record this instance publishes in (handed out at construction), or -1.
    int linkRecordIndex() const noexcept { return mLink.record(); }

    //------------------------------------------------------------------------------
    // While nothing renders (construction, prepareToPlay).
    // Sizes the signal path's storage for the prepared rate, block size and channels.
    void prepareSignalPath();
    // Sizes the ring and the render loop's storage.
    void prepareRenderLoop();

private:
    static BusesProperties makeBuses();

    // Derives the plain members of one parameter from mParams; no notification.
    void deriveParameter (int index);
    void updateLatency();
    int reportedLatency() const noexcept { return mLookaheadLatency + mLimiterLatency; }
    void notifyParameterChange();
    void requestEditorRefresh();
    void requestProgChangeModeWriteBack (int32_t mode) noexcept { mProgChangeModeWriteBack = mode; }

    // Changes to the channel states asked for from other threads, applied by the render thread
    // between blocks (or directly while nothing renders).
    void applyPendingChannelStateChanges() noexcept;

    // Whether wrapper work may run right here: on the message thread, once constructed.
    bool canDoMidiWorkHere() const;
    // Runs fn on the message thread later, while this processor lives.
    void postMidiWork (std::function<void (BrisaltoAudioProcessor&)> fn);
    // After a restore: disconnect the own sources while MIDI comes from the host, else enable
    // the own MIDI when wanted; keep the program-change timer in step.
    void applyRestoredMidiSettings (bool wantsOwnMidi);
    // Receive thread: posts one program-change step unless one is pending already.
    void requestProgramChangeStep();
    // Receive thread: posts one reconnect of the own sources unless one is pending already.
    void requestSourceReconnect();

    // Construction and destruction, on the host's thread that creates or destroys.
    void scanPresetFolders();
    void loadDefaultPreset();
    void startCloudContainerLookup();
    void leaveCloudWatcher();
    // Destructor: stops the timer and deletes it where no tick can be running.
    void releaseProgramChangeTimer();

public:
    //==============================================================================
    // Render thread only: no lock another thread can hold, no allocation, no posting, no file
    // or log I/O beyond the exchange's rate-limited lines.
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    void processBlockBypassed (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    using juce::AudioProcessor::processBlock;
    using juce::AudioProcessor::processBlockBypassed;

    // Signal path (detector, look-ahead ring and output stage).
    // detectorReady: prepareDetectors already prepared this channel's block and levels ahead.
    void calc_gains (channelComprStateT& state, int ringIndex, int channel, int n, int lookaheadBlocks,
                     bool detectorReady = false);
    // The detector blocks of channels 0 .. count-1 (one state each), cleaned of non-finite
    // samples and band-filtered together, and the levels of the blocks ahead of them, ready
    // for calc_gains.
    void prepareDetectors (int ringIndex, int count, int n, int lookaheadBlocks);
    // calc_gains for the multi-mono channels set in `channels` (bit k: channel k, each its own
    // state), after prepareDetectors: their envelopes run side by side in vector lanes where
    // no channel's depends on the one before.
    void calcGainsInLanes (int ringIndex, uint32_t channels, int n, int lookaheadBlocks);
    void input_2_ringbuf (int ringIndex, int channel, const float* samples, int n);
    void apply_gain_to_ringbuf (channelComprStateT& state, int ringIndex, int channel, float* out, int n);

    // The stages' settings for the block being rendered, from the per-block copies.
    DetectorSettings detectorSettings() const noexcept;
    OutputSettings outputSettings() const noexcept;

    // Advances the state's Mix smoother once for the block (called by calc_gains); every
    // channel that uses the state reads the same ramp.
    void advanceMixRamp (channelComprStateT& state, int n) noexcept;
    void runEnvelope (channelComprStateT& state, const float* det, const float* peakSquares, int n, float threshold,
                      float adaptiveLevel, bool nonLinearRelease, float exponent) noexcept;
    void applyTube (const channelComprStateT& state, int channel, const float* src, float* out, int n) noexcept;

    // The parameter snapshot every block starts with (mParamSnapshot, the mBlock* values and,
    // with the filter's coefficients, the display values).
    void snapshotParameters (bool takeFilterCoeffs) noexcept;

private:
    bool beginBlock (RenderBlock&, juce::AudioBuffer<float>&, bool bypassed) noexcept;
    void readPlayHead (RenderBlock&) noexcept;
    void noteHostBlockSize (int n, bool bypassed) noexcept;
    void computeDisplayValues() noexcept;
    void followTransport (RenderBlock&) noexcept;
    void resetChannelStatesForStart (bool clearFilterState) noexcept;
    void handOverFilterCoeffs() noexcept;
    void updateChannelCounts (RenderBlock&, bool bypassed) noexcept;
    // The one allocation: a host that changes the layout without preparing again grows the ring.
    void ensureRingCapacity (int channelBlocks);
    void writeInputsToRing (RenderBlock&, int offset, int n, bool bypassed) noexcept;
    void buildSumDetector (RenderBlock&, const float* x, int ch, int n) noexcept;
    void writeSideChainToRing (RenderBlock&, int offset, int n) noexcept;
    void writeSideDetectorSource (RenderBlock&, int n) noexcept;
    int selectReadElement (RenderBlock&, bool& filling) noexcept;
    void alignReadElement (RenderBlock&, int readIndex, int n) noexcept;
    void finishRingStep (RenderBlock&) noexcept;
    void renderChunk (RenderBlock&, int offset, int n) noexcept;
    void runDetectorAndGains (RenderBlock&, int readIndex, bool filling, int offset, int n) noexcept;
    // The output stage for each of the listed channels into its output; detector is the shared
    // detector state's index, or -1 where each channel has its own.
    void renderOutputs (int readIndex, int detector, const int* channels, float* const* outs, int count, int n) noexcept;
    // The ring blocks a channel's output reads (src, and what is heard while listening), or
    // false when the ring or the state cannot serve n samples of it.
    bool outputSources (const channelComprStateT& state, int ringIndex, int channel, int n, const float*& src,
                        const float*& listenSource) const noexcept;
    void bypassChunk (RenderBlock&, int offset, int n) noexcept;
    void alignOutputsWithLatency (RenderBlock&, int offset, int n, bool bypassed, bool filling) noexcept;
    void writeExtraOutputs (RenderBlock&, int offset, int n) noexcept;
    void reportLatencyOfBlock (int latency) noexcept;

    // Host MIDI: the side-MIDI velocity and program changes, through midiReceiveCallback.
    void takeHostMidi (const juce::MidiBuffer&) noexcept;

    // Exchange with other instances in the host process (processor/exchange/): the link
    // group once per rendered chunk, with the chunk's timestamp tsx and length n; what the
    // exchange objects return is applied here.
    void linkSend (const RenderBlock&, int offset, int n, int64_t tsx) noexcept;
    int linkReceive (const RenderBlock&, float* sumBlock, int n, int64_t tsx) noexcept;
    void adoptLinkedParameters (const LinkExchange::Adoption&) noexcept;
    void clearExchangeRecords() noexcept;
    void finishExchangeBlock (int n) noexcept;

public:
    //==============================================================================
    // Message thread only.
    juce::AudioProcessorEditor* createEditor() override;  // defined with the editor (editor/shell)
    void timerCallback() override;

    // The editor's set in display units; the third argument is not used.
    void setParameterValue (int index, float value, int unused);

    // User presets (processor/presets/). The name set, the current name and its index are
    // guarded by one lock, because hosts save and restore state on other threads: code off the
    // message thread reads them through the copy accessors above.
    juce::File getPresetDir (int local);
    juce::String getFullPathOfPreset (juce::String name);  // "" for a refused name
    int loadUserPreset (juce::String name);                // 0 applied, -1 nothing changed
    bool writeUserPreset (juce::String name);              // false: nothing changed
    bool removeUserPreset (juce::String name);             // false: the name stays listed
    bool writeDefaultPreset();                             // "Save as Default"
    int getUserPresetIndx (const juce::String& name);
    juce::String getUserPresetName (int index);
    void clearCurrentUserPreset();  // no user preset is current

    // Factory presets (processor/presets/FactoryPresetCopy.cpp): the "*.json" state chunks
    // directly in the plug-in's resources folder, and each factory program but "default" as
    // "factory:<program name>". Copying adds only names the store lacks and never overwrites a
    // file; the parameters, the current preset and its modified flag stay as they are.
    bool hasFactoryPresetsToCopy (const juce::File& resourcesFolder);
    int copyFactoryPresets (const juce::File& resourcesFolder);  // how many presets were added

    // The cloud container lookup's answer: registers with the watcher.
    void get_iCloudContainerCallback (std::string path);
    // Rebuilds the name set from the watcher's current cloud files.
    void rebuildUserPresetNames (const std::set<std::string>& docs);

    // "MIDI from the host" on or off (the advanced panel's switch): on disconnects the own
    // sources (the flag alone already stops the own client's messages), off enables the own MIDI.
    void setMidiReceiveFromHost (bool fromHost);

    // Disconnects the own client's sources; client, port and destination stay.
    void disconnectOwnMidiSources();

    // The main panel's group selector calls this with the selected id k.
    void groupSelectorChanged (int k) noexcept;

    // Whether the editor asked to be refreshed from a thread that may not post messages.
    bool takeEditorRefreshRequest() noexcept { return mEditorRefreshPending.exchange (0) != 0; }

private:
    int indexOfPresetLocked (const juce::String& name) const;
    bool writeStateTo (const juce::File& file);
    bool writeChunkTo (const juce::File& file, const juce::MemoryBlock& chunk);
    bool addFactoryPreset (const juce::String& name, const juce::MemoryBlock& chunk);

    std::unique_ptr<MIDI_WRAPPER::midi_wrapper> makeMidiWrapper();
    // Starts the timer while a program-change mode is on (or a change is pending).
    void updateProgramChangeTimer();
    void reconnectOwnMidiSources();
    // The program-change step (posted, or the timer's tick).
    void runProgramChangeStep();
    // The Standalone's start-up step.
    void runStandaloneMidiStartUp();
    // Loads the user preset a program change selected.
    void loadPresetForProgramChange (const juce::String& name);

    // The hand-off timer's work (or, with no message manager, the calling thread's).
    void takeProgChangeModeWriteBack();
    void takeHandOffs();
    void notifyHostNow();
    void tellValues (uint32_t indices, bool onlyUnmovedSinceMarked);
    // What the VST3 wrapper takes on a program announcement (ControllerValueRefresh).
    MovedValues takeMovedValues() noexcept override;
    uint32_t hostRestoresSoFar() const noexcept override;
    bool takeProgramAnnouncement() noexcept override;
    void takeProgramOfBlock (int program) noexcept override;
    void programChoiceReachedController() override;
    void holdBackMovedValues (const MovedValues& moved) noexcept override;
    void hostValueReachedController() override;
    // Has what tellHostParametersChanged marked told on the message thread (posted, or by the
    // hand-off timer).
    void requestHostNotification();
    void switchProgram (int index, ValuesOrigin origin);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BrisaltoAudioProcessor)
};
