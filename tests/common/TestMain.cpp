// main of the processor's test programs: GoogleTest with the XDG folders in a temporary folder,
// so that running a test program directly never writes into the user's configuration.

#include "common/ScopedXdgFolders.h"

#include <gtest/gtest.h>

int main (int argc, char** argv)
{
    ScopedXdgFolders folders;
    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
