#pragma once
// The game drawing cars: for each car of a frame, the game code the drawing hooks sit in,
// called as the game calls it (each site comes back by a return planted where the game's
// code goes on). Safe to run from several threads at once.
#include <cstdint>

#include "Sim.h"

namespace sim::drawing {

struct Car {
    Ride* ride;
    uint8_t* render;
};

// A car with tires, a plate, a neon part and camber, ready to be drawn (its light
// texture known to the game). `index` tells cars apart.
Car MakeCar(int index);

// What one frame's drawing of a car answers: the five texture entries, the light state,
// the light-shader comparison's flags, the shadow texture, the colour word and the light
// table registers.
struct Frame {
    uint32_t entries[5];
    uint32_t lightState, flags, shadow, colour, lightTable;
    bool operator==(const Frame&) const = default;
};
Frame DrawCar(const Car& car);

}  // namespace sim::drawing
