#include "EditorTestSupport.h"
#include "OpenEditor.h"
#include "PanelTestSupport.h"
#include "common/FakeXdgOpen.h"

#include "platform/BundleResources.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    using Slider = std::unique_ptr<juce::Slider> ControlPanel::*;
    using Toggle = std::unique_ptr<juce::ToggleButton> ControlPanel::*;

    // A user's click: the new toggle state, then the panel's listener.
    void click (ControlPanel& p, juce::Button& button, bool on)
    {
        button.setToggleState (on, juce::dontSendNotification);
        p.buttonClicked (&button);
    }

    float hostValue (const HostRecorder& host, int index)
    {
        for (auto e = host.events.rbegin(); e != host.events.rend(); ++e)
            if (e->kind == 'v' && e->index == index)
                return e->value;
        return -1.0f;
    }
}

TEST (ControlPanelKnobs, SendNormalisedValuesWritePlainMembersAndBracketGestures)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;
    HostRecorder host (proc);

    // Each knob at both ends and in the middle: the value the host hears, and the plain member.
    struct Row
    {
        Slider knob;
        int index;
        double values[3];
        float sent[3];
        RelaxedAtomic<float>* member;
    };
    const Row rows[] = {
        { &ControlPanel::thresholdSlider, 0, { -50, -25, 0 }, { 0, 0.5f, 1 }, &proc.mThresholdDb },
        { &ControlPanel::releaseSlider, 1, { 5, 2000, 4000 }, { 0.00125f, 0.5f, 1 }, &proc.mReleaseMs },
        { &ControlPanel::attackSlider, 3, { 0, 25, 50 }, { 0, 0.5f, 1 }, nullptr },
        { &ControlPanel::ratioSlider, 5, { 1, 5.5, 10.5 }, { 0.05f, 0.5f, 1 }, &proc.mRatio },
        { &ControlPanel::makeupGainSlider, 6, { -30, 0, 30 }, { 0, 0.5f, 1 }, &proc.mMakeupDb },
        { &ControlPanel::classAAmountSlider, 10, { 0, 50, 100 }, { 0, 0.5f, 1 }, nullptr },
        { &ControlPanel::distortAmountSlider, 20, { 0, 50, 100 }, { 0, 0.5f, 1 }, nullptr },
        { &ControlPanel::mixSlider, 12, { -100, 0, 100 }, { 0, 0.5f, 1 }, nullptr },
        { &ControlPanel::classABAmountSlider, 27, { 0, 50, 100 }, { 0, 0.5f, 1 }, nullptr },
        { &ControlPanel::filterFreqSlider, 22, { 50, 10000, 20000 }, { 0.0025f, 0.5f, 1 }, nullptr },
    };

    for (const auto& row : rows)
    {
        auto& knob = *(p.*row.knob);
        for (int i = 0; i < 3; ++i)
        {
            SCOPED_TRACE (juce::String (row.index) + " at " + juce::String (row.values[i]));
            proc.mCurrentProgram = 4;
            const int changes = proc.mParamChangeCounter;
            knob.setValue (row.values[i], juce::dontSendNotification);
            p.sliderValueChanged (&knob);
            EXPECT_NEAR (hostValue (host, row.index), row.sent[i], 1e-6f);
            EXPECT_NEAR (proc.getParameter (row.index), row.sent[i], 1e-6f);
            if (row.member != nullptr)
            {
                EXPECT_FLOAT_EQ (*row.member, (float) row.values[i]);
            }
            EXPECT_EQ (proc.mCurrentProgram, 0);
            EXPECT_GT (proc.mParamChangeCounter, changes);
        }

        host.events.clear();
        p.sliderDragStarted (&knob);
        p.sliderDragEnded (&knob);
        ASSERT_EQ (host.events.size(), 2u);
        EXPECT_EQ (host.events[0].kind, 'b');
        EXPECT_EQ (host.events[1].kind, 'e');
        EXPECT_EQ (host.events[0].index, row.index);
        EXPECT_EQ (host.events[1].index, row.index);
    }

    // Attack in samples at the current rate, truncated.
    for (const auto& [rate, ms, samples] : { std::tuple { 44100.0f, 12.34, 544 }, std::tuple { 48000.0f, 12.34, 592 } })
    {
        proc.mSampleRate = rate;
        p.attackSlider->setValue (ms, juce::dontSendNotification);
        p.sliderValueChanged (p.attackSlider.get());
        EXPECT_EQ (proc.mAttackSamples, samples) << rate;
    }

    // MIX: a double-click swaps its ends; elsewhere the last target stays.
    for (const auto& [value, target] : { std::pair { 0.0, 100.0 }, { 37.0, 100.0 }, { 100.0, 0.0 }, { -50.0, 0.0 } })
    {
        p.mixSlider->setValue (value, juce::dontSendNotification);
        p.sliderValueChanged (p.mixSlider.get());
        EXPECT_EQ (p.mixSlider->getDoubleClickReturnValue(), target) << value;
    }

    // Senders that are not the panel's knobs are ignored.
    juce::Slider stranger;
    host.events.clear();
    p.sliderValueChanged (&stranger);
    p.sliderDragStarted (&stranger);
    EXPECT_TRUE (host.events.empty());
}

