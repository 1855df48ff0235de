// GenTLCore.h: the framework's start-up: core reference, one-time
// configuration and the start-up singletons' common base.
#pragma once

namespace GenTLCore {

template <class T>
class SharedPtr;
class GenTLBranding;

// Base of the start-up singletons (BrandingControl, LoggerInit, TLSControl).
// Each is reached through its own function-local Instance() accessor, is
// handed the configured branding once by Configure() and shut down once at
// unload.
class StaticInitializationHelper {
public:
    StaticInitializationHelper() = default;
    StaticInitializationHelper(const StaticInitializationHelper&) = delete;
    StaticInitializationHelper& operator=(const StaticInitializationHelper&) = delete;
    virtual ~StaticInitializationHelper() = default;

    virtual void Initialize(const SharedPtr<GenTLBranding>& branding) { (void)branding; }
    virtual void Shutdown() {}
};

}  // namespace GenTLCore
