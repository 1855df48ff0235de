// A LIN1DD file from memory and from a file, then every linearization call
// at points taken from the input.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "sensor_library/LinearizationData.h"

namespace {

void Linearize(const LinearizationData& lin, FuzzInput& points)
{
    double x_mm = 0;
    double z_mm = 0;
    for (int i = 0; i < 8; ++i) {
        const double x = points.Take<int16_t>() / 8.0;
        const double z = points.Take<int16_t>() / 8.0;
        lin.Linearize(x, z, x_mm, z_mm);
    }
    PixelRegion region;
    lin.ConvertMmToPix(points.Take<float>(), points.Take<float>(), points.Take<float>(),
                       points.Take<float>(), region);
    LinearizationData::GetPointOnTrapezEdgeCorrected(points.Take<float>(), points.Take<float>(),
                                                     points.Take<float>(), points.Take<float>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The points come from the input's tail, so the file itself stays whole.
    const std::size_t tail = std::min<std::size_t>(size, 64);
    FuzzInput points(data + size - tail, tail);
    LinearizationData from_memory;
    from_memory.ReadFromMemory(data, size);
    Linearize(from_memory, points);

    static const std::string path = "/tmp/fuzz_lin_" + std::to_string(getpid()) + ".dat";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
        LinearizationData from_file;
        from_file.ReadFromFile(path);
        std::remove(path.c_str());
    }
    return 0;
}
