// SimulatedSensorModel.h: the simulated sensor's measuring field: its
// "LIN1DD" linearization data and the exact pixel-to-millimetre model the
// tables encode, so tests can compute expected coordinates by hand.
#pragma once

#include <cstdint>
#include <string>

#include "ContainerBuilder.h"

namespace TestSupport {

// X(column, row) = (column - width_x / 2) * (x_start / width_x + b * row)
//   with b = (x_end - x_start) / (width_x * width_z);
// Z(row) = z_start + z_range * row / width_z.
// With the defaults every value is a sum of powers of two, so results are exact.
struct LinModel {
    uint64_t serial = 12345678;
    float z_start = 100.0f;
    float z_range = 200.0f;
    float x_range_at_start = 80.0f;
    float x_range_at_end = 120.0f;
    uint32_t width_x = 1280;
    uint32_t width_z = 1024;
    uint32_t nx = 8;
    uint32_t nz = 8;

    double X(double column, double row) const;
    double Z(double row) const;
};

// Which records a LIN1DD text carries.
struct LinContent {
    bool serial = true;
    bool geometry = true;
    bool tables = true;
    bool check_mode = false;  // a type-7 record
};

Bytes Lin1ddMagic();
// {type, length, payload}
Bytes LinRecord(uint32_t type, const Bytes& payload);
// One table of the model: "x" or "z".
Bytes LinTable(const LinModel& model, char axis);
Bytes BuildLin1dd(const LinModel& model, const LinContent& content = LinContent());

}  // namespace TestSupport
