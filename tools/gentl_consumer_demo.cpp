// gentl_consumer_demo: loads a GenTL producer (.cti) the way a consumer does
// and reports what it finds.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "build/GenTesk3d.cti";
    void* cti = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (cti == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    std::printf("Loaded %s\n", path);
    std::printf("GCInitLib %s\n", dlsym(cti, "GCInitLib") ? "found" : "not exported yet");
    dlclose(cti);
    return 0;
}
