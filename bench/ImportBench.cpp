// Whole imports driven as a host drives them: ENTRYPOINT Prepare, Start, every Continue up
// to the releasing one, Finish and Finalize, through the ekv host core (its buffer and
// handle callbacks, delivery checks and document). Files written by ekv-make at build
// time and read once before timing, so they sit in the page cache. The module develops
// on one band thread, except in the cases named ".../threads:N" (N band threads, the
// host's own included), which measure the same import on more processors. The cases named
// ".../streamed" hand the bands to a sink that keeps none, as ekv's import thread hands
// them to its writer: the module and the host's delivery checks and plane copies without
// the in-memory document (its zero-filling, the first touch of every page, and the
// interleaving of the planes into it, all on the host's thread).
//
// Every iteration runs the import twice, once with the optimised stages and once with
// the straightforward ones (RAW_SelectReferenceStages), so both are measured side by side
// under the same conditions. The time column is the optimised import; the counters:
//   ns_px      optimised nanoseconds per output pixel
//   ref_ns_px  the same for the straightforward stages
//   ref_ms     milliseconds of one straightforward import
//   speedup    straightforward time / optimised time
//   kernels    the kernel variant the optimised stages ran (0 baseline, 1 AVX2, 2 AVX-512)
//   peak_bytes the most bytes the module held from the host at once (buffers and
//              handles, the Globals handle included; the host's document not counted)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "import/AcquireHost.h"
#include "import/BandSink.h"
#include "pipeline/PipelineReference.h"
#include "pipeline/kernels/StageKernels.h"
#include "plugin/BandWorkers.h"

