#pragma once

#include <juce_core/juce_core.h>

// "version 1.15.3 - Mmm dd yyyy - hh:mm:ss": the version shown in the editor with the build
// stamp (the day padded with a blank to two characters).
juce::String getVersionText();
