// NodeMapHarness.h: a GenApi node map (aravis's GenICam engine) over a
// module's description document, bound to that module's GenTL port.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/CtiLoader.h"

typedef struct _ArvGc ArvGc;
typedef struct _ArvDevice ArvDevice;
typedef struct _ArvGcFeatureNode ArvGcFeatureNode;
typedef struct _GError GError;
typedef int gboolean;

namespace TestSupport {

// Reads the document through GCReadPort at construction and builds the node
// map on it; every register access of the map then goes through
// GCReadPort/GCWritePort on the same handle. Event ports are not fed.
//
// Borrows `gentl` and `port`: both must outlive the node map. One thread.
class NodeMap {
public:
    NodeMap(const GenTLFunctions& gentl, void* port);
    // A node map over plain memory: registers read 0 until written.
    explicit NodeMap(const std::string& text);
    ~NodeMap();
    NodeMap(const NodeMap&) = delete;
    NodeMap& operator=(const NodeMap&) = delete;

    // The document was read and the engine built a map with a `Root`.
    bool IsBuilt() const { return gc != nullptr && error.empty(); }
    const std::string& Error() const { return error; }

    // Categories and features under `Root`, depth first.
    std::vector<std::string> Walk() const;
    // Reads each walked feature that is implemented, available and readable;
    // returns "name: message" for each that failed.
    std::vector<std::string> ReadEveryFeature() const;

    bool IsImplemented(const std::string& name) const;
    bool IsAvailable(const std::string& name) const;
    bool IsLocked(const std::string& name) const;
    // The enumeration's available entries, in document order.
    std::vector<std::string> AvailableEntries(const std::string& name) const;
    // The value as text, or "error: <message>".
    std::string Read(const std::string& name) const;
    int64_t ReadInteger(const std::string& name) const;  // -1 on error
    // The integer's current minimum and maximum; {-1, -1} on error.
    std::pair<int64_t, int64_t> IntegerRange(const std::string& name) const;
    // Empty on success, else the engine's message.
    std::string WriteInteger(const std::string& name, int64_t value) const;
    std::string Execute(const std::string& name) const;

private:
    void Build(const std::string& text, const GenTLFunctions* gentl, void* port);
    bool Is(const std::string& name, gboolean (*test)(ArvGcFeatureNode*, GError**)) const;

    std::string error;
    std::map<uint64_t, uint8_t> memory;  // the registers without a port
    ArvDevice* device = nullptr;
    ArvGc* gc = nullptr;
};

}  // namespace TestSupport
