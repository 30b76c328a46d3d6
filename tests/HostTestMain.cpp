// Test executables that are themselves the simulated game.
#include <gtest/gtest.h>

#include "Sim.h"

int main(int argc, char** argv) {
    sim::Setup();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
