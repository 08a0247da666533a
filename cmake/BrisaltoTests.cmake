# The test layer: the test-support library and brisalto_add_test_program(). Included from the
# top-level CMakeLists.txt when BRISALTO_BUILD_TESTS is on, before tests/ is added.

find_package(GTest REQUIRED)
include(GoogleTest)

# The test doubles and fixtures every test program of the shared code shares (tests/common):
# the in-process MIDI system, the in-memory user defaults, the XDG folders and the message pump.
# They are built here and never into a format: the shipped plug-in holds no test code. They link
# the processor's code alone; the editor goes only into the programs that test it.
file(GLOB BRISALTO_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/common/*.cpp)
list(FILTER BRISALTO_TEST_SUPPORT_SOURCES EXCLUDE REGEX "/(TestMain|WithoutEditor)\\.cpp$")
add_library(brisalto_test_support STATIC ${BRISALTO_TEST_SUPPORT_SOURCES})
target_include_directories(brisalto_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(brisalto_test_support PUBLIC brisalto_processor_code)

# brisalto_add_test_program(<name> SOURCES <files>... [OWN_MAIN] [WITH_EDITOR] [AGAINST_HOST])
# A GoogleTest program against the processor's code and the test-support library, with the
# common main() (XDG folders of its own) unless it brings its own. Without WITH_EDITOR it links
# no editor code, and the processor's createEditor() makes none. AGAINST_HOST: against the
# console host (tools/host) instead, for tests that load the built bundles as a DAW does.
function(brisalto_add_test_program name)
    cmake_parse_arguments(arg "OWN_MAIN;WITH_EDITOR;AGAINST_HOST" "" "SOURCES" ${ARGN})
    add_executable(${name} ${arg_SOURCES})
    if(NOT arg_OWN_MAIN)
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/TestMain.cpp)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(arg_AGAINST_HOST)
        brisalto_use_host(${name})
    elseif(arg_WITH_EDITOR)
        target_link_libraries(${name} PRIVATE brisalto_editor brisalto_test_support)
    else()
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common/WithoutEditor.cpp)
        target_link_libraries(${name} PRIVATE brisalto_test_support)
    endif()
    target_link_libraries(${name} PRIVATE GTest::gtest)
endfunction()
