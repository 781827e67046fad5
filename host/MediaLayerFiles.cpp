// File services of the media layer: file specifications and read-only data forks over C
// stdio, shared by the native and the Windows builds.
#include "MediaLayer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Directories named by the parID of the specs handed out so far (parID = index + 1).
std::vector<std::string> &Directories() {
    static std::vector<std::string> sDirectories;
    return sDirectories;
}

const int kMaxOpenFiles = 32;
std::FILE *sOpenFiles[kMaxOpenFiles];

bool IsSeparator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

std::FILE *FileOf(int16 inRefNum) {
    if (inRefNum < 1 || inRefNum > kMaxOpenFiles) return nullptr;
    return sOpenFiles[inRefNum - 1];
}

}  // namespace

OSErr NativePathNameToFSSpec(const char *inPath, FSSpec *outSpec, int32 /*flags*/) {
    if (outSpec == nullptr) return paramErr;
    outSpec->vRefNum = 0;
    outSpec->parID = 0;
    outSpec->name[0] = 0;
    if (inPath == nullptr) return bdNamErr;
    std::string path(inPath);
    size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1])) --cut;
    std::string leaf = path.substr(cut);
    std::string dir = path.substr(0, cut);
    if (leaf.empty() || leaf.size() > 255 || leaf.find('\0') != std::string::npos) return bdNamErr;
    if (dir.empty()) dir = "./";

    std::vector<std::string> &dirs = Directories();
    size_t index = 0;
    while (index < dirs.size() && dirs[index] != dir) ++index;
    if (index == dirs.size()) {
        if (dirs.size() >= 0x7FFFFFFE) return bdNamErr;
        dirs.push_back(dir);
    }
    outSpec->vRefNum = -1;
    outSpec->parID = static_cast<int32>(index + 1);
    outSpec->name[0] = static_cast<unsigned char>(leaf.size());
    std::memcpy(outSpec->name + 1, leaf.data(), leaf.size());
    return noErr;
}

Boolean FSSpecToNativePath(const FSSpec *inSpec, char *outPath, int32 inSize) {
    if (inSpec == nullptr || outPath == nullptr || inSize <= 0) return false;
    outPath[0] = 0;
    const std::vector<std::string> &dirs = Directories();
    if (inSpec->name[0] == 0 || inSpec->parID < 1 || static_cast<size_t>(inSpec->parID) > dirs.size()) return false;
    std::string path = dirs[inSpec->parID - 1];
    path.append(reinterpret_cast<const char *>(inSpec->name + 1), inSpec->name[0]);
    if (path.size() + 1 > static_cast<size_t>(inSize)) return false;
    std::memcpy(outPath, path.c_str(), path.size() + 1);
    return true;
}

OSErr FSpOpenDF(const FSSpec *inSpec, int8_t /*inPermission*/, int16 *outRefNum) {
    if (outRefNum == nullptr) return paramErr;
    *outRefNum = 0;
    char path[4096];
    if (!FSSpecToNativePath(inSpec, path, sizeof path)) return fnfErr;
    int slot = 0;
    while (slot < kMaxOpenFiles && sOpenFiles[slot] != nullptr) ++slot;
    if (slot == kMaxOpenFiles) return ioErr;
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) return fnfErr;
    sOpenFiles[slot] = file;
    *outRefNum = static_cast<int16>(slot + 1);
    return noErr;
}

OSErr SetFPos(int16 inRefNum, int16 inMode, int32 inOffset) {
    std::FILE *file = FileOf(inRefNum);
    if (file == nullptr) return rfNumErr;
    if (inMode != fsFromStart || inOffset < 0) return paramErr;
    return std::fseek(file, inOffset, SEEK_SET) == 0 ? noErr : ioErr;
}

OSErr FSRead(int16 inRefNum, int32 *ioCount, void *outBuffer) {
    if (ioCount == nullptr) return paramErr;
    std::FILE *file = FileOf(inRefNum);
    if (file == nullptr || *ioCount < 0 || (outBuffer == nullptr && *ioCount > 0)) {
        *ioCount = 0;
        return file == nullptr ? rfNumErr : paramErr;
    }
    size_t wanted = static_cast<size_t>(*ioCount);
    size_t got = wanted > 0 ? std::fread(outBuffer, 1, wanted, file) : 0;
    *ioCount = static_cast<int32>(got);
    return got == wanted ? noErr : eofErr;
}

OSErr FSClose(int16 inRefNum) {
    std::FILE *file = FileOf(inRefNum);
    if (file == nullptr) return rfNumErr;
    std::fclose(file);
    sOpenFiles[inRefNum - 1] = nullptr;
    return noErr;
}

void BlockMove(const void *inSource, void *outDest, int32 inCount) {
    if (inCount > 0) std::memmove(outDest, inSource, static_cast<size_t>(inCount));
}

void MacSetRect(Rect *r, int16 left, int16 top, int16 right, int16 bottom) {
    r->left = left;
    r->top = top;
    r->right = right;
    r->bottom = bottom;
}

void MacOffsetRect(Rect *r, int16 dh, int16 dv) {
    r->left = static_cast<int16>(r->left + dh);
    r->right = static_cast<int16>(r->right + dh);
    r->top = static_cast<int16>(r->top + dv);
    r->bottom = static_cast<int16>(r->bottom + dv);
}
