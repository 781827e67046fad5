// The test program's module environment. On Windows the test program links the module's
// code statically and carries its resources, but has no DllMain call: the environment
// does the module's load work for the program's own instance, and its unload work at
// the end. Natively the module loads itself with the program.
#include <gtest/gtest.h>

#include "plugin/PlugInGlobals.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

class ModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
#if defined(_WIN32)
        DoModuleLoad(GetModuleHandleA(nullptr));
        mLoaded = true;
#endif
        ASSERT_NE(hDLLInstance, KarvexInstance(0)) << "the module has no instance";
    }

    void TearDown() override {
#if defined(_WIN32)
        if (mLoaded) DoModuleUnload();
        mLoaded = false;
#endif
    }

private:
    bool mLoaded = false;
};

::testing::Environment *const kModuleEnvironment = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

}  // namespace
