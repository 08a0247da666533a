# Our build of JUCE 7.0.5's VST3 wrapper. Included from the top-level CMakeLists.txt after
# find_package(JUCE) and before juce_add_plugin, which compiles the wrapper into Brisalto_VST3.
#
# The change: when the processor announces a program change (updateHostDisplay with
# programChanged, which it sends from its message thread after the host's call has returned),
# the controller copies the values the switch moved from the processor into the values it hands
# the host (its own copies only: no performEdit, nothing handed back to the processor) and asks
# the host to re-read them all (restartComponent with kParamValuesChanged). JUCE's own wrapper has
# no way to do that: its controller's copies change only through performEdit, which a host takes
# for the user's edit (it writes automation and marks the project modified), or through
# setComponentState. The processor says which values moved, and whether the announcement is its
# own program choice, through processor/state/ControllerValueRefresh.h. While a value the host set
# has reached only one of the processor and the controller, the refresh waits for it (the host
# would re-read the controller's older copy). A restore of the host's that ends while a refresh
# runs has the restored values copied over the refresh's.
#
# And: a program the host picks through its program parameter goes to the processor from
# process(), with the block that carries it (below).
#
# Debian's wrapper source is read, changed at exact anchors and written into the build folder;
# configure stops if an anchor is missing (another JUCE version). The LV2 and the Standalone
# keep JUCE's files.

set(_brisalto_wrapper "${JUCE_MODULES_DIR}/juce_audio_plugin_client/VST3/juce_VST3_Wrapper.cpp")
set(_brisalto_patched "${CMAKE_BINARY_DIR}/juce_patches/juce_audio_plugin_client_VST3.cpp")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_brisalto_wrapper}")

file(READ "${_brisalto_wrapper}" _brisalto_text)

# Replaces the one occurrence of `anchor` in the wrapper's text; stops configure when there is
# none or more than one.
function(_brisalto_patch_wrapper anchor replacement)
    string(FIND "${_brisalto_text}" "${anchor}" first)
    string(FIND "${_brisalto_text}" "${anchor}" last REVERSE)
    if(first EQUAL -1 OR NOT first EQUAL last)
        message(FATAL_ERROR "JUCE's VST3 wrapper (${_brisalto_wrapper}) is not the one this build changes "
                            "(JUCE 7.0.5): no single occurrence of\n${anchor}")
    endif()
    string(REPLACE "${anchor}" "${replacement}" patched "${_brisalto_text}")
    set(_brisalto_text "${patched}" PARENT_SCOPE)
endfunction()

# The copy lives outside JUCE's folder: its own relative includes must name that folder.
_brisalto_patch_wrapper("#include \"../utility/juce_CheckSettingMacros.h\""
                        "#include \"${JUCE_MODULES_DIR}/juce_audio_plugin_client/utility/juce_CheckSettingMacros.h\"")
string(REPLACE "#include \"../utility/" "#include \"${JUCE_MODULES_DIR}/juce_audio_plugin_client/utility/"
       _brisalto_text "${_brisalto_text}")

