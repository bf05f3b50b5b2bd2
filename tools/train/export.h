// From the float model to the engine's network image, and the trainer's own
// integer forward pass over an image: the same arithmetic as the engine's
// evaluation, step for step, so an exported image can be checked here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model.h"

constexpr size_t IMAGE_BYTES = 20990804;

// The image of a 256/32/32 model: virtual rows folded into every real row,
// weights rounded to their steps and clipped to their integer ranges. The
// first two layers' biases carry half a step so that the engine's truncating
// shifts round to nearest.
std::vector<uint8_t> exportImage(const Model& model);

// Empty when bytes is a network image this engine can load, else the reason:
// the size and the four decimal-bit fields are checked.
std::string checkImage(const std::vector<uint8_t>& bytes);

// Output of the image for a position given by its two perspectives' active
// rows, in the engine's integers (centipawns, side to move), before the
// engine's final clamp.
int integerForward(const uint8_t* image, const int32_t* const rows[2], const int count[2]);

// Loads a network image into a model's real rows (virtual rows zero), for
// starting training from an existing network.
bool importImage(const std::vector<uint8_t>& image, Model& model);
