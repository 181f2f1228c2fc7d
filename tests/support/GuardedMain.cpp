// Entry of the test executables that need no application object: GoogleTest's own, with the
// crash guard.
#include <gtest/gtest.h>

#include "support/CrashGuard.h"

int main(int argc, char** argv)
{
    InstallCrashGuard();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
