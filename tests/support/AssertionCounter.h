// AssertionCounter.h: counts failed TL_ASSERTs while it lives.
#pragma once

#include "../platform/AssertionRecorder.h"

namespace TestSupport {

// The recorder, answering how many failed and, when asked, with what texts.
// One at a time; make it a fixture member or a local.
class AssertionCounter : public AssertionRecorder {
public:
    int Failures() const { return static_cast<int>(Count()); }
    std::vector<std::string> Texts() const { return AssertionRecorder::Failures(); }
};

}  // namespace TestSupport
