// StreamMutator.h: seeded damage to a byte stream, the way a network or a
// broken sensor could deliver it: flipped bits, sizes replaced by boundary
// values, inserted, deleted, cut and repeated bytes.
#pragma once

#include <algorithm>
#include <iterator>
#include <random>

#include "support/ContainerBuilder.h"

struct StreamMutator {
    using Bytes = TestSupport::Bytes;

    // The receive buffer size the fuzz tests use: small, so every pending
    // frame resolves within a few kilobytes.
    static constexpr uint32_t BUFFER = 4096;

    static uint32_t InterestingValue(std::mt19937& random)
    {
        const uint32_t values[] = {0,          1,          4,          7,          8,
                                   12,         19,         20,         0x400,      BUFFER - 1,
                                   BUFFER,     BUFFER + 1, 4202500,    4202501,    8405001,
                                   0x7FFFFFFF, 0xFFFFFFFF, 0x021A01FF, 0x021AFFFF, 0x00020008};
        return random() % 2 == 0 ? values[random() % std::size(values)] : random();
    }

    static void Mutate(Bytes& bytes, std::mt19937& random)
    {
        const int mutations = 1 + static_cast<int>(random() % 4);
        for (int m = 0; m < mutations && !bytes.empty(); ++m) {
            const std::size_t at = random() % bytes.size();
            const auto position = bytes.begin() + static_cast<long>(at);
            switch (random() % 6) {
            case 0:
                bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            case 1:
                if (at + 4 <= bytes.size())
                    TestSupport::PutU32(bytes, at, InterestingValue(random));
                break;
            case 2:
                bytes.insert(position, 1 + random() % 16, static_cast<uint8_t>(random()));
                break;
            case 3:
                bytes.erase(position, position + static_cast<long>(std::min<std::size_t>(
                                                     bytes.size() - at, 1 + random() % 32)));
                break;
            case 4:
                bytes.resize(at);
                break;
            default: {
                const Bytes copy(position, position + static_cast<long>(std::min<std::size_t>(
                                                          bytes.size() - at, 64)));
                bytes.insert(bytes.begin() + static_cast<long>(random() % bytes.size()),
                             copy.begin(), copy.end());
            }
            }
        }
    }

    // Cuts `bytes` into pieces of random sizes.
    static std::vector<std::size_t> Pieces(std::size_t size, std::mt19937& random)
    {
        std::vector<std::size_t> pieces;
        for (std::size_t total = 0; total < size;) {
            pieces.push_back(1 + random() % (size + 1));
            total += pieces.back();
        }
        return pieces;
    }
};