TEST (ControlPanelSwitches, WriteParametersAndExcludeEachOther)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;

    const std::pair<Toggle, int> rows[] = {
        { &ControlPanel::autoGainToggle, 2 },      { &ControlPanel::maxMakeupToggle, 18 },
        { &ControlPanel::nonLinReleaseToggle, 7 }, { &ControlPanel::adaptiveToggle, 8 },
        { &ControlPanel::tubeDistortToggle, 9 },   { &ControlPanel::smoothToggle, 13 },
        { &ControlPanel::softLimiterToggle, 14 },  { &ControlPanel::bpFilterToggle, 21 },
        { &ControlPanel::listenToggle, 23 },       { &ControlPanel::hardLimiterToggle, 28 },
    };
    for (const auto& [toggle, index] : rows)
        for (const bool on : { true, false })
        {
            proc.mCurrentProgram = 2;
            click (p, *(p.*toggle), on);
            EXPECT_EQ (proc.getParameter (index), on ? 1.0f : 0.0f) << index;
            EXPECT_EQ (proc.mCurrentProgram, 0) << index;
        }

    // AUTO GAIN and MAX MAKEUP: switching one on switches the other off; off touches nothing else.
    click (p, *p.maxMakeupToggle, true);
    click (p, *p.autoGainToggle, true);
    EXPECT_EQ (proc.getParameter (18), 0.0f);
    EXPECT_FALSE (p.maxMakeupToggle->getToggleState());
    EXPECT_EQ (proc.mAutoGainOn, 1);
    click (p, *p.autoGainToggle, false);
    EXPECT_EQ (proc.getParameter (18), 0.0f);
    click (p, *p.autoGainToggle, true);
    click (p, *p.maxMakeupToggle, true);
    EXPECT_EQ (proc.getParameter (2), 0.0f);
    EXPECT_EQ (proc.mAutoGainOn, 0);
    EXPECT_FALSE (p.autoGainToggle->getToggleState());

    click (p, *p.syncParsToggle, false);
    EXPECT_EQ (proc.grp_param_sync, 0);

    // A host's 0.7 is on, for the processor and for the panel alike.
    proc.setParameter (2, 0.7f);
    proc.setParameter (28, 0.7f);
    p.update_UI();
    EXPECT_TRUE (p.autoGainToggle->getToggleState());
    EXPECT_TRUE (p.hardLimiterToggle->getToggleState());
}

