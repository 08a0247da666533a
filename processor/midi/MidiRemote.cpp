// MIDI remote control: the processor's side of its own MIDI client.
//
// Threads: every piece of wrapper work (create, connect, disconnect, hot-plug reconnect,
// dispose) runs on the message thread; called elsewhere, or while the processor is being built,
// it is posted there through the processor's lifetime handle. The wrapper's callback, bound to
// the lifetime handle, runs on the MIDI system's receive thread; the filter (midiReceiveCallback)
// also runs on the render thread for the host's MIDI.
//
// Program changes: the filter puts them into a lock-free slot per processor. From the receive
// thread at most one program-change step is posted per processor at a time; the step takes
// whatever the slot holds then, so a burst loads one preset, the last. The render thread never
// posts: a message-thread timer takes the slot while a program-change mode is on.

#include "processor/PluginProcessor.h"
#include "processor/midi/MidiSettings.h"
#include "processor/midi/MidiWrapper.h"
#include "processor/midi/PresetSelection.h"

#include "platform/Log.h"
#include "platform/MidiSystem.h"
#include "platform/UserDefaults.h"

namespace
{
    constexpr int programChangeTimerMs = 20;

    // The processor whose user-preset load runs on this thread, if any.
    thread_local const BrisaltoAudioProcessor* tlUserPresetLoad = nullptr;

    std::atomic<bool> postFailureLogged { false };
}

//==============================================================================
BrisaltoAudioProcessor::UserPresetLoadScope::UserPresetLoadScope (const BrisaltoAudioProcessor& processor) noexcept
    : previous (tlUserPresetLoad)
{
    tlUserPresetLoad = &processor;
}

BrisaltoAudioProcessor::UserPresetLoadScope::~UserPresetLoadScope() noexcept
{
    tlUserPresetLoad = previous;
}

bool BrisaltoAudioProcessor::isUserPresetLoadInProgress() const noexcept
{
    return tlUserPresetLoad == this;
}

//==============================================================================
bool BrisaltoAudioProcessor::canDoMidiWorkHere() const
{
    return mMidiWorkAllowed && juce::MessageManager::existsAndIsCurrentThread();
}

void BrisaltoAudioProcessor::postMidiWork (std::function<void (BrisaltoAudioProcessor&)> fn)
{
    const bool posted = juce::MessageManager::callAsync ([self = mLifetime.handle(), work = std::move (fn)]
                                                         { self.call ([&work] (BrisaltoAudioProcessor& p) { work (p); }); });

    // Without a message loop (a format's helper tool, a test without one) no MIDI is set up.
    if (! posted && ! postFailureLogged.exchange (true))
        brisalto::platform::log::write (brisalto::platform::log::notice,
                                        "Brisalto MIDI : no message thread to set up MIDI on, left undone  !!!!");
}

std::unique_ptr<MIDI_WRAPPER::midi_wrapper> BrisaltoAudioProcessor::makeMidiWrapper()
{
    // Bound to the lifetime handle and installed before the wrapper has a port: nothing can
    // deliver before it is in place, and it is never replaced; once the processor is going, a
    // message that still arrives is dropped.
    auto callback = [self = mLifetime.handle()] (void*, int status, int channel, int dataByte1, int dataByte2)
    {
        self.call (
            [&] (BrisaltoAudioProcessor& p)
            {
                p.midiReceiveCallback (status, channel, dataByte1, dataByte2);
                if (status == 0xC0 && p.mProgramChangeSlot.isPending())
                    p.requestProgramChangeStep();
            });
    };

    auto sourceAdded = [self = mLifetime.handle()]
    { self.call ([] (BrisaltoAudioProcessor& p) { p.requestSourceReconnect(); }); };

    return std::make_unique<MIDI_WRAPPER::midi_wrapper> (brisalto::platform::midi::MidiSystem::standard(), std::move (callback),
                                                         this, &midi_receive_from_DAW, std::move (sourceAdded));
}

//==============================================================================
void BrisaltoAudioProcessor::enableMidiReceive()
{
    if (! canDoMidiWorkHere())
    {
        postMidiWork ([] (BrisaltoAudioProcessor& p) { p.enableMidiReceive(); });
        return;
    }

    updateProgramChangeTimer();

    // 1. MIDI from the host only: nothing to make or connect.
    if (midi_receive_from_DAW != 0)
        return;

    // 2. The wrapper (its callback already in place); the client while there is none, so a
    //    client that failed is tried again by the next call.
    if (mMidiWrapper == nullptr)
        mMidiWrapper = makeMidiWrapper();
    auto& wrapper = *mMidiWrapper;
    if (! wrapper.create_client())
        return;

    // 3. The input port and the destination, each only while it is missing.
    if (! wrapper.create_port_and_destination())
        return;

    // 4. Every source, once.
    wrapper.connect_source_endpoints();
}

void BrisaltoAudioProcessor::setMidiReceiveFromHost (bool fromHost)
{
    // The flag takes effect at once: the read procedure checks it for every message.
    midi_receive_from_DAW = fromHost ? 1 : 0;
    if (fromHost)
        disconnectOwnMidiSources();
    else
        enableMidiReceive();
}

