// ekv info: everything the reader finds in a file's header, and what an import of it
// will produce; as text, or as JSON for scripts.
#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <sstream>

#include "commands/Cli.h"
#include "import/HostHeaderView.h"
#include "JsonText.h"
#include "import/Preview.h"
#include "metadata/ConvertMetadata.h"
#include "metadata/RawTags.h"
#include "metadata/TextEncoding.h"
#include "output/ShownName.h"
#include "pipeline/Pipeline.h"
#include "plugin/AcquireRun.h"

namespace ekv {

namespace {

// The version of the JSON layout: raised when a field changes meaning or goes away.
constexpr int kInfoSchema = 1;

std::string JsonString(const std::string &inText) { return hostkit::JsonString(inText, hostkit::JsonEscapes::Unicode); }

// Collects name/value pairs once, each with its JSON and its display form.
class Report {
public:
    void number(const std::string &inName, long long inValue) { add(inName, std::to_string(inValue)); }
    void real(const std::string &inName, double inValue) {
        char aText[32];
        std::snprintf(aText, sizeof aText, "%.6g", inValue);
        add(inName, std::isfinite(inValue) ? aText : "null");
    }
    void list(const std::string &inName, const std::vector<long long> &inValues) {
        std::ostringstream aJson, aText;
        for (size_t aIndex = 0; aIndex < inValues.size(); ++aIndex) {
            aJson << (aIndex ? "," : "") << inValues[aIndex];
            aText << (aIndex ? " " : "") << inValues[aIndex];
        }
        add(inName, "[" + aJson.str() + "]", aText.str());
    }
    // Text, or null when empty and inNullWhenEmpty.
    // Text, or null when empty and inNullWhenEmpty. JSON holds valid UTF-8 only: other
    // bytes become U+FFFD there.
    void text(const std::string &inName, const std::string &inValue, bool inNullWhenEmpty = false) {
        add(inName, inNullWhenEmpty && inValue.empty() ? "null" : JsonString(ValidUtf8(inValue)), inValue);
    }
    // A file name: shown quoted where it holds control characters or bytes that are not
    // UTF-8; in JSON, such bytes are also given as they are, in NAME_bytes.
    void name(const std::string &inName, const std::string &inValue) {
        add(inName, JsonString(ValidUtf8(inValue)), ShownName(inValue));
        if (IsValidUtf8(inValue)) return;
        std::vector<long long> aBytes;
        for (unsigned char aByte : inValue) aBytes.push_back(aByte);
        list(inName + "_bytes", aBytes);
    }
    void flag(const std::string &inName, bool inValue) { add(inName, inValue ? "true" : "false"); }

