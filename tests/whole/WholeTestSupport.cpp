#include "WholeTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "import/AcquireHost.h"
#include "pipeline/PipelineReference.h"
#include "plugin/BandWorkers.h"

namespace wholetest {

std::string ScratchFolder() {
    static const std::string sFolder = [] {
        ::mkdir(KARVEX_WHOLE_TEST_DIR, 0755);
        std::string aFolder = std::string(KARVEX_WHOLE_TEST_DIR) + "/p" + std::to_string(::getpid());
        ::mkdir(aFolder.c_str(), 0755);
        return aFolder;
    }();
    return sFolder;
}

namespace {

ekv::AcquireHost &Host() {
    static ekv::AcquireHost sHost;
    return sHost;
}

}  // namespace

std::string MakeSample(const std::string &inName, const std::string &inArguments) {
    const std::string aPath = ScratchFolder() + "/" + inName + ".ekv";
    const std::string aCommand = std::string(KARVEX_EKV_MAKE) + " sample -o '" + aPath + "' " + inArguments;
    EXPECT_EQ(std::system(aCommand.c_str()), 0) << aCommand;
    return aPath;
}

Import RunImport(const std::string &inPath, int16 inMethod, Point inPoint, bool inReference, int32 inThreads) {
    ekv::ImportRequest aRequest;
    aRequest.path = inPath;
    aRequest.method = inMethod;
    aRequest.wbPoint = inPoint;
    hostkit::BlockPool &aPool = ekv::HostPool();
    RAW_SelectReferenceStages(inReference);
    RAW_SetBandThreads(inThreads);
    aPool.resetPeak();
    const int aForeignBefore = aPool.foreignThreadCalls();
    Import aImport;
    aImport.result = Host().import(aRequest);
    aImport.peakBytes = aPool.peakBytes();
    RAW_SetBandThreads(0);
    RAW_SelectReferenceStages(false);
    EXPECT_EQ(aPool.foreignThreadCalls(), aForeignBefore) << inPath << ": host callbacks from a worker thread";
    EXPECT_EQ(aImport.result.status, ekv::ImportStatus::Ok) << inPath << ": " << aImport.result.detail;
    EXPECT_EQ(aImport.result.leakedBuffers, 0) << inPath;
    EXPECT_EQ(aImport.result.leakedHandles, 0) << inPath;
    EXPECT_TRUE(aImport.result.misuse.empty()) << inPath;
    return aImport;
}

ekv::ImportResult StreamImport(const std::string &inPath, int16 inMethod, Point inPoint, ekv::BandSink &ioSink) {
    ekv::ImportRequest aRequest;
    aRequest.path = inPath;
    aRequest.method = inMethod;
    aRequest.wbPoint = inPoint;
    ekv::ImportResult aResult = Host().import(aRequest, {}, &ioSink);
    EXPECT_EQ(aResult.leakedBuffers, 0) << inPath;
    EXPECT_EQ(aResult.leakedHandles, 0) << inPath;
    return aResult;
}

}  // namespace wholetest