TEST (ControlPanelSwitches, EnablementFollowsTheSwitchesAndTheFilterType)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& a = *p.advancedPanel;
    auto& proc = open.processor;

    // Parameters set (MaxMakeupOn, AutoGainMakeupOn, Tube, BPFilterOn, filter type, Adaptive, NonLin)
    // and what is enabled; the filter label names the type.
    struct Row
    {
        float maxMakeup, autoGain, tube, filter, type, adaptive, nonLin;
        bool makeup, tubeKnobs, filterKnob, maxLevel, autoAmount, q, adaptiveKnobs, nonLinKnob;
        const char* label;
    };
    const Row rows[] = {
        { 0, 0, 0, 0, 0.0f, 0, 0, true, false, false, false, false, false, false, false, "BP FILTER" },
        { 0.7f, 0, 0.7f, 0.7f, 0.0f, 0.7f, 0.7f, false, true, true, true, false, true, true, true, "BP FILTER" },
        { 0, 1, 1, 1, 0.1f, 0, 0, true, true, true, false, true, false, false, false, "LP FILTER" },
        { 0, 0, 0, 1, 0.2f, 1, 0, true, false, true, false, false, false, true, false, "HP FILTER" },
        { 0, 0, 0, 1, 0.3f, 0, 1, true, false, true, false, false, true, false, true, "Nt FILTER" },
        { 0, 0, 0, 0, 0.3f, 0, 0, true, false, false, false, false, false, false, false, "Nt FILTER" },
        { 0, 0, 0, 0.4f, 0.0f, 0, 0, true, false, false, false, false, false, false, false, "BP FILTER" },
    };
    for (const auto& r : rows)
    {
        SCOPED_TRACE (r.label);
        for (const auto& [index, value] : { std::pair { 18, r.maxMakeup },
                                            { 2, r.autoGain },
                                            { 9, r.tube },
                                            { 21, r.filter },
                                            { 24, r.type },
                                            { 8, r.adaptive },
                                            { 7, r.nonLin } })
            proc.setParameter (index, value);
        p.update_UI();

        EXPECT_EQ (p.makeupGainSlider->isEnabled(), r.makeup);
        for (auto* knob : { p.distortAmountSlider.get(), p.classAAmountSlider.get(), p.classABAmountSlider.get() })
            EXPECT_EQ (knob->isEnabled(), r.tubeKnobs);
        for (juce::Component* c : { (juce::Component*) p.filterFreqSlider.get(), (juce::Component*) p.listenToggle.get(),
                                    (juce::Component*) p.listenLabel.get(), (juce::Component*) a.filterTypeCombo.get() })
            EXPECT_EQ (c->isEnabled(), r.filterKnob);
        EXPECT_EQ (a.maxGainLevelSlider->isEnabled(), r.maxLevel);
        EXPECT_EQ (a.autoGainAmountSlider->isEnabled(), r.autoAmount);
        EXPECT_EQ (a.filterQSlider->isEnabled(), r.q);
        for (auto* knob : { a.lookaheadSlider.get(), a.adaptiveGainSlider.get(), a.adaptiveAmountSlider.get() })
            EXPECT_EQ (knob->isEnabled(), r.adaptiveKnobs);
        EXPECT_EQ (a.nonLinReleaseSlider->isEnabled(), r.nonLinKnob);
        EXPECT_EQ (p.bpFilterLabel->getText(), r.label);
    }
}

// A filter type chosen in ADVANCED for a modified preset asks for no refresh: the timer's next
// tick still shows it, as it shows one from the host.
TEST (ControlPanelSwitches, FilterTypeFromAnywhereReachesTheLabelAndQOnTheNextTick)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;
    proc.setParameter (BPFilterOn, 1.0f);
    p.update_UI();

    const struct
    {
        bool fromHost;
        float type;
        const char* label;
        bool q;
    } changes[] = {
        { false, 0.3f, "Nt FILTER", true },
        { true, 0.0f, "BP FILTER", true },
        { true, 0.1f, "LP FILTER", false },
        { false, 0.2f, "HP FILTER", false },
    };
    for (const auto& c : changes)
    {
        SCOPED_TRACE (c.label);
        proc.mUserPresetModified = 1;
        pumpPendingMessages (1000);
        const int refreshes = p.refreshCount;
        if (c.fromHost)
            proc.setParameter (BPFilterType, c.type);
        else
            p.advancedPanel->filterTypeCombo->setSelectedId ((int) std::lround (c.type * 10.0f) + 1, juce::sendNotificationSync);
        pumpPendingMessages (1000);
        if (! c.fromHost)
        {
            ASSERT_EQ (p.refreshCount, refreshes);  // the panel's own change asks for no refresh
        }

        p.timerCallback();
        EXPECT_EQ (p.bpFilterLabel->getText(), c.label);
        EXPECT_EQ (p.advancedPanel->filterQSlider->isEnabled(), c.q);
    }

    p.advancedButton->setToggleState (true, juce::sendNotificationSync);
    writeEditorSnapshot (*open.editor, "editor-advanced-highpass.png");
}