    void printText() const {
        for (const Field &aField : mFields)
            std::printf("%-28s %s\n", (aField.name + ":").c_str(), aField.display.c_str());
    }
    void printJson(const char *inIndent) const {
        std::printf("%s{\n", inIndent);
        for (size_t aIndex = 0; aIndex < mFields.size(); ++aIndex)
            std::printf("%s  \"%s\": %s%s\n", inIndent, mFields[aIndex].name.c_str(), mFields[aIndex].json.c_str(),
                        aIndex + 1 < mFields.size() ? "," : "");
        std::printf("%s}", inIndent);
    }

private:
    struct Field {
        std::string name, json, display;
    };
    void add(const std::string &inName, const std::string &inJson, const std::string &inDisplay) {
        mFields.push_back({inName, inJson, inDisplay});
    }
    void add(const std::string &inName, const std::string &inJson) { add(inName, inJson, inJson); }
    std::vector<Field> mFields;
};

template <typename T, size_t N>
std::vector<long long> Values(const T (&inArray)[N], size_t inCount = N) {
    std::vector<long long> aValues;
    for (size_t aIndex = 0; aIndex < inCount && aIndex < N; ++aIndex) aValues.push_back(inArray[aIndex]);
    return aValues;
}

// The strips the sensor's rows fill (at most the table's 15).
size_t StripsInUse(const RAW_Info &inInfo) {
    if (inInfo.raw_per_strip <= 0 || inInfo.image_length <= 0) return 0;
    int64_t aStrips = (static_cast<int64_t>(inInfo.image_length) + inInfo.raw_per_strip - 1) / inInfo.raw_per_strip;
    return static_cast<size_t>(std::min<int64_t>(aStrips, kRAW_MaxStrips));
}

// "RGGB" and the like from the four values of red (0), green (1) and blue (2) that the
// module reads; empty for other values.
std::string PatternName(const RAW_Info &inInfo) {
    std::string aName;
    for (int aIndex = 0; aIndex < 4; ++aIndex) {
        int aColour = inInfo.cfa_pattern.value[aIndex];
        if (aColour < 0 || aColour > 2) return {};
        aName += "RGB"[aColour];
    }
    return aName;
}

void Describe(const std::string &inFile, const HeaderInfo &inHeader, Report &ioReport) {
    const RAW_Info &aInfo = inHeader.info;
    const bool aBig = aInfo.endian == kRAW_BigEndian;
    ioReport.text("endian", aBig ? "MM" : "II");
    ioReport.number("endian_mark", aInfo.endian);
    ioReport.number("image_width", aInfo.image_width);
    ioReport.number("image_length", aInfo.image_length);
    ioReport.number("bit_per_sample", aInfo.bit_per_sample);
    ioReport.number("photometric_interpretation", aInfo.photometric_interpretation);
    const size_t aStrips = StripsInUse(aInfo);
    ioReport.number("strip_count", static_cast<long long>(aStrips));
    ioReport.list("strip_offsets", Values(aInfo.strip_offsets, aStrips));
    ioReport.number("sample_per_pixel", aInfo.sample_per_pixel);
    ioReport.number("raw_per_strip", aInfo.raw_per_strip);
    ioReport.list("strip_byte_count", Values(aInfo.strip_byte_count, aStrips));
    ioReport.number("wb_gain_gr", aInfo.wb_gain_gr);
    ioReport.number("wb_gain_gb", aInfo.wb_gain_gb);
    ioReport.real("wb_red", RAW_SInt32ToGainRatio(aInfo.wb_gain_gr));
    ioReport.real("wb_blue", RAW_SInt32ToGainRatio(aInfo.wb_gain_gb));
    ioReport.number("sharpness", aInfo.sharpness);
    ioReport.list("cfa_pattern_size", Values(aInfo.cfa_pattern.size));
    ioReport.list("cfa_pattern_value", Values(aInfo.cfa_pattern.value));
    ioReport.text("cfa_pattern", PatternName(aInfo), true);
    ioReport.list("optical_black", Values(aInfo.optical_black));
    ioReport.number("tone_mode", aInfo.tone_mode);
    ioReport.list("color_matrix", Values(aInfo.color_matrix));
    ioReport.number("enhancer", aInfo.enhancer);
    ioReport.list("chromasupless", Values(aInfo.chromasupless));
    ioReport.list("valid_bits_per_pixel", Values(aInfo.valid_bits_per_pixel));
    ioReport.number("coring", aInfo.coring);
    ioReport.number("output_image_width", aInfo.output_image_width);
    ioReport.number("output_image_height", aInfo.output_image_height);

    CameraTags aCamera;
    ReadCameraTags(inFile, aCamera);
    ioReport.text("make", aCamera.make, true);
    ioReport.text("model", aCamera.model, true);
    ioReport.text("date_time", aCamera.dateTime, true);
    ioReport.text("artist", aCamera.artist, true);
    ioReport.text("copyright", aCamera.copyright, true);
    const std::string aTextNote = TextNote(aCamera);
    if (!aTextNote.empty()) std::fprintf(stderr, "ekv: %s: note: %s\n", ShownName(inFile).c_str(), aTextNote.c_str());

    ioReport.number("thumbnail_bytes", static_cast<long long>(inHeader.thumbnail.size()));
    int32 aWidth = 0, aHeight = 0;
    bool aSized = JpegSize(inHeader.thumbnail, aWidth, aHeight);
    ioReport.number("thumbnail_width", aSized ? aWidth : 0);
    ioReport.number("thumbnail_height", aSized ? aHeight : 0);

    std::string aRefusal = RefusalReason(inFile, inHeader);
    ioReport.flag("convertible", aRefusal.empty());
    ioReport.text("reason", aRefusal, true);
    uint32 aBand = DoBandHeight(aInfo.output_image_width);
    ioReport.number("band_height", aBand);
    ioReport.number("rows_per_band", static_cast<long long>(aBand) - 4);
    ioReport.number("document_width", aInfo.output_image_width);
    ioReport.number("document_height", aInfo.output_image_height);
    ioReport.number("document_depth", DocumentDepth(aInfo));
    int32 aRows = DeliveredRows(aInfo.output_image_width, aInfo.output_image_height);
    ioReport.number("delivered_rows", aRows);
    ioReport.number("bands", aRows / (static_cast<int32>(aBand) - 4));
    // convert's image ends at the last row delivered (--full-document keeps them all).
    ioReport.number("image_height", std::min(aRows, aInfo.output_image_height));
}

// One file's report, or the exit code after the message (and an error report).
int InfoOf(const std::string &inFile, Report &outReport) {
    outReport.number("schema", kInfoSchema);
    outReport.name("file", inFile);
    std::string aReason;
    int aCode = kExitOk;
    HeaderInfo aHeader;
    if (!CheckInput(inFile, aReason)) {
        aCode = kExitNoInput;
    } else {
        switch (ReadHeader(inFile, aHeader, aReason)) {
            case HeaderStatus::Ok: break;
            case HeaderStatus::NotEKV: aCode = kExitNotEKV; break;
            case HeaderStatus::Damaged: aCode = kExitDamaged; break;
            case HeaderStatus::OutOfMemory: aCode = kExitNoMemory; break;
        }
    }
    if (aCode != kExitOk) {
        outReport.text("error", aReason);
        outReport.number("exit_status", aCode);
        return Fail(aCode, inFile, aReason);
    }
    Describe(inFile, aHeader, outReport);
    return kExitOk;
}

}  // namespace

int RunInfo(const std::vector<std::string> &inArgs) {
    ArgScanner aArgs(inArgs);
    bool aJson = false;
    std::vector<std::string> aFiles;
    while (!aArgs.done()) {
        if (aArgs.option("-h", "--help")) {
            std::fputs(kHelpInfo, stdout);
            return kExitOk;
        } else if (aArgs.option(nullptr, "--json")) {
            aJson = true;
        } else if (aArgs.isOption()) {
            return UsageError("info", "unknown option '" + aArgs.next() + "'");
        } else {
            aFiles.push_back(aArgs.next());
        }
    }
    if (aFiles.empty()) return UsageError("info", "no input file");
    const bool aArray = aJson && aFiles.size() > 1;
    int aExit = kExitOk;
    if (aArray) std::printf("[\n");
    for (size_t aIndex = 0; aIndex < aFiles.size(); ++aIndex) {
        Report aReport;
        int aCode = InfoOf(aFiles[aIndex], aReport);
        if (aExit == kExitOk) aExit = aCode;
        if (aJson) {
            aReport.printJson(aArray ? "  " : "");
            std::printf("%s\n", aArray && aIndex + 1 < aFiles.size() ? "," : "");
        } else if (aCode == kExitOk) {
            if (aIndex > 0) std::printf("\n");
            aReport.printText();
        }
        // A report that cannot be written ends the command: the reader has lost it.
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) return FailStandardOutput(errno);
    }
    if (aArray) std::printf("]\n");
    return aExit;
}

}  // namespace ekv
