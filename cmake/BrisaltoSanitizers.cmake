# The sanitizer builds: AddressSanitizer with UndefinedBehaviorSanitizer, or ThreadSanitizer.
# Directory-wide, so that every target of the build (JUCE's module sources included) is
# instrumented alike. Included from the top-level CMakeLists.txt before any target.

option(BRISALTO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(BRISALTO_TSAN "Build with ThreadSanitizer" OFF)

if(BRISALTO_SANITIZE AND BRISALTO_TSAN)
    message(FATAL_ERROR "BRISALTO_SANITIZE and BRISALTO_TSAN cannot be combined")
endif()
if(BRISALTO_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(BRISALTO_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
