// Each pipeline stage on one band of the default geometry: 2256-sample rows, 10-row
// bands, 2240 output columns (6 output rows), 10 significant bits, RGGB. The counter
// "per_pixel" is the time per output pixel of the band.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "pipeline/BandChunks.h"
#include "pipeline/Pipeline.h"
#include "pipeline/PipelineReference.h"
#include "pipeline/StageCoefficients.h"
#include "pipeline/kernels/StageKernels.h"

namespace {

constexpr uint16 kBandWidth = 2256, kBandHeight = 10, kOutWidth = 2240, kBits = 10;
constexpr int kOutHeight = kBandHeight - 4, kPixels = kOutWidth * kOutHeight, kSamples = kBandWidth * kBandHeight;
const uint8_t kCFA[4] = {0, 1, 1, 2};
const Rect kOutSize = {0, 0, kOutHeight, kOutWidth};

struct Band {
    std::vector<uint16> mosaic, r, g, b, r2, g2, b2, edge, lut;
    std::vector<double> y, cr, cb, e1, ef, yf, crf, cbf;
    Band()
        : mosaic(kSamples),
          r(kPixels),
          g(kPixels),
          b(kPixels),
          r2(kPixels),
          g2(kPixels),
          b2(kPixels),
          edge(kSamples),
          lut(kRAW_LUTEntries),
          y(kPixels),
          cr(kPixels),
          cb(kPixels),
          e1(kPixels),
          ef(kPixels),
          yf(kPixels),
          crf(kPixels),
          cbf(kPixels) {
        std::mt19937 aRandom(1);
        std::uniform_int_distribution<int> aSample(0, (1 << kBits) - 1);
        for (auto &s : mosaic) s = static_cast<uint16>(aSample(aRandom));
        for (auto *p : {&r, &g, &b, &r2, &g2, &b2})
            for (auto &s : *p) s = static_cast<uint16>(aSample(aRandom));
        for (int i = 0; i < kRAW_LUTEntries; ++i) lut[i] = static_cast<uint16>((i * 7) / 8);  // any curve
        std::uniform_real_distribution<double> aReal(-300.0, 1023.0);
        for (auto *p : {&y, &cr, &cb, &e1, &ef, &yf, &crf, &cbf})
            for (auto &v : *p) v = aReal(aRandom);
    }
};

Band &TheBand() {
    static Band sBand;
    return sBand;
}

// Every stage runs in four forms, side by side: the optimised stage with the widest
// kernels the machine has, with AVX2 kernels at most, with the baseline (SSE2) kernels,
// and the straightforward reference form. The form is the benchmark's first argument.
enum Form { kOptimised = 0, kUpToAVX2 = 1, kBaseline = 2, kReference = 3 };

Form BeginForm(benchmark::State &ioState) {
    Form aForm = static_cast<Form>(ioState.range(0));
    RAW_LimitKernels(aForm == kUpToAVX2   ? kRAW_KernelsAVX2
                     : aForm == kBaseline ? kRAW_KernelsBaseline
                                          : kRAW_KernelsAVX512);
    const char *kLabels[] = {"optimised", "AVX2 kernels", "SSE2 kernels", "reference"};
    ioState.SetLabel(kLabels[aForm]);
    return aForm;
}

#define RUN_STAGE(form, name, ...) (((form) == kReference) ? name##_Reference(__VA_ARGS__) : name(__VA_ARGS__))

void PerPixel(benchmark::State &ioState) {
    ioState.counters["per_pixel"] =
        benchmark::Counter(kPixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// White balance rewrites the band in place, so every run starts from a fresh copy; the
// copy alone is measured by BM_BandCopy.
void BM_BandCopy(benchmark::State &ioState) {
    Band &b = TheBand();
    std::vector<uint16> aWork(kSamples);
    for (auto _ : ioState) {
        std::memcpy(aWork.data(), b.mosaic.data(), kSamples * sizeof(uint16));
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_WhiteBalance(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    std::vector<uint16> aWork(kSamples);
    for (auto _ : ioState) {
        std::memcpy(aWork.data(), b.mosaic.data(), kSamples * sizeof(uint16));
        RUN_STAGE(aForm, RAW_WhiteBalance, aWork.data(), kBandWidth, kBandHeight, kCFA, 64, 64, 64, 64, 1.5, 1.3,
                  kBits);
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_LowPassFilter(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_LowPassFilter, b.mosaic.data(), kBandWidth, kBandHeight, kCFA, kRAW_LPFInnerWeight,
                  kRAW_LPFMixedWeight, kRAW_LPFOuterWeight, kBits, &kOutSize, b.r.data(), b.g.data(), b.b.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_ColorationControl(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    double aWB_R = ioState.range(1) ? 0.8 : 1.5;  // below 1: the ceilings are active
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_ColorationControl, b.r.data(), b.g.data(), b.b.data(), aWB_R, 1.2, 0, kBits, 32, 32, 32,
                  32, &kOutSize, b.r2.data(), b.g2.data(), b.b2.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_ColorAdjust(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_ColorAdjust, b.r2.data(), b.g2.data(), b.b2.data(), 1.5, -0.3, -0.2, -0.2, 1.4, -0.2, 0.0,
                  -0.5, 1.5, kBits, &kOutSize, b.r.data(), b.g.data(), b.b.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_LUTAdjust(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_LUTAdjust, b.r.data(), b.g.data(), b.b.data(), b.lut.data(), b.lut.data(), b.lut.data(), 1,
                  kBits, &kOutSize, b.r2.data(), b.g2.data(), b.b2.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_EdgeLUTAdjust(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_EdgeLUTAdjust, b.mosaic.data(), kBandWidth, kBandHeight, b.lut.data(), 1, kBits,
                  b.edge.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_Convert2YC(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_Convert2YC, b.r2.data(), b.g2.data(), b.b2.data(), kBits, &kOutSize, b.y.data(),
                  b.cr.data(), b.cb.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_EdgeBPF(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_EdgeBPF, b.mosaic.data(), kBandWidth, kBandHeight, kCFA, kRAW_BPFInnerWeight,
                  kRAW_BPFMixedWeight, kRAW_BPFOuterWeight, kBits, &kOutSize, b.e1.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_CoringEdge(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_CoringEdge, b.e1.data(), kRAW_EdgeLimitHigh, kRAW_EdgeLimitLow, 1.25, 2.0, kBits,
                  &kOutSize, b.ef.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_ColorRestrainEdgeAdd(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_ColorRestrainEdgeAdd, b.y.data(), b.cr.data(), b.cb.data(), b.ef.data(), b.r2.data(),
                  b.g2.data(), b.b2.data(), b.e1.data(), 100, 1023, 700, 1023, 8, 0.5, kBits, &kOutSize, b.yf.data(),
                  b.crf.data(), b.cbf.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

void BM_ConvertToRGB(benchmark::State &ioState) {
    const Form aForm = BeginForm(ioState);
    Band &b = TheBand();
    for (auto _ : ioState) {
        RUN_STAGE(aForm, RAW_ConvertToRGB, b.yf.data(), b.crf.data(), b.cbf.data(), kBits, &kOutSize, b.r.data(),
                  b.g.data(), b.b.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

// The settings of a method-2 band for the whole-band benchmarks, with the parameters the
// stage benchmarks use.
RAW_BandSettings BandSettings(const Band &b, double inWB_R) {
    RAW_BandSettings s{};
    s.VB = kBits;
    s.tone_mode = 1;
    std::memcpy(s.CFA, kCFA, 4);
    s.OB_R = s.OB_Gr = s.OB_Gb = s.OB_B = 32;
    s.WB_R = inWB_R;
    s.WB_B = 1.2;
    s.CMX1 = 1.5, s.CMX2 = -0.3, s.CMX3 = -0.2, s.CMX4 = -0.2, s.CMX5 = 1.4, s.CMX6 = -0.2;
    s.CMX7 = 0.0, s.CMX8 = -0.5, s.CMX9 = 1.5;
    s.Kedge = 1.25, s.Kcoring = 2.0;
    s.CSK1 = 100, s.CSK2 = 1023, s.CSK3 = 700, s.CSK4 = 1023;
    s.CSG1 = 8, s.CSG2 = 0.5;
    s.LUT_Tone0 = s.LUT_Tone1 = s.LUT_Tone2 = s.LUT_Edge = b.lut.data();
    return s;
}

// The stages after the white balance over one band, as the driver runs them: the toned
// mosaic, then interpolation to RGB stretch by stretch (the second argument: gain below 1,
// so that coloration control binds). Compare with the sum of the stages above.
void BM_BandInStretches(benchmark::State &ioState) {
    Band &b = TheBand();
    RAW_LimitKernels(kRAW_KernelsAVX512);
    const RAW_BandSettings s = BandSettings(b, ioState.range(0) ? 0.8 : 1.5);
    for (auto _ : ioState) {
        RAW_EdgeLUTAdjust(b.mosaic.data(), kBandWidth, kBandHeight, s.LUT_Edge, s.tone_mode, kBits, b.edge.data());
        RAW_ConvertBandInChunks(&s, kBandWidth, b.mosaic.data(), b.edge.data(), &kOutSize, b.r.data(), b.b.data(),
                                b.g.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

// The same stages one after the other over the whole band, each writing its plane, as
// the driver ran them before it worked stretch by stretch.
void BM_BandInStages(benchmark::State &ioState) {
    Band &b = TheBand();
    RAW_LimitKernels(kRAW_KernelsAVX512);
    const RAW_BandSettings s = BandSettings(b, ioState.range(0) ? 0.8 : 1.5);
    std::vector<uint16> r1(kPixels), g1(kPixels), b1(kPixels), r2(kPixels), g2(kPixels), b2(kPixels);
    std::vector<double> y(kPixels), cr(kPixels), cb(kPixels), e1(kPixels), ef(kPixels);
    for (auto _ : ioState) {
        RAW_LowPassFilter(b.mosaic.data(), kBandWidth, kBandHeight, kCFA, kRAW_LPFInnerWeight, kRAW_LPFMixedWeight,
                          kRAW_LPFOuterWeight, kBits, &kOutSize, r1.data(), g1.data(), b1.data());
        RAW_ColorationControl(r1.data(), g1.data(), b1.data(), s.WB_R, s.WB_B, s.tone_mode, kBits, s.OB_R, s.OB_Gr,
                              s.OB_Gb, s.OB_B, &kOutSize, r2.data(), g2.data(), b2.data());
        RAW_ColorAdjust(r2.data(), g2.data(), b2.data(), s.CMX1, s.CMX2, s.CMX3, s.CMX4, s.CMX5, s.CMX6, s.CMX7, s.CMX8,
                        s.CMX9, kBits, &kOutSize, r1.data(), g1.data(), b1.data());
        RAW_LUTAdjust(r1.data(), g1.data(), b1.data(), s.LUT_Tone0, s.LUT_Tone1, s.LUT_Tone2, s.tone_mode, kBits,
                      &kOutSize, r2.data(), g2.data(), b2.data());
        RAW_Convert2YC(r2.data(), g2.data(), b2.data(), kBits, &kOutSize, y.data(), cr.data(), cb.data());
        RAW_EdgeLUTAdjust(b.mosaic.data(), kBandWidth, kBandHeight, s.LUT_Edge, s.tone_mode, kBits, b.edge.data());
        RAW_EdgeBPF(b.edge.data(), kBandWidth, kBandHeight, kCFA, kRAW_BPFInnerWeight, kRAW_BPFMixedWeight,
                    kRAW_BPFOuterWeight, kBits, &kOutSize, e1.data());
        RAW_CoringEdge(e1.data(), kRAW_EdgeLimitHigh, kRAW_EdgeLimitLow, s.Kedge, s.Kcoring, kBits, &kOutSize,
                       ef.data());
        RAW_ColorRestrainEdgeAdd(y.data(), cr.data(), cb.data(), ef.data(), r2.data(), g2.data(), b2.data(), e1.data(),
                                 s.CSK1, s.CSK2, s.CSK3, s.CSK4, s.CSG1, s.CSG2, kBits, &kOutSize, b.yf.data(),
                                 b.crf.data(), b.cbf.data());
        RAW_ConvertToRGB(b.yf.data(), b.crf.data(), b.cbf.data(), kBits, &kOutSize, b.r.data(), b.b.data(), b.g.data());
        benchmark::ClobberMemory();
    }
    PerPixel(ioState);
}

}  // namespace

BENCHMARK(BM_BandCopy);
#define FORMS DenseRange(kOptimised, kReference)
BENCHMARK(BM_WhiteBalance)->FORMS;
BENCHMARK(BM_LowPassFilter)->FORMS;
BENCHMARK(BM_ColorationControl)->ArgsProduct({{kOptimised, kUpToAVX2, kBaseline, kReference}, {0, 1}});
BENCHMARK(BM_ColorAdjust)->FORMS;
BENCHMARK(BM_LUTAdjust)->FORMS;
BENCHMARK(BM_EdgeLUTAdjust)->FORMS;
BENCHMARK(BM_Convert2YC)->FORMS;
BENCHMARK(BM_EdgeBPF)->FORMS;
BENCHMARK(BM_CoringEdge)->FORMS;
BENCHMARK(BM_ColorRestrainEdgeAdd)->FORMS;
BENCHMARK(BM_ConvertToRGB)->FORMS;
BENCHMARK(BM_BandInStretches)->DenseRange(0, 1);
BENCHMARK(BM_BandInStages)->DenseRange(0, 1);

BENCHMARK_MAIN();
