// From the float model to the engine's network image (its layout and
// quantisation are the engine's, eval/network.h), and the image's output
// through the engine's own scalar layers, so that an export can be checked
// against what the engine will compute.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model.h"

// The image of a 256/32/32 model: virtual rows folded into every real row,
// weights rounded to their steps and clipped to their integer ranges. The
// first two layers' biases carry half a step so that the engine's truncating
// shifts round to nearest.
std::vector<uint8_t> exportImage(const Model& model);

// Empty when bytes is a network image this engine can load, else the
// engine's reason (networkImageProblem).
std::string checkImage(const std::vector<uint8_t>& bytes);

// Output of the network in use (useNetwork) for a position given by its two
// perspectives' active rows: the engine's scalar twins from the first layer
// to the output, in centipawns from the side to move's view, before the
// evaluation's final clamp.
int engineOutput(const int32_t* const rows[2], const int count[2]);

// Loads a network image into a model's real rows (virtual rows zero), for
// starting training from an existing network.
bool importImage(const std::vector<uint8_t>& image, Model& model);