TEST (ControlPanelRefresh, SendModeRestsTheSignalPathControlsWithoutWriting)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;
    proc.setParameterValue (0, -20.0f, 0);
    proc.setParameter (9, 1.0f);
    proc.setParameter (28, 1.0f);
    p.update_UI();
    proc.mixMode = (int) MixMode::sideChainSend;
    p.update_UI();

    EXPECT_EQ (p.thresholdSlider->getValue(), 0.0);
    EXPECT_NEAR (proc.mThresholdDb, -20.0f, 1e-4f);
    for (juce::Component* c : { (juce::Component*) p.thresholdSlider.get(), (juce::Component*) p.mixSlider.get(),
                                (juce::Component*) p.filterFreqSlider.get(), (juce::Component*) p.distortAmountSlider.get() })
        EXPECT_FALSE (c->isEnabled());
    EXPECT_FALSE (p.tubeDistortToggle->isEnabled());
    EXPECT_FALSE (p.tubeDistortToggle->getToggleState());
    EXPECT_TRUE (p.classABAmountSlider->isEnabled());
    EXPECT_TRUE (p.hardLimiterToggle->getToggleState());
    EXPECT_TRUE (p.hardLimiterToggle->isEnabled());

    proc.mixMode = (int) MixMode::sum;
    p.update_UI();
    EXPECT_NEAR (p.thresholdSlider->getValue(), -20.0, 1e-4);
    EXPECT_TRUE (p.tubeDistortToggle->getToggleState());
    EXPECT_TRUE (p.distortAmountSlider->isEnabled());
}

TEST (ControlPanelSelectors, GroupSelectorInEveryMode)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;
    ASSERT_GE (proc.linkRecordIndex(), 0);
    auto& link = BrisaltoAudioProcessor::mInstRMSBuffers[proc.linkRecordIndex()];

    // Mode, the id picked, and groupNumber, trackNumber, midiSideChan after it (from 5, 5, 5);
    // the side-chain modes choose a slot and never join a link group.
    struct Row
    {
        int mode, id, group, track, midi;
        const char* items;
        const char* label;
        bool sync;
    };
    const Row rows[] = {
        // The link groups' list reads the same before and after another mode's list.
        { 1, 3, 2, 2, 5, "OFF 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", "GROUP", true },
        { 2, 1, 0, 0, 5, "OFF 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", "GROUP", true },
        { 3, 16, 15, 15, 5, "OFF 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", "GROUP", true },
        { 4, 3, 5, 2, 5, "1 2 3 4 5 6 7 8", "SIDE CH", false },
        { 5, 8, 5, 7, 5, "1 2 3 4 5 6 7 8", "SIDE CH", false },
        { 6, 1, 5, 5, -1, "All 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", "SIDE CH", false },
        { 6, 17, 5, 5, 15, "All 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", "SIDE CH", false },
        { 2, 4, 3, 3, 5, "OFF 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15", "GROUP", true },
    };
    for (const auto& r : rows)
    {
        SCOPED_TRACE (juce::String (r.mode) + " id " + juce::String (r.id));
        proc.groupNumber = 5;
        proc.trackNumber = 5;
        proc.midiSideChan = 5;
        link.mGroupNumber = 5;
        proc.mixMode = r.mode;
        p.update_UI();
        pumpPendingMessages (1000);

        juce::StringArray items;
        for (int i = 0; i < p.groupCombo->getNumItems(); ++i)
            items.add (p.groupCombo->getItemText (i));
        EXPECT_EQ (items.joinIntoString (" "), r.items);
        EXPECT_EQ (p.groupLabel->getText(), r.label);
        EXPECT_EQ (p.syncParsToggle->isEnabled(), r.sync);
        EXPECT_EQ (p.syncParsLabel->isEnabled(), r.sync);

        p.groupCombo->setSelectedId (r.id, juce::sendNotificationSync);
        EXPECT_EQ (proc.groupNumber, r.group);
        EXPECT_EQ (proc.trackNumber, r.track);
        EXPECT_EQ (proc.midiSideChan, r.midi);
        EXPECT_EQ (link.mGroupNumber.load(), r.id == 1 && r.mode <= 3 ? 0 : 5);
    }

    // A selector without a selection writes nothing.
    proc.midiSideChan = 3;
    p.groupCombo->setSelectedId (99, juce::sendNotificationSync);
    EXPECT_EQ (proc.midiSideChan, 3);
}

