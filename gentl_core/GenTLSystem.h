// GenTLSystem.h: the GenTL system module: TL info, the interface list and its
// update, interfaces handed out by ID, and the system's registers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "GenTL.h"
#include "gentl_core/GenTLInterface.h"
#include "gentl_core/GenTLModule.h"
#include "gentl_core/InterfaceTag.h"
#include "gentl_core/PublishedList.h"
#include "gentl_core/SmartPointers.h"

namespace GenTLCore {

// The object behind the handle TLOpen returns. Public API (for the service
// front, each under the system's handle lock for its whole run):
//   GetTLInfo                        TLGetInfo, GCGetInfo
//   GetNumInterfaces, GetInterfaceID, GetInterfaceInfo
//                                    TLGetNumInterfaces, TLGetInterfaceID,
//                                    TLGetInterfaceInfo (published list only)
//   UpdateInterfaceListReportChange  TLUpdateInterfaceList
//   ItfOpen                          TLOpenInterface: the interface to register
//                                    under the system's handle
//   UpdateInterfaceList              the update itself (also register 1010)
//   GetSelectedInterface             for the transport layer's registers
//
// Lifetime: created by the library's CreateSystem hook at GCInitLib and
// completed there (registers, URL, error and module events); opened by TLOpen
// and closed by TLClose, which drops every interface; destroyed by
// GCCloseLib. One system object per process (counted; a second asserts).
// Interface objects are created by the list updates only, once per identity,
// and shared with the handle pool.
//
// A transport layer supplies DiscoverInterfaces and CreateInterface, and may
// override GetID and GetCustomTLInfo.
//
// Threads: consumer threads; every public member and every register access
// holds handle_lock, the list update included (discovery and creation run
// under it). Lock order: the library lock, handle_lock, an interface's lock.
class GenTLSystem : public GenTLModule {
public:
    GenTLSystem();
    // Asserts the system is closed and holds no interface.
    ~GenTLSystem() override;

    // The producer's path, or the prefix and "_SYSTEM" when unknown.
    std::string GetID() override;
    // The branding's prefix and "_SYSTEM", whatever the ID.
    std::string GetUniqueString() override;

    GC_ERROR GetTLInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer, size_t* size);
    GC_ERROR GetNumInterfaces(uint32_t* num_interfaces);
    GC_ERROR GetInterfaceID(uint32_t index, char* buffer, size_t* size);
    // Exact ID of a published interface; answered by the interface.
    GC_ERROR GetInterfaceInfo(const char* id, INTERFACE_INFO_CMD command, INFO_DATATYPE* type,
                              void* buffer, size_t* size);
    // Plain or alternative ID, over every listed interface; an ID not found
    // (or marked not available) runs one update without publishing first.
    // `itf_candidate` must arrive empty; on success it holds the interface.
    GC_ERROR ItfOpen(const char* id, SharedPtr<GenTLInterface>& itf_candidate);
    GC_ERROR UpdateInterfaceList(bool publish, uint64_t timeout_ms);
    // `changed` is optional; untouched on failure.
    GC_ERROR UpdateInterfaceListReportChange(bool8_t* changed, uint64_t timeout_ms);
    // Empty when nothing is published.
    SharedPtr<GenTLInterface> GetSelectedInterface();

    // Read-only register data for checks against the description document:
    // the core table, and the ids of the registers every module holds.
    static std::span<const RegisterDefinition> RegisterTable();
    static const ModuleRegisterIds& CommonRegisterIds();

protected:
    GC_ERROR DoClose() override;
    std::string GetModuleName() override { return "TLSystem"; }
    std::string GetPortName() override { return "TLPort"; }
    std::span<const RegisterDefinition> GetCoreRegisterTable() override;
    // The error event and a module event with room for the test event.
    void BuildEvents() override;

    GC_ERROR ReadUInt32Register(uint32_t id, uint32_t& value) override;
    GC_ERROR ReadStringRegister(uint32_t id, std::string& value) override;
    GC_ERROR WriteUInt32Register(uint32_t id, uint32_t value) override;
    GC_ERROR WriteStringRegister(uint32_t id, const std::string& value) override;

    // ---- Extension interface of the transport layer; under handle_lock. ----
    // TL info commands from 1000 on (but 3300 and 3301); the default refuses.
    virtual GC_ERROR GetCustomTLInfo(TL_INFO_CMD command, INFO_DATATYPE* type, void* buffer,
                                     size_t* size);
    // Fills the empty `cur_itfs` with non-empty candidates; non-zero ends the
    // update. The default finds none.
    virtual GC_ERROR DiscoverInterfaces(std::vector<SharedPtr<InterfaceTag>>& cur_itfs,
                                        uint64_t timeout_ms);
    // A new, not yet completed interface for `tag`; empty when out of memory.
    // The default makes none.
    virtual SharedPtr<GenTLInterface> CreateInterface(const SharedPtr<InterfaceTag>& tag);

private:
    ListUpdateSteps<GenTLInterface, InterfaceTag> MakeUpdateSteps(uint64_t timeout_ms);
    bool MatchesOpenID(GenTLInterface& itf, const std::string& id, bool alternative,
                       const std::string& key, const std::string& value);
    GC_ERROR ReadSelectedInterfaceID(std::string& value);

    // Fixed at construction.
    const std::string system_id;

    // Guarded by handle_lock.
    PublishedList<GenTLInterface, InterfaceTag> itfs;
    uint32_t nodemap_itf_sel = 0;
    uint32_t itf_update_timeout_ms = 0;
    uint32_t test_number[2] = {0, 0};
    std::string test_text[2];
};

}  // namespace GenTLCore
