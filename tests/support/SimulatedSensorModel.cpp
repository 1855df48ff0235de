#include "SimulatedSensorModel.h"

#include <cstring>

namespace TestSupport {

double LinModel::X(double column, double row) const
{
    const double width = width_x;
    const double slope = (double{x_range_at_end} - x_range_at_start) / (width * width_z);
    return (column - width / 2) * (x_range_at_start / width + slope * row);
}

double LinModel::Z(double row) const
{
    return z_start + double{z_range} * row / width_z;
}

Bytes Lin1ddMagic()
{
    const char magic[8] = {'L', 'I', 'N', '1', 'D', 'D', 0, 0};
    return Bytes(magic, magic + 8);
}

Bytes LinRecord(uint32_t type, const Bytes& payload)
{
    Bytes out;
    AppendU32(out, type);
    AppendU32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes LinTable(const LinModel& model, char axis)
{
    const double width = model.width_x;
    const double height = model.width_z;
    const double start = model.x_range_at_start / width;
    const double slope = (double{model.x_range_at_end} - model.x_range_at_start) / (width * height);
    Bytes out;
    AppendU32(out, model.nx);
    AppendU32(out, model.nz);
    for (uint32_t i = 0; i <= model.nx; ++i)
        AppendDouble(out, width * i / model.nx);
    for (uint32_t j = 0; j <= model.nz; ++j)
        AppendDouble(out, height * j / model.nz);
    for (uint32_t i = 0; i <= model.nx; ++i) {
        const double k = width * i / model.nx - width / 2;
        for (uint32_t j = 0; j <= model.nz; ++j) {
            const double r = height * j / model.nz;
            double c[16] = {};
            if (axis == 'x') {
                c[0] = k * (start + slope * r);
                c[1] = slope * k;
                c[4] = start + slope * r;
                c[5] = slope;
            } else {
                c[0] = model.z_start + model.z_range / height * r;
                c[1] = model.z_range / height;
            }
            for (double value : c)
                AppendDouble(out, value);
        }
    }
    return out;
}

Bytes BuildLin1dd(const LinModel& model, const LinContent& content)
{
    Bytes out = Lin1ddMagic();
    const auto append = [&out](const Bytes& record) {
        out.insert(out.end(), record.begin(), record.end());
    };
    if (content.serial) {
        Bytes serial;
        AppendU64(serial, model.serial);
        append(LinRecord(1, serial));
    }
    if (content.geometry) {
        Bytes geometry;
        for (float value : {model.z_start, model.z_range, model.x_range_at_start,
                            model.x_range_at_end}) {
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof(bits));
            AppendU32(geometry, bits);
        }
        AppendU32(geometry, 0);
        AppendU32(geometry, model.width_x);
        AppendU32(geometry, model.width_z);
        for (int i = 0; i < 4; ++i)
            AppendU32(geometry, 0);
        append(LinRecord(2, geometry));
    }
    if (content.tables) {
        Bytes tables = LinTable(model, 'x');
        const Bytes z_table = LinTable(model, 'z');
        tables.insert(tables.end(), z_table.begin(), z_table.end());
        append(LinRecord(3, tables));
    }
    if (content.check_mode)
        append(LinRecord(7, Bytes{}));
    return out;
}

}  // namespace TestSupport
