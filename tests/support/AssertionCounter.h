// AssertionCounter.h: counts failed TL_ASSERTs while it lives.
#pragma once

#include "../platform/AssertionRecorder.h"

namespace TestSupport {

// The recorder, answering only how many failed. One at a time; make it a
// fixture member or a local.
class AssertionCounter : public AssertionRecorder {
public:
    int Failures() const { return static_cast<int>(Count()); }
};

}  // namespace TestSupport
