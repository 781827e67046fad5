// Whole imports through ENTRYPOINT with the in-process test host, for the robustness
// tests: small EKV files from the writer library, byte-level edits of them (patching a
// directory entry, cutting the file, zeroing a range), and the invariants every import
// must keep whatever the file holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RunTestSupport.h"
#include "TestHost.h"
#include "ekvwriter/EkvWriter.h"
#include "resources/Strings.h"

namespace robust {

// The small camera every hostile file starts from: a 32 × 56 mosaic, output 28 × 52 (two
// bands of 30 sensor rows), seven strips of 8 rows.
struct BaseFile {
    uint16_t endian = kRAW_LittleEndian;
    int validBits = 10;
    int bitOffset = 0;
    int32_t width = 32;
    int32_t length = 56;
    int32_t outWidth = 28;
    int32_t outHeight = 52;
    int32_t rowsPerStrip = 8;
    uint8_t cfa[4] = {0, 1, 1, 2};
    bool makerNote = true;
    bool thumbnail = true;
    int16_t colorMatrix[9] = {300, -30, -14, -40, 310, -14, -10, -50, 316};
    int16_t black = 8;
};

ekvwriter::WriteResult WriteBase(const BaseFile &inBase, const std::vector<uint16_t> *inMosaic = nullptr);
// A deterministic mosaic of inBase's size within its valid bits.
std::vector<uint16_t> BaseMosaic(const BaseFile &inBase);

// Reading and patching directories of a written file in its byte order.
struct Bytes {
    std::vector<uint8_t> data;
    bool big = false;
    uint32_t u16(size_t inAt) const;
    uint32_t u32(size_t inAt) const;
    void put16(size_t inAt, uint32_t inValue);
    void put32(size_t inAt, uint32_t inValue);
    // File offset of the entry with inTag in the directory whose count is at inCountAt;
    // nullopt when absent.
    std::optional<size_t> entry(size_t inCountAt, uint16_t inTag) const;
    // The value field (offset 8 of the entry) of inTag, asserted present.
    size_t field(size_t inCountAt, uint16_t inTag) const;
};
Bytes BytesOf(const ekvwriter::WriteResult &inFile);

enum class Result { Imported, Refused, NotEkv, Failed };

struct Outcome {
    int16 prepare = 0, start = 0, finish = 0, finalize = 0;
    Result result = Result::Failed;
    runtest::Document doc;
    int thumbnails = 0;
    std::vector<std::string> messages;
};

struct ImportOptions {
    int16 method = 1;
    Point point{-1, -1};
    // Plane-delivering Continue calls after which the host stops (and Finish must release
    // what is held); documents larger than this many pixels stop after 9 calls.
    int64_t largeArea = 64 * 64;
    testhost::Options host{};
};

// Prepare, Start, Continue to the end (or the early stop), Finish and Finalize, and every
// invariant that holds for any file: no misuse of the host's memory, nothing left
// allocated but the globals, a refusal that says why, a document that stays inside its
// size. inWhat names the file in failure messages.
Outcome Import(const std::vector<uint8_t> &inFile, const std::string &inWhat, const ImportOptions &inOptions = {});
// The same with a host supplied by the caller, on a file at inPath; inChange (when given)
// runs after Prepare (inChangeAfter 0) or after inChangeAfter Continue calls.
Outcome ImportWith(testhost::TestHost &ioHost, const std::string &inPath, const std::string &inWhat,
                   const ImportOptions &inOptions, int inChangeAfter = -1, const std::function<void()> &inChange = {});

// Whether two outcomes are the same import: results, messages and every delivered sample.
void ExpectSameImport(const Outcome &inA, const Outcome &inB, const std::string &inWhat);

}  // namespace robust