namespace {

const std::string kDataDir = KARVEX_IMPORT_BENCH_DIR;
// The white-balance point clicked on the preview: H 160, V 120 (Point is v, h).
constexpr Point kPoint{120, 160};
constexpr Point kNoPoint{-1, -1};

struct Case {
    const char *name;
    const char *file;
    int16 method;
    Point point;
    bool paired;    // also run the straightforward stages
    int32 threads;  // the module's band threads
    bool streamed;  // bands to a sink that keeps none, instead of the in-memory document
};

const Case kCases[] = {
    {"10bit/m2_point", "import10.ekv", 2, kPoint, true, 1, false},
    {"12bit/m2_point", "import12.ekv", 2, kPoint, true, 1, false},
    {"14bit/m2_point", "import14.ekv", 2, kPoint, true, 1, false},
    {"8bit/m2_point", "import8.ekv", 2, kPoint, true, 1, false},
    {"10bit/m1_point", "import10.ekv", 1, kPoint, true, 1, false},
    {"10bit/m0", "import10.ekv", 0, kNoPoint, true, 1, false},
    // A much taller image of the same width: the same bands, so the same working memory.
    {"10bit_tall/m2_point", "tall10.ekv", 2, kPoint, false, 1, false},
    // The default file on two and four band threads.
    {"10bit/m2_point/threads:2", "import10.ekv", 2, kPoint, false, 2, false},
    {"10bit/m2_point/threads:4", "import10.ekv", 2, kPoint, false, 4, false},
    // The default file streamed, on one band thread and on two.
    {"10bit/m2_point/streamed", "import10.ekv", 2, kPoint, false, 1, true},
    {"10bit/m2_point/streamed/threads:2", "import10.ekv", 2, kPoint, false, 2, true},
};

// Takes every band and keeps none: its storage goes back for the next band.
class DroppingSink : public ekv::BandSink {
public:
    bool begin(const ekv::Document &) override { return true; }
    ekv::Band takeBand() override { return std::move(mSpare); }
    bool putBand(ekv::Band &&ioBand) override {
        mSpare = std::move(ioBand);
        return true;
    }

private:
    ekv::Band mSpare;
};

// The module stays loaded (its data word kept) from one import to the next.
ekv::AcquireHost &Host() {
    static ekv::AcquireHost sHost;
    return sHost;
}

void ReadWhole(const std::string &inPath) {
    std::ifstream aFile(inPath, std::ios::binary);
    std::vector<char> aBytes((std::istreambuf_iterator<char>(aFile)), std::istreambuf_iterator<char>());
    benchmark::DoNotOptimize(aBytes.data());
}

// One import; its duration in seconds, or a negative value when it failed.
double TimedImport(const ekv::ImportRequest &inRequest, int32 inThreads, bool inStreamed, bool inReference,
                   size_t *outPeak, double *outPixels) {
    RAW_SelectReferenceStages(inReference);
    RAW_SetBandThreads(inThreads);
    hostkit::BlockPool &aPool = ekv::HostPool();
    aPool.resetPeak();
    DroppingSink aSink;
    const auto aStart = std::chrono::steady_clock::now();
    ekv::ImportResult aResult = Host().import(inRequest, {}, inStreamed ? &aSink : nullptr);
    const auto aEnd = std::chrono::steady_clock::now();
    RAW_SetBandThreads(0);
    RAW_SelectReferenceStages(false);
    if (aResult.status != ekv::ImportStatus::Ok || aResult.leakedBuffers != 0 || aResult.leakedHandles != 0)
        return -1.0;
    if (outPeak != nullptr) *outPeak = aPool.peakBytes();
    if (outPixels != nullptr)
        *outPixels = static_cast<double>(aResult.image.width) *
                     (inStreamed ? aResult.rowsStreamed : aResult.image.rowsDelivered);
    benchmark::DoNotOptimize(aResult.image.samples.data());
    return std::chrono::duration<double>(aEnd - aStart).count();
}

void BM_Import(benchmark::State &ioState, const Case &inCase) {
    ekv::ImportRequest aRequest;
    aRequest.path = kDataDir + "/" + inCase.file;
    aRequest.method = inCase.method;
    aRequest.wbPoint = inCase.point;
    ReadWhole(aRequest.path);
    size_t aPeak = 0;
    double aPixels = 0;
    if (TimedImport(aRequest, inCase.threads, inCase.streamed, false, &aPeak, &aPixels) < 0) {  // warm-up, and a check
        ioState.SkipWithError("the import failed");
        return;
    }
    double aOptimised = 0, aReference = 0;
    for (auto _ : ioState) {
        size_t aRunPeak = 0;
        const double aSeconds = TimedImport(aRequest, inCase.threads, inCase.streamed, false, &aRunPeak, nullptr);
        const double aRefSeconds =
            inCase.paired ? TimedImport(aRequest, inCase.threads, inCase.streamed, true, nullptr, nullptr) : 0.0;
        if (aSeconds < 0 || aRefSeconds < 0) {
            ioState.SkipWithError("the import failed");
            break;
        }
        aPeak = std::max(aPeak, aRunPeak);
        aOptimised += aSeconds;
        aReference += aRefSeconds;
        ioState.SetIterationTime(aSeconds);
    }
    const double aRuns = static_cast<double>(ioState.iterations());
    if (aRuns == 0 || aOptimised <= 0) return;
    ioState.counters["ns_px"] = aOptimised / aRuns / aPixels * 1e9;
    ioState.counters["peak_bytes"] = static_cast<double>(aPeak);
    ioState.counters["pixels"] = aPixels;
#if defined(RAW_KERNELS_HAVE_WIDE)
    ioState.counters["kernels"] = RAW_KernelLevel();
#else
    ioState.counters["kernels"] = kRAW_KernelsBaseline;
#endif
    if (inCase.paired) {
        ioState.counters["ref_ns_px"] = aReference / aRuns / aPixels * 1e9;
        ioState.counters["ref_ms"] = aReference / aRuns * 1e3;
        ioState.counters["speedup"] = aReference / aOptimised;
    }
}

}  // namespace

int main(int argc, char **argv) {
    for (const Case &aCase : kCases)
        benchmark::RegisterBenchmark((std::string("Import/") + aCase.name).c_str(), BM_Import, aCase)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
