// gtest's main for Windows test programs run under Wine: the last line "done" tells the harness
// that the program really ran (a 32-bit program without 32-bit Wine exits 0 having done nothing).
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0) {
        std::printf("done\n");
    }
    std::fflush(stdout);
    return result;
}