// On a stereo input W is there for a link group only: it follows the group selector at once.
TEST (ControlPanelSelectors, WeightButtonFollowsTheGroupAtOnce)
{
    OpenEditor open;
    auto& p = open.panel();
    ASSERT_EQ (open.processor.getMainBusNumInputChannels(), 2);
    ASSERT_FALSE (p.weightButton->isVisible());

    const int refreshes = p.refreshCount;
    for (const auto& [id, shown] : { std::pair (3, true), std::pair (1, false), std::pair (16, true) })
    {
        p.groupCombo->setSelectedId (id, juce::sendNotificationSync);
        EXPECT_EQ (p.weightButton->isVisible(), shown) << id;
    }
    EXPECT_EQ (p.refreshCount, refreshes);
}

TEST (ControlPanelSelectors, RefreshesNeverWriteTheSelectionBack)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;
    proc.groupNumber = 3;
    proc.trackNumber = 6;
    proc.midiSideChan = 20;  // no item: nothing selected

    for (const int mode : { 5, 2, 6, 2 })
    {
        proc.mixMode = mode;
        p.update_UI();
        pumpPendingMessages (1000);
    }
    EXPECT_EQ (proc.groupNumber, 3);
    EXPECT_EQ (proc.trackNumber, 6);
    EXPECT_EQ (proc.midiSideChan, 20);
}

TEST (ControlPanelSelectors, MixModeOfPlugInsAndTheStandalone)
{
    using Type = juce::AudioProcessor::WrapperType;
    // Wrapper, id picked, mix mode written, the processor's watchdog started.
    const std::tuple<Type, int, int, bool> rows[] = {
        { Type::wrapperType_VST3, 6, 6, false },       { Type::wrapperType_VST3, 4, 4, true },
        { Type::wrapperType_LV2, 5, 5, false },        { Type::wrapperType_LV2, 1, 1, false },
        { Type::wrapperType_Standalone, 4, 2, false }, { Type::wrapperType_Standalone, 5, 2, false },
        { Type::wrapperType_Standalone, 6, 6, false },
    };
    for (const auto& [type, id, mode, watchdog] : rows)
    {
        SCOPED_TRACE (juce::String (type) + " id " + juce::String (id));
        juce::AudioProcessor::setTypeOfNextNewPlugin (type);
        OpenEditor open;
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
        auto& p = open.panel();
        // Ids 4 and 5 have no item: they stand for a stored mode.
        p.mixModeCombo->addItem ("4", 4);
        p.mixModeCombo->addItem ("5", 5);
        const int refreshes = p.refreshCount;

        p.mixModeCombo->setSelectedId (id, juce::sendNotificationSync);
        EXPECT_EQ (open.processor.mixMode, mode);
        EXPECT_EQ (open.processor.isTimerRunning(), watchdog);
        pumpPendingMessages (1000);
        EXPECT_EQ (p.refreshCount, refreshes + 1);
    }
}

TEST (ControlPanelSelectors, SideMidiChannelReachesTheMidiFilter)
{
    OpenEditor open;
    auto& p = open.panel();
    auto& proc = open.processor;
    p.mixModeCombo->setSelectedId ((int) MixMode::sideMidi, juce::sendNotificationSync);
    pumpPendingMessages (1000);

    // Channel "3" (0-based 2) is followed and channel 6 is not; "All" follows every channel.
    const std::tuple<int, int, int> notes[] = { { 4, 5, 0 }, { 4, 2, 90 }, { 1, 5, 90 } };
    for (const auto& [id, channel, velocity] : notes)
    {
        p.groupCombo->setSelectedId (id, juce::sendNotificationSync);
        proc.mMidiSideVelocity = 0;
        proc.midiReceiveCallback (0x90, channel, 60, 90);
        EXPECT_EQ (proc.mMidiSideVelocity, velocity) << id << " " << channel;
    }
}
