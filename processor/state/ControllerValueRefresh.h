#pragma once

#include <cstdint>

// What our build of JUCE's VST3 wrapper asks the processor when it announces a program change
// (cmake/BrisaltoJucePatches.cmake): which values a program switch or preset load moved, so that
// the controller copies them into the values it hands the host and asks the host to re-read
// them all, instead of sending each back to the host as an edit the user never made.
// Called on the plug-in's message thread, from inside updateHostDisplay, except where noted.
class ControllerValueRefresh
{
public:
    static constexpr int maxValues = 32;

    // Bit k of `indices` set: parameter k went from before[k] to now[k]. A controller that no
    // longer holds before[k] was set by its host since the switch and keeps what it holds.
    struct MovedValues
    {
        uint32_t indices = 0;
        float before[maxValues] {};
        float now[maxValues] {};
        int timesHeldBack = 0;  // how often in a row they were handed back (holdBackMovedValues)
        uint32_t restoresBefore = 0;  // hostRestoresSoFar() when they were taken
    };

    // The values moved since the last call that nobody has moved again since; marks them told.
    virtual MovedValues takeMovedValues() noexcept = 0;

    // How many of its host's restores the processor has applied (any thread). A restore drops
    // every value still to be told or held back: the host re-reads the restored values itself
    // (setComponentState). One that ends after takeMovedValues may have reached the controller
    // before the refresh's copies did: then the processor's values, the restored ones, are copied
    // again.
    virtual uint32_t hostRestoresSoFar() const noexcept = 0;

    // The controller found a value its host set that has reached only one of the processor and
    // the controller: the host's re-read would take the older copy into its view. The values are
    // marked again and told once the host hands the controller a value
    // (hostValueReachedController), or a moment later if none comes; after maxTimesHeldBack in a
    // row they are told regardless.
    static constexpr int maxTimesHeldBack = 8;
    virtual void holdBackMovedValues (const MovedValues& moved) noexcept = 0;

    // The host handed the controller a value other than the one it held (its thread).
    virtual void hostValueReachedController() = 0;

    // Whether this announcement is also the processor's own program choice, which the
    // controller's program parameter must follow (false when the host chose the program there).
    virtual bool takeProgramAnnouncement() noexcept = 0;

    // The program the host sent through its program parameter with the block about to be
    // processed (render thread, ahead of that block's other values): the processor switches there,
    // in the order of the host's automation, when the host chose a program it has not sent before.
    virtual void takeProgramOfBlock (int program) noexcept = 0;

    // The controller received the program that is current already: the host's copy of a choice
    // the processor took from a block. The values that switch moved go to the host now (later,
    // from the plug-in's message thread), while the host still holds the values it set meanwhile.
    virtual void programChoiceReachedController() = 0;

protected:
    ~ControllerValueRefresh() = default;
};
