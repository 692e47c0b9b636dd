// The pictures the benchmarks work on: a 6000 × 4000 photo-like raster and
// its JPEG (quality 90) and PNG files, made once per run.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pixels/Raster.h"

namespace bench {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
// The part of the picture a 1280 × 1024 screen shows of it.
constexpr int kSeenWidth = 1280, kSeenHeight = 880;

// Photo-like content: smooth gradients with a soft wave and sensor-like
// noise; another variant gives another picture of the same kind.
Raster MakePhoto(int width, int height, int variant = 0);

struct Inputs {
    Raster photo;
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> png;
};
const Inputs& GetInputs();

// Real time per iteration (ms) of each benchmark run so far, by name.
double TimeOf(const char* name);
double CpuTimeOf(const char* name);

} // namespace bench
