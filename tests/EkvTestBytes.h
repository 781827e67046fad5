// Small helpers for the reader's tests: a byte builder that lays out EKV headers in either
// byte order, and temporary files reached through the media layer's FSSpec records.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#define KARVEX_TEST_PID _getpid()
#else
#include <unistd.h>
#define KARVEX_TEST_PID getpid()
#endif

#include "host/MediaLayer.h"

namespace ekvtest {

// One directory entry as the test means it: for SHORT/SSHORT entries of at most two
// values, `first` and `second` are the inline values; otherwise `first` is the 32-bit
// value field.
struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t length;
    uint32_t first;
    uint32_t second = 0;
};

class Bytes {
public:
    explicit Bytes(bool inBigEndian) : mBig(inBigEndian) {}

    bool big() const { return mBig; }
    std::vector<uint8_t> &data() { return mData; }
    const std::vector<uint8_t> &data() const { return mData; }

    void u8(size_t inAt, uint8_t inValue) {
        grow(inAt + 1);
        mData[inAt] = inValue;
    }
    void u16(size_t inAt, uint32_t inValue) {
        grow(inAt + 2);
        for (int i = 0; i < 2; ++i) mData[inAt + i] = byteOf(inValue, mBig ? 1 - i : i);
    }
    void u32(size_t inAt, uint32_t inValue) {
        grow(inAt + 4);
        for (int i = 0; i < 4; ++i) mData[inAt + i] = byteOf(inValue, mBig ? 3 - i : i);
    }
    void raw(size_t inAt, const std::vector<uint8_t> &inBytes) {
        grow(inAt + inBytes.size());
        for (size_t i = 0; i < inBytes.size(); ++i) mData[inAt + i] = inBytes[i];
    }
    void grow(size_t inSize) {
        if (mData.size() < inSize) mData.resize(inSize, 0);
    }

    // The TIFF header with the EKV magic (or another version) and a first-IFD offset.
    void header(uint16_t inVersion = 0x454B, uint32_t inOffset = 8) {
        raw(0, mBig ? std::vector<uint8_t>{0x4D, 0x4D} : std::vector<uint8_t>{0x49, 0x49});
        u16(2, inVersion);
        u32(4, inOffset);
    }

    void entry(size_t inAt, const Entry &inEntry) {
        u16(inAt, inEntry.tag);
        u16(inAt + 2, inEntry.type);
        u32(inAt + 4, inEntry.length);
        if ((inEntry.type == 3 || inEntry.type == 8) && inEntry.length <= 2) {
            u16(inAt + 8, inEntry.first);
            u16(inAt + 10, inEntry.second);
        } else {
            u32(inAt + 8, inEntry.first);
        }
    }

    // A count, the entries and (when inNext is not negative) the next-directory offset.
    // Returns the offset just past what was written.
    size_t directory(size_t inAt, const std::vector<Entry> &inEntries, int64_t inNext = 0) {
        u16(inAt, static_cast<uint32_t>(inEntries.size()));
        size_t aAt = inAt + 2;
        for (const Entry &aEntry : inEntries) {
            entry(aAt, aEntry);
            aAt += 12;
        }
        if (inNext >= 0) {
            u32(aAt, static_cast<uint32_t>(inNext));
            aAt += 4;
        }
        return aAt;
    }

    // A maker note: 5 signature bytes, 3 version bytes, the count and the entries.
    size_t makerNote(size_t inAt, const std::string &inSignature, const std::vector<Entry> &inEntries) {
        for (size_t i = 0; i < 8; ++i) u8(inAt + i, static_cast<uint8_t>(i < inSignature.size() ? inSignature[i] : 0));
        return directory(inAt + 8, inEntries, -1);
    }

    void shorts(size_t inAt, const std::vector<int> &inValues) {
        for (size_t i = 0; i < inValues.size(); ++i) u16(inAt + 2 * i, static_cast<uint32_t>(inValues[i]) & 0xFFFFu);
    }
    void longs(size_t inAt, const std::vector<uint32_t> &inValues) {
        for (size_t i = 0; i < inValues.size(); ++i) u32(inAt + 4 * i, inValues[i]);
    }

private:
    static uint8_t byteOf(uint32_t inValue, int inIndex) { return static_cast<uint8_t>(inValue >> (8 * inIndex)); }
    bool mBig;
    std::vector<uint8_t> mData;
};

inline std::string TempPath(const std::string &inLeaf) {
#if defined(_WIN32)
    std::string aBase = ".";
#else
    const char *aDir = std::getenv("TMPDIR");
    std::string aBase = aDir != nullptr ? aDir : "/tmp";
#endif
    // Tests run in parallel processes (and several builds at once): each process has its
    // own files.
    return aBase + "/" + std::to_string(KARVEX_TEST_PID) + "_" + inLeaf;
}

// A file written for one test and removed when the test is done.
class TempFile {
public:
    TempFile(const std::string &inLeaf, const std::vector<uint8_t> &inBytes) : mPath(TempPath(inLeaf)) {
        std::ofstream aOut(mPath, std::ios::binary | std::ios::trunc);
        aOut.write(reinterpret_cast<const char *>(inBytes.data()), static_cast<std::streamsize>(inBytes.size()));
        aOut.close();
        mOk = aOut.good() && NativePathNameToFSSpec(mPath.c_str(), &mSpec, 0) == noErr;
    }
    ~TempFile() { std::remove(mPath.c_str()); }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    bool ok() const { return mOk; }
    const FSSpec *fsSpec() const { return &mSpec; }

private:
    std::string mPath;
    FSSpec mSpec{};
    bool mOk = false;
};

}  // namespace ekvtest
