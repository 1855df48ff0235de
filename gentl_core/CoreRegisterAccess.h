// CoreRegisterAccess.h: what the system, interface and local device share in
// their core register accessors.
#pragma once

#include <cstdint>

#include "GenTL.h"
#include "gentl_core/ErrorHandling.h"
#include "gentl_core/GenTLModule.h"
#include "platform/Assert.h"

namespace GenTLCore {

// Whether `id` is one of the registers the module base serves; each of these
// modules numbers them consecutively from MagicReadZero to the document.
inline bool IsCommonRegister(const ModuleRegisterIds& ids, uint32_t id)
{
    return id >= ids.magic_read_zero && id <= ids.description;
}

// An accessor was asked for an id it does not serve: a fault of the map.
inline GC_ERROR ReportUnknownRegister(const char* text)
{
    TL_ASSERT_MSG(false, "Unknown register");
    return ReportError(GC_ERR_ERROR, text);
}

}  // namespace GenTLCore
