#pragma once
// The product's version, kept in this one place.
constexpr const char kMorvaneVersion[] = "1.0.0";