_brisalto_patch_wrapper("#include <juce_audio_processors/format_types/juce_VST3Common.h>\n"
"#include <juce_audio_processors/format_types/juce_VST3Common.h>
#include \"${PROJECT_SOURCE_DIR}/processor/state/ControllerValueRefresh.h\"\n")

_brisalto_patch_wrapper("    void audioProcessorChanged (AudioProcessor*, const ChangeDetails& details) override\n"
"    // Brisalto: the values a program switch moved inside the processor, copied into this
    // controller without performEdit (nobody edited them); the host re-reads them. A value the
    // host set here since the switch is kept: while playing, it reaches the processor only with
    // a later block, and the processor's value would undo it.
    int32 refreshValuesMovedInProcessor (::ControllerValueRefresh& source)
    {
        const auto moved = source.takeMovedValues();

        if (moved.indices != 0 && moved.timesHeldBack < ::ControllerValueRefresh::maxTimesHeldBack
            && hostValueInTransit (moved.indices))
        {
            source.holdBackMovedValues (moved);
            return 0;
        }

        uint32 copied = 0;
        forEachValueIn (moved.indices, [&] (Vst::ParamID vstParamId, AudioProcessorParameter& param, int index)
        {
            const auto now = param.getValue();

            if (now == moved.now[index] && (float) EditController::getParamNormalized (vstParamId) == moved.before[index])
            {
                copyToController (vstParamId, now);
                copied |= 1u << (unsigned) index;
            }
        });

        // A restore that ended meanwhile may have reached this controller before some of the
        // copies above did: what the processor holds now, the restored values, goes over them.
        if (source.hostRestoresSoFar() != moved.restoresBefore)
            forEachValueIn (copied, [&] (Vst::ParamID vstParamId, AudioProcessorParameter& param, int)
            {
                copyToController (vstParamId, param.getValue());
            });

        return copied != 0 ? Vst::kParamValuesChanged : 0;
    }

    // Brisalto: a value other than those a switch moved that differs between this controller and
    // the processor is one the host set and has handed to one of them only: the processor received
    // it with a block and the host hands it here later (JUCE's host does so from a timer), or
    // the reverse while the host plays. A re-read now would show the host the older copy, and
    // keep showing it after the newer one arrives.
    bool hostValueInTransit (uint32 movedIndices)
    {
        bool inTransit = false;
        forEachValueIn (~movedIndices, [&] (Vst::ParamID vstParamId, AudioProcessorParameter& param, int)
        {
            inTransit = inTransit || (float) EditController::getParamNormalized (vstParamId) != param.getValue();
        });
        return inTransit;
    }

    // Brisalto: the processor's parameters whose bit is set in `indices`, the program list not among them.
    template <typename Callback>
    void forEachValueIn (uint32 indices, Callback&& callback)
    {
        for (auto vstParamId : audioProcessor->getParamIDs())
        {
            auto* param = audioProcessor->getParamForVSTParamID (vstParamId);
            const auto index = param != nullptr ? param->getParameterIndex() : -1;

            if (vstParamId != audioProcessor->getProgramParamID()
                && index >= 0 && index < ::ControllerValueRefresh::maxValues
                && (indices & (1u << (unsigned) index)) != 0)
                callback (vstParamId, *param, index);
        }
    }

    // Brisalto: this controller's copy alone. JUCE's Param would hand the value to the processor
    // as well while the host is not playing: a value read from the processor a moment ago that a
    // restore has replaced since would undo the restore there.
    void copyToController (Vst::ParamID vstParamId, float value)
    {
        if (auto* copy = getParameterObject (vstParamId))
            copy->Vst::Parameter::setNormalized (value);
    }

    void audioProcessorChanged (AudioProcessor*, const ChangeDetails& details) override\n")

# JUCE's own step stays for the processor's own program choice: it moves the program parameter
# (inside a gesture) when it differs. When the host chose the program there is nothing to move,
# and on Linux, where this runs beside the host's thread, the comparison could switch back a
# program the host has chosen meanwhile.
_brisalto_patch_wrapper("                const auto programParameterId = audioProcessor->getProgramParamID();

                if (audioProcessor->getParamForVSTParamID (programParameterId) != nullptr)
                {"
"                const auto programParameterId = audioProcessor->getProgramParamID();
                auto* valueRefresh = dynamic_cast<::ControllerValueRefresh*> (pluginInstance);

                if (valueRefresh != nullptr)
                    flags |= refreshValuesMovedInProcessor (*valueRefresh);

                if (audioProcessor->getParamForVSTParamID (programParameterId) != nullptr
                    && (valueRefresh == nullptr || valueRefresh->takeProgramAnnouncement()))
                {")

# A program the host picks through its program parameter reaches the processor with the block
# that carries it, ahead of that block's other values (JUCE's component only stores it). JUCE's
# controller also switches when the host hands it the value, which a host may do much later (JUCE's
# own host, from a timer or at its next state call): by then the program is current and nothing
# switches, where it used to overwrite the values the host had automated after it.
_brisalto_patch_wrapper("    void processParameterChanges (Vst::IParameterChanges& paramChanges)
    {
"
"    // Brisalto: the last value of the host's program parameter in this block, to the processor.
    void takeProgramOfBlock (Vst::IParameterChanges& paramChanges)
    {
        const auto programParamId = comPluginInstance->getProgramParamID();
        auto* refresh = dynamic_cast<::ControllerValueRefresh*> (pluginInstance);

        if (refresh == nullptr || comPluginInstance->getParamForVSTParamID (programParamId) == nullptr)
            return;

        for (Steinberg::int32 i = 0; i < paramChanges.getParameterCount(); ++i)
        {
            auto* queue = paramChanges.getParameterData (i);
            Steinberg::int32 offset = 0;
            Vst::ParamValue value = 0.0;

            if (queue != nullptr && queue->getParameterId() == programParamId
                && queue->getPoint (queue->getPointCount() - 1, offset, value) == kResultTrue)
            {
                // The program list's own mapping (ProgramChangeParameter).
                const auto numPrograms = pluginInstance->getNumPrograms();
                refresh->takeProgramOfBlock (jlimit (0, numPrograms - 1, (int) (value * numPrograms)));
                return;
            }
        }
    }

    void processParameterChanges (Vst::IParameterChanges& paramChanges)
    {
        takeProgramOfBlock (paramChanges);
")

# A value the host hands the controller lets a refresh held back for it go ahead
# (hostValueInTransit).
_brisalto_patch_wrapper("                valueNormalized = v;

                // Only update the AudioProcessor here if we're not playing,"
"                valueNormalized = v;

                if (auto* refresh = dynamic_cast<::ControllerValueRefresh*> (owner.getPluginInstance()))
                    refresh->hostValueReachedController();

                // Only update the AudioProcessor here if we're not playing,")

# The controller's late copy of a program the processor took from a block has the values that
# switch moved told to the host then, on the host's side of the exchange.
_brisalto_patch_wrapper("            if (programValue != owner.getCurrentProgram())
                owner.setCurrentProgram (programValue);
"
"            if (programValue != owner.getCurrentProgram())
                owner.setCurrentProgram (programValue);
            else if (auto* refresh = dynamic_cast<::ControllerValueRefresh*> (&owner))
                refresh->programChoiceReachedController();
")

# Written only when it changes, so that a new configure does not recompile the wrapper.
file(WRITE "${_brisalto_patched}.new" "${_brisalto_text}")
configure_file("${_brisalto_patched}.new" "${_brisalto_patched}" COPYONLY)

# The VST3 format target compiles the copy instead of JUCE's file; JUCE's warnings stay JUCE's.
get_target_property(_brisalto_sources juce_audio_plugin_client_VST3 INTERFACE_SOURCES)
list(FIND _brisalto_sources "${JUCE_MODULES_DIR}/juce_audio_plugin_client/juce_audio_plugin_client_VST3.cpp" _brisalto_at)
if(_brisalto_at EQUAL -1)
    message(FATAL_ERROR "juce_audio_plugin_client_VST3 does not compile juce_audio_plugin_client_VST3.cpp: "
                        "not the JUCE 7.0.5 this build changes")
endif()
list(REMOVE_AT _brisalto_sources ${_brisalto_at})
list(INSERT _brisalto_sources ${_brisalto_at} "${_brisalto_patched}")
set_target_properties(juce_audio_plugin_client_VST3 PROPERTIES INTERFACE_SOURCES "${_brisalto_sources}")
set_source_files_properties("${_brisalto_patched}" PROPERTIES COMPILE_OPTIONS "-w")
