# What the plug-in is made of, said once. Included from the top-level CMakeLists.txt right after
# juce_add_plugin(Brisalto ...) and after resources/ (the editor's art).
#
#   brisalto_signal     processor/signal and processor/common: the signal path. JUCE's core
#                       headers only (no GUI, no audio-processor classes).
#   brisalto_platform   platform/: files, folders, logging, user defaults, MIDI system, desktop.
#   Brisalto            the rest of processor/, with the two above and JUCE's modules: the
#                       processor without its editor.
#   brisalto_editor     editor/ and its embedded art, with the processor's createEditor(). Every
#                       format links it beside Brisalto.
#   brisalto_processor_code  what a program of the processor alone links (the processor's test
#                       programs): Brisalto with its include folders, definitions and options. Such
#                       a program defines createEditor() itself.
#   brisalto_shared_code  the same with the editor (the editor's tests, the benchmark, the
#                       preset tool).
#
# JUCE compiles its module sources into the target that links a module, so there is one such
# target, Brisalto; the other libraries are object libraries compiled with Brisalto's settings,
# so that no JUCE class is compiled twice or under other settings.

target_include_directories(Brisalto PUBLIC ${PROJECT_SOURCE_DIR})

target_compile_definitions(Brisalto PUBLIC
    JucePlugin_LV2URI="https://kestrom.example/plugins/brisalto"
    JUCE_FORCE_USE_LEGACY_PARAM_IDS=1
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_USE_CURL=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_VST3_CAN_REPLACE_VST2=0
    # No 2,080 "MIDI CC" stand-in parameters: nothing reads controllers through them, and
    # note-ons still arrive as events.
    JUCE_VST3_EMULATE_MIDI_CC_WITH_PARAMETERS=0
    JUCE_STANDALONE_FILTER_WINDOW_USE_KIOSK_MODE=0
    # Debug builds send JUCE's assertions to the logger, where the editor tests catch them.
    $<$<CONFIG:Debug>:JUCE_LOG_ASSERTIONS=1>)

target_link_libraries(Brisalto
    PRIVATE
        juce::juce_audio_utils
        juce::juce_dsp
        hwy::hwy
    PUBLIC
        juce::juce_recommended_config_flags)

# The legacy index-based parameter interface is deliberate: hosts address parameters by index.
target_compile_options(Brisalto PUBLIC -Wno-deprecated-declarations)

# Gives a target the shared code's include folders, definitions and options: those of the JUCE
# modules Brisalto links privately too, so that JUCE's headers read the same everywhere.
function(brisalto_compile_like_shared_code target scope)
    target_include_directories(${target} ${scope} $<TARGET_PROPERTY:Brisalto,INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} ${scope} $<TARGET_PROPERTY:Brisalto,COMPILE_DEFINITIONS>)
    target_compile_options(${target} ${scope} $<TARGET_PROPERTY:Brisalto,COMPILE_OPTIONS>)
endfunction()

# An object library of the sources the globs find, compiled with Brisalto's settings.
function(brisalto_add_object_library name)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARGN})
    list(FILTER sources EXCLUDE REGEX "/platform/variants/")
    add_library(${name} OBJECT ${sources})
    brisalto_compile_like_shared_code(${name} PRIVATE)
    target_link_libraries(${name} PRIVATE hwy::hwy juce::juce_recommended_config_flags)
endfunction()

brisalto_add_object_library(brisalto_signal
    ${PROJECT_SOURCE_DIR}/processor/signal/*.cpp
    ${PROJECT_SOURCE_DIR}/processor/common/*.cpp)
# The lanes must round as the scalar code they stand in for: no fused multiply-add.
set_source_files_properties(${PROJECT_SOURCE_DIR}/processor/common/LaneMath.cpp PROPERTIES COMPILE_OPTIONS -ffp-contract=off)
# platform/variants holds what only a second build of a format compiles (CMakeLists.txt).
brisalto_add_object_library(brisalto_platform
    ${PROJECT_SOURCE_DIR}/platform/*.cpp)
target_link_libraries(Brisalto PRIVATE brisalto_signal brisalto_platform)

file(GLOB_RECURSE BRISALTO_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/processor/*.cpp)
list(FILTER BRISALTO_SOURCES EXCLUDE REGEX "/processor/(signal|common)/")
target_sources(Brisalto PRIVATE ${BRISALTO_SOURCES})

# The editor: its art (resources/) and its build stamp (the top-level CMakeLists.txt) with it.
brisalto_add_object_library(brisalto_editor ${PROJECT_SOURCE_DIR}/editor/*.cpp)
target_include_directories(brisalto_editor PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(brisalto_editor PUBLIC BrisaltoArt)

add_library(brisalto_processor_code INTERFACE)
brisalto_compile_like_shared_code(brisalto_processor_code INTERFACE)
target_link_libraries(brisalto_processor_code INTERFACE Brisalto)

# An object library's objects reach only the targets that link it directly, unless they are
# named as link items: they come first, so that Brisalto's archive resolves what they use.
add_library(brisalto_shared_code INTERFACE)
target_link_libraries(brisalto_shared_code INTERFACE
    brisalto_editor $<TARGET_OBJECTS:brisalto_editor> brisalto_processor_code)
