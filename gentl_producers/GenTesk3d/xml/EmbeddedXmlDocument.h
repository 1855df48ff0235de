// EmbeddedXmlDocument.h: one description document as the build embeds it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace GenTLCore::ZoTL {

struct EmbeddedXmlDocument {
    const unsigned char* bytes;
    size_t size;
    uint8_t sha1[20];  // of exactly the `size` bytes, computed by the build
};

// System, Interface, LocalDevice, DataStream, RemoteDevice, in DocumentModule
// order; constant-initialised, so readable from any static initialiser.
extern const EmbeddedXmlDocument EMBEDDED_XML_DOCUMENTS[5];

}  // namespace GenTLCore::ZoTL
