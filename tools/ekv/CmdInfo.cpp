// ekv info: everything the reader finds in a file's header, and what an import of it
// will produce.
#include <cstdio>
#include <sstream>

#include "Cli.h"
#include "Preview.h"
#include "RawHeader.h"

namespace ekv {

namespace {

std::string JsonString(const std::string &inText) {
    std::string aOut = "\"";
    for (unsigned char aChar : inText) {
        if (aChar == '"' || aChar == '\\') {
            aOut += '\\';
            aOut += static_cast<char>(aChar);
        } else if (aChar < 0x20) {
            char aEscape[8];
            std::snprintf(aEscape, sizeof aEscape, "\\u%04x", aChar);
            aOut += aEscape;
        } else {
            aOut += static_cast<char>(aChar);
        }
    }
    return aOut + "\"";
}

// Collects name/value pairs once and prints them as text or JSON.
class Report {
public:
    void number(const std::string &inName, long long inValue) { mFields.push_back({inName, std::to_string(inValue), false}); }
    void list(const std::string &inName, const std::vector<long long> &inValues) {
        std::ostringstream aText;
        for (size_t aIndex = 0; aIndex < inValues.size(); ++aIndex) aText << (aIndex ? "," : "") << inValues[aIndex];
        mFields.push_back({inName, aText.str(), true});
    }
    void text(const std::string &inName, const std::string &inValue) { mFields.push_back({inName, inValue, false, true}); }
    void flag(const std::string &inName, bool inValue) { mFields.push_back({inName, inValue ? "true" : "false", false}); }

    void print(bool inJson) const {
        if (!inJson) {
            for (const Field &aField : mFields) {
                std::string aValue = aField.value;
                if (aField.isList)
                    for (char &aChar : aValue)
                        if (aChar == ',') aChar = ' ';
                std::printf("%-28s %s\n", (aField.name + ":").c_str(), aValue.c_str());
            }
            return;
        }
        std::printf("{\n");
        for (size_t aIndex = 0; aIndex < mFields.size(); ++aIndex) {
            const Field &aField = mFields[aIndex];
            std::string aValue = aField.isList ? "[" + aField.value + "]" : aField.value;
            if (aField.isText) aValue = JsonString(aField.value);
            std::printf("  \"%s\": %s%s\n", aField.name.c_str(), aValue.c_str(), aIndex + 1 < mFields.size() ? "," : "");
        }
        std::printf("}\n");
    }

private:
    struct Field {
        std::string name;
        std::string value;
        bool isList = false;
        bool isText = false;
    };
    std::vector<Field> mFields;
};

template <typename T, size_t N>
std::vector<long long> Values(const T (&inArray)[N], size_t inCount = N) {
    std::vector<long long> aValues;
    for (size_t aIndex = 0; aIndex < inCount && aIndex < N; ++aIndex) aValues.push_back(inArray[aIndex]);
    return aValues;
}

void Describe(const HeaderInfo &inHeader, Report &ioReport) {
    const RAW_Info &aInfo = inHeader.info;
    char aEndian[8];
    std::snprintf(aEndian, sizeof aEndian, "0x%04X", aInfo.endian);
    ioReport.text("endian", std::string(aEndian) + (aInfo.endian == kRAW_BigEndian ? " (MM, big-endian)" : " (II, little-endian)"));
    ioReport.number("image_width", aInfo.image_width);
    ioReport.number("image_length", aInfo.image_length);
    ioReport.number("bit_per_sample", aInfo.bit_per_sample);
    ioReport.number("photometric_interpretation", aInfo.photometric_interpretation);
    ioReport.list("strip_offsets", Values(aInfo.strip_offsets));
    ioReport.number("sample_per_pixel", aInfo.sample_per_pixel);
    ioReport.number("raw_per_strip", aInfo.raw_per_strip);
    ioReport.list("strip_byte_count", Values(aInfo.strip_byte_count));
    ioReport.number("wb_gain_gr", aInfo.wb_gain_gr);
    ioReport.number("wb_gain_gb", aInfo.wb_gain_gb);
    ioReport.number("sharpness", aInfo.sharpness);
    ioReport.list("cfa_pattern_size", Values(aInfo.cfa_pattern.size));
    ioReport.list("cfa_pattern_value", Values(aInfo.cfa_pattern.value));
    ioReport.list("optical_black", Values(aInfo.optical_black));
    ioReport.number("tone_mode", aInfo.tone_mode);
    ioReport.list("color_matrix", Values(aInfo.color_matrix));
    ioReport.number("enhancer", aInfo.enhancer);
    ioReport.list("chromasupless", Values(aInfo.chromasupless));
    ioReport.list("valid_bits_per_pixel", Values(aInfo.valid_bits_per_pixel));
    ioReport.number("coring", aInfo.coring);
    ioReport.number("output_image_width", aInfo.output_image_width);
    ioReport.number("output_image_height", aInfo.output_image_height);

    ioReport.number("thumbnail_bytes", static_cast<long long>(inHeader.thumbnail.size()));
    int32 aWidth = 0, aHeight = 0;
    bool aSized = JpegSize(inHeader.thumbnail, aWidth, aHeight);
    ioReport.number("thumbnail_width", aSized ? aWidth : 0);
    ioReport.number("thumbnail_height", aSized ? aHeight : 0);

    ioReport.flag("convertible", inHeader.convertible);
    uint32 aBand = BandHeightFor(aInfo.output_image_width);
    ioReport.number("band_height", aBand);
    ioReport.number("rows_per_band", static_cast<long long>(aBand) - 4);
    ioReport.number("document_width", aInfo.output_image_width);
    ioReport.number("document_height", aInfo.output_image_height);
    ioReport.number("document_depth", DocumentDepth(aInfo));
    int32 aRows = DeliveredRows(aInfo.output_image_width, aInfo.output_image_height);
    ioReport.number("delivered_rows", aRows);
    ioReport.number("bands", aRows / (static_cast<int32>(aBand) - 4));
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
    if (aFiles.size() != 1) return UsageError("info", "name exactly one file");
    const std::string &aFile = aFiles.front();
    std::string aReason;
    if (!CheckInput(aFile, aReason)) return Fail(kExitNoInput, aFile, aReason);
    HeaderInfo aHeader;
    switch (ReadHeader(aFile, aHeader, aReason)) {
        case HeaderStatus::Ok: break;
        case HeaderStatus::NotEKV: return Fail(kExitNotEKV, aFile, aReason);
        case HeaderStatus::Damaged: return Fail(kExitDamaged, aFile, aReason);
        case HeaderStatus::OutOfMemory: return Fail(kExitNoMemory, aFile, aReason);
    }
    Report aReport;
    aReport.text("file", aFile);
    Describe(aHeader, aReport);
    aReport.print(aJson);
    return kExitOk;
}

}  // namespace ekv