void BrisaltoAudioProcessor::disconnectOwnMidiSources()
{
    if (! canDoMidiWorkHere())
    {
        // By the time it runs the user may have switched back: then there is nothing to undo.
        postMidiWork (
            [] (BrisaltoAudioProcessor& p)
            {
                if (p.midi_receive_from_DAW != 0)
                    p.disconnectOwnMidiSources();
            });
        return;
    }

    if (mMidiWrapper != nullptr)
        mMidiWrapper->disconnect_source_endpoints();
    updateProgramChangeTimer();
}

void BrisaltoAudioProcessor::applyRestoredMidiSettings (bool wantsOwnMidi)
{
    if (! canDoMidiWorkHere())
    {
        postMidiWork ([wantsOwnMidi] (BrisaltoAudioProcessor& p) { p.applyRestoredMidiSettings (wantsOwnMidi); });
        return;
    }

    if (midi_receive_from_DAW != 0)
    {
        if (mMidiWrapper != nullptr)
            mMidiWrapper->disconnect_source_endpoints();
    }
    else if (wantsOwnMidi)
    {
        enableMidiReceive();
    }
    updateProgramChangeTimer();
}

//==============================================================================
void BrisaltoAudioProcessor::requestSourceReconnect()
{
    // A device with several ports announces each: one reconnect is enough.
    if (mSourceReconnectPosted.exchange (true))
        return;

    const bool posted = juce::MessageManager::callAsync (
        [self = mLifetime.handle()]
        {
            self.call (
                [] (BrisaltoAudioProcessor& p)
                {
                    p.mSourceReconnectPosted = false;
                    p.reconnectOwnMidiSources();
                });
        });
    if (! posted)
        mSourceReconnectPosted = false;
}

void BrisaltoAudioProcessor::reconnectOwnMidiSources()
{
    // Hot-plug connects nothing while MIDI comes from the host, nor before the
    // wrapper listens.
    if (midi_receive_from_DAW != 0 || mMidiWrapper == nullptr || mMidiWrapper->in_port == 0)
        return;
    mMidiWrapper->connect_source_endpoints();
}

//==============================================================================
void BrisaltoAudioProcessor::requestProgramChangeStep()
{
    if (mProgramChangeStepPosted.exchange (true))
        return;

    const bool posted = juce::MessageManager::callAsync (
        [self = mLifetime.handle()] { self.call ([] (BrisaltoAudioProcessor& p) { p.runProgramChangeStep(); }); });
    if (! posted)
        mProgramChangeStepPosted = false;
}

void BrisaltoAudioProcessor::updateProgramChangeTimer()
{
    // Started here; only its own tick stops it, once the mode has stayed off: a user-preset load
    // restores the preset's mode and puts the instance's own back right after.
    if ((midi_progr_change_mode != 0 || mProgramChangeSlot.isPending()) && ! mProgramChangeTimer->isTimerRunning())
        mProgramChangeTimer->startTimer (programChangeTimerMs);
}

void BrisaltoAudioProcessor::runProgramChangeStep()
{
    // Cleared before the slot is taken: a program change that comes after this posts again.
    mProgramChangeStepPosted = false;

    int channel = 0, program = 0;
    if (! mProgramChangeSlot.take (channel, program))
    {
        if (midi_progr_change_mode == 0 && mProgramChangeTimer->isTimerRunning())
            mProgramChangeTimer->stopTimer();
        return;
    }

    brisalto::platform::log::write (brisalto::platform::log::notice, "Brisalto received Program Change : %x  on chan %d : %d  \n",
                                    0xC0, channel, program);

    // Switched off since the message came: nothing to do.
    const int mode = midi_progr_change_mode;
    if (mode == 0)
        return;

    const auto name = brisalto::midi_remote::selectPresetForProgramChange (mode, program, getUserPresetNames());
    if (name.isNotEmpty())
        loadPresetForProgramChange (name);
}

// The program-change step's way into the user preset store.
void BrisaltoAudioProcessor::loadPresetForProgramChange (const juce::String& name)
{
    mProgramChangeLoads++;
    mLastProgramChangePreset = name;
    loadUserPreset (name);  // reports its own failures
}

void BrisaltoAudioProcessor::releaseProgramChangeTimer()
{
    mProgramChangeTimer->stopTimer();
    if (juce::MessageManager::existsAndIsCurrentThread())
    {
        mProgramChangeTimer.reset();
        return;
    }

    // A tick may be running on the message thread right now: the timer goes behind it there.
    // The message owns it, so it is freed whether the message runs or is thrown away unrun
    // (a loop that never turns again is cleared when the message manager goes).
    std::shared_ptr<CallbackTimer> timer (mProgramChangeTimer.release());
    juce::MessageManager::callAsync ([timer]() mutable { timer.reset(); });
}

//==============================================================================
void BrisaltoAudioProcessor::runStandaloneMidiStartUp()
{
    brisalto::platform::UserDefaults::standard().writeBackInteger (brisalto::midi_remote::progChangeModeKey,
                                                                   midi_progr_change_mode);
    if (midi_progr_change_mode != 0)
        enableMidiReceive();
}
