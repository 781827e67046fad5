// The fixed coefficients of the pipeline stages. The band driver, the optimised stages,
// their kernels and the reference forms all take them from here, so a change reaches
// every form at once. Each constant has exactly the value and type of the literal it
// names: the arithmetic that uses it gives the same bits.
#ifndef KARVEX_PIPELINE_STAGECOEFFICIENTS_H
#define KARVEX_PIPELINE_STAGECOEFFICIENTS_H

// Colour interpolation: the weights of the inner, mixed and outer samples of the 4x4
// window (LPF_Ka1, LPF_Kb1, LPF_Kc1); a green sum, twice as many samples, is halved.
constexpr double kRAW_LPFInnerWeight = 0.5626;
constexpr double kRAW_LPFMixedWeight = 0.1875;
constexpr double kRAW_LPFOuterWeight = 0.0625;
constexpr double kRAW_LPFGreenScale = 0.5;

// Coloration control: the slope of the highlight ceilings and the headroom of the
// clipped red and blue levels over their white-balanced maximum.
constexpr double kRAW_CeilingSlope = -12.0;
constexpr double kRAW_ClipHeadroom = 1.05;

// Luminance and colour differences from RGB:
//   Y = 0.299 R + 0.587 G + 0.114 B, Cr = 0.5 R - 0.419 G - 0.081 B, Cb = -0.169 R - 0.331 G + 0.5 B.
// The magnitudes are kept here; the signs stay in the expressions.
constexpr double kRAW_YFromR = 0.299;
constexpr double kRAW_YFromG = 0.587;
constexpr double kRAW_YFromB = 0.114;
constexpr double kRAW_CrFromR = 0.5;
constexpr double kRAW_CrFromG = 0.419;
constexpr double kRAW_CrFromB = 0.081;
constexpr double kRAW_CbFromR = 0.169;
constexpr double kRAW_CbFromG = 0.331;
constexpr double kRAW_CbFromB = 0.5;

// RGB from luminance and colour differences:
//   R = Y + 1.402 Cr, G = Y - 0.714 Cr - 0.344 Cb, B = Y + 1.773 Cb (magnitudes, as above).
constexpr double kRAW_RFromCr = 1.402;
constexpr double kRAW_GFromCr = 0.714;
constexpr double kRAW_GFromCb = 0.344;
constexpr double kRAW_BFromCb = 1.773;

// The green band-pass of the detail signal: inner, mixed and outer weights (BPF_Ka2,
// BPF_Kb2, BPF_Kc2).
constexpr double kRAW_BPFInnerWeight = 0.75;
constexpr double kRAW_BPFMixedWeight = -0.25;
constexpr double kRAW_BPFOuterWeight = -0.25;

// The limits of the cored detail signal on the 16-bit scale (Edge_THH, Edge_THL).
constexpr int kRAW_EdgeLimitHigh = 25476;
constexpr int kRAW_EdgeLimitLow = -25476;

// Chroma suppression: the edge slope CSG1 is given in quarter gain units.
constexpr double kRAW_ChromaSlopeUnit = 0.25;

#endif
