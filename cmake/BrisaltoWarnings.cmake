# Warnings for the project's own files.
#
# Included from the top-level CMakeLists.txt after find_package(JUCE), so that it covers every
# target of this project, in every subfolder, including the ones added later:
#   - -Wall -Wextra for everything compiled here (directory scope);
#   - JUCE's module folder as a system include folder, so that JUCE's headers, included by our
#     files, stay quiet (GCC ignores a -I for a folder that is also given with -isystem);
#   - JUCE's own module sources, which juce_add_plugin and the host library compile into our
#     targets, keep JUCE's warning level: brisalto_quiet_juce_sources() marks them -w in the
#     folder that calls it (source properties are per folder). Call it in each folder whose
#     targets compile JUCE modules (here and tools/host).
# No -Werror: the flags report, the tree is kept clean by hand.

add_compile_options(-Wall -Wextra)
include_directories(SYSTEM ${JUCE_MODULES_DIR})

file(GLOB BRISALTO_JUCE_MODULE_SOURCES
    ${JUCE_MODULES_DIR}/*/*.cpp
    ${JUCE_MODULES_DIR}/*/*.mm
    ${JUCE_MODULES_DIR}/juce_audio_plugin_client/*/*.cpp)

macro(brisalto_quiet_juce_sources)
    set_source_files_properties(${BRISALTO_JUCE_MODULE_SOURCES} PROPERTIES COMPILE_OPTIONS "-w")
endmacro()
