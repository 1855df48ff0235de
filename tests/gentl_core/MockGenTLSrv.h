// MockGenTLSrv.h: a gmock service front, to stand behind a front under test.
#pragma once

#include <gmock/gmock.h>

#include "gentl_core/GenTLFunctionList.h"
#include "gentl_core/GenTLSrv.h"

namespace TestSupport {

class MockGenTLSrv : public GenTLCore::GenTLSrv {
public:
#define MOCK_GENTL_SRV_OPERATION(name, params, args) \
    MOCK_METHOD(GC_ERROR, name, params, (override));
    GENTL_FUNCTION_LIST(MOCK_GENTL_SRV_OPERATION)
#undef MOCK_GENTL_SRV_OPERATION
};

}  // namespace TestSupport
