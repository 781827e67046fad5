// ekvhost: a small Win32 Acquire host for testing the real module under Windows or Wine.
//
//   ekvhost PLUGINS_DIR COMMAND...
//     about          selector 0 with an AboutRecord
//     call N         selector N with a zeroed 2048-byte AcquireRecord, real handle and
//                    buffer callbacks, and the data word this host keeps between calls
//
// The host loads every .8ba module of PLUGINS_DIR, reads its PIPL resource, keeps the
// first Acquire module (kind 8BAM), resolves its entry point by the name of the wx86
// property and runs the commands in order. It owns a real main window for
// PlatformData.hwnd. Dialog boxes that the module shows are answered like a person
// would, through window messages only: a watcher thread finds this process's dialog
// windows, reports their caption and text, and clicks a button.
//
// Output is line-oriented ("key: value"); texts are JSON strings so that line feeds and
// quotes survive.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/AcquireInterface.h"

namespace {

// ---- output ----------------------------------------------------------------------

std::string JsonString(const std::string &inText) {
    std::string out = "\"";
    for (unsigned char c : inText) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

void Print(const std::string &inKey, const std::string &inValue) {
    std::printf("%s: %s\n", inKey.c_str(), inValue.c_str());
    std::fflush(stdout);
}

std::string Hex(uintptr_t inValue) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lx", static_cast<unsigned long>(inValue));
    return buf;
}

// ---- property list ------------------------------------------------------------------

uint32_t FourCC(const char (&inCode)[5]) {
    return (uint32_t(uint8_t(inCode[0])) << 24) | (uint32_t(uint8_t(inCode[1])) << 16) |
           (uint32_t(uint8_t(inCode[2])) << 8) | uint32_t(uint8_t(inCode[3]));
}

std::string FourCCText(uint32_t inCode) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((inCode >> shift) & 0xff);
    return s;
}

struct PiplProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    std::vector<uint8_t> data;
};

// Parses a property list; nullopt when it is malformed (every length is checked).
std::optional<std::vector<PiplProperty>> ParsePipl(const uint8_t *inBytes, size_t inSize) {
    auto read32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, inBytes + at, 4);
        return v;
    };
    if (inSize < 10) return std::nullopt;
    uint32_t count = read32(6);
    size_t at = 10;
    std::vector<PiplProperty> props;
    for (uint32_t i = 0; i < count; ++i) {
        if (inSize - at < 16) return std::nullopt;
        PiplProperty p;
        p.vendor = read32(at);
        p.key = read32(at + 4);
        uint32_t length = read32(at + 12);
        at += 16;
        if (length > inSize - at) return std::nullopt;
        p.data.assign(inBytes + at, inBytes + at + length);
        size_t padded = (size_t(length) + 3) & ~size_t(3);
        at += padded > inSize - at ? inSize - at : padded;
        props.push_back(std::move(p));
    }
    return props;
}

const PiplProperty *FindProperty(const std::vector<PiplProperty> &inProps, uint32_t inKey) {
    for (const PiplProperty &p : inProps)
        if (p.vendor == FourCC("8BIM") && p.key == inKey) return &p;
    return nullptr;
}

// ---- host memory: handles and buffers ------------------------------------------------

struct HandleBlock {
    char *address;  // first: the handle is the address of this master pointer
    int32 size;
    int locks;
};

struct BufferBlock {
    std::vector<char> bytes;
    int locks = 0;
};

std::set<HandleBlock *> gHandles;
std::set<BufferBlock *> gBuffers;

HandleBlock *BlockOf(Handle h) {
    HandleBlock *block = reinterpret_cast<HandleBlock *>(h);
    return gHandles.count(block) ? block : nullptr;
}

Handle KARVEX_CDECL NewHandleProc(int32 inSize) {
    if (inSize < 0) return nullptr;
    auto *block = new HandleBlock{new char[inSize > 0 ? inSize : 1](), inSize, 0};
    gHandles.insert(block);
    return reinterpret_cast<Handle>(block);
}

void KARVEX_CDECL DisposeHandleProc(Handle h) {
    if (HandleBlock *block = BlockOf(h)) {
        gHandles.erase(block);
        delete[] block->address;
        delete block;
    }
}

int32 KARVEX_CDECL GetSizeProc(Handle h) {
    HandleBlock *block = BlockOf(h);
    return block ? block->size : 0;
}

OSErr KARVEX_CDECL SetSizeProc(Handle h, int32 inSize) {
    HandleBlock *block = BlockOf(h);
    if (block == nullptr || inSize < 0) return -50;
    if (block->locks > 0) return -108;
    char *bytes = new char[inSize > 0 ? inSize : 1]();
    std::memcpy(bytes, block->address, static_cast<size_t>(std::min(inSize, block->size)));
    delete[] block->address;
    block->address = bytes;
    block->size = inSize;
    return 0;
}

Ptr KARVEX_CDECL LockHandleProc(Handle h, Boolean) {
    HandleBlock *block = BlockOf(h);
    if (block == nullptr) return nullptr;
    ++block->locks;
    return block->address;
}

void KARVEX_CDECL UnlockHandleProc(Handle h) {
    HandleBlock *block = BlockOf(h);
    if (block != nullptr && block->locks > 0) --block->locks;
}

void KARVEX_CDECL RecoverSpaceProc(int32) {}

OSErr KARVEX_CDECL AllocateBufferProc(int32 inSize, BufferID *outID) {
    *outID = nullptr;
    if (inSize < 0) return -108;
    auto *buffer = new BufferBlock;
    buffer->bytes.resize(static_cast<size_t>(inSize > 0 ? inSize : 1));
    gBuffers.insert(buffer);
    *outID = reinterpret_cast<BufferID>(buffer);
    return 0;
}

BufferBlock *BufferOf(BufferID inID) {
    BufferBlock *buffer = reinterpret_cast<BufferBlock *>(inID);
    return gBuffers.count(buffer) ? buffer : nullptr;
}

Ptr KARVEX_CDECL LockBufferProc(BufferID inID, Boolean) {
    BufferBlock *buffer = BufferOf(inID);
    if (buffer == nullptr) return nullptr;
    ++buffer->locks;
    return buffer->bytes.data();
}

void KARVEX_CDECL UnlockBufferProc(BufferID inID) {
    BufferBlock *buffer = BufferOf(inID);
    if (buffer != nullptr && buffer->locks > 0) --buffer->locks;
}

void KARVEX_CDECL FreeBufferProc(BufferID inID) {
    if (BufferBlock *buffer = BufferOf(inID)) {
        gBuffers.erase(buffer);
        delete buffer;
    }
}

int32 KARVEX_CDECL SpaceProc() { return 256 * 1024 * 1024; }

// ---- the person in front of the screen -------------------------------------------------

// Finds this process's dialog windows and answers them through window messages. A
// message box is recognised by its text control (id 0xFFFF) and acknowledged with OK;
// any other dialog is reported and cancelled (a fuller host answers it instead).
class DialogResponder {
public:
    struct Seen {
        std::string kind;  // "messagebox" or "dialog"
        std::string caption;
        std::string text;
    };

    DialogResponder() : mThread([this] { Run(); }) {}
    ~DialogResponder() {
        mStop = true;
        mThread.join();
    }

    // The dialogs answered since the last call, in order.
    std::vector<Seen> Take() {
        std::lock_guard<std::mutex> lock(mMutex);
        std::vector<Seen> seen;
        seen.swap(mSeen);
        return seen;
    }

private:
    void Run() {
        while (!mStop) {
            EnumWindows(&DialogResponder::Visit, reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    }

    static BOOL CALLBACK Visit(HWND inWindow, LPARAM inSelf) {
        reinterpret_cast<DialogResponder *>(inSelf)->Consider(inWindow);
        return TRUE;
    }

    static std::string TextOf(HWND inWindow) {
        char text[1024] = {0};
        GetWindowTextA(inWindow, text, sizeof text);
        return text;
    }

    void Consider(HWND inWindow) {
        DWORD process = 0;
        GetWindowThreadProcessId(inWindow, &process);
        if (process != GetCurrentProcessId() || !IsWindowVisible(inWindow)) return;
        char className[64] = {0};
        GetClassNameA(inWindow, className, sizeof className);
        if (std::strcmp(className, "#32770") != 0) return;
        for (auto it = mAnswered.begin(); it != mAnswered.end();)
            it = IsWindow(*it) ? std::next(it) : mAnswered.erase(it);
        if (mAnswered.count(inWindow)) return;

        Seen seen;
        seen.caption = TextOf(inWindow);
        int button = IDCANCEL;
        if (HWND textControl = GetDlgItem(inWindow, 0xFFFF)) {
            seen.kind = "messagebox";
            seen.text = TextOf(textControl);
            button = IDOK;
        } else {
            seen.kind = "dialog";
        }
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mSeen.push_back(seen);
        }
        mAnswered.insert(inWindow);
        PostMessageA(inWindow, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(inWindow, button)));
    }

    std::atomic<bool> mStop{false};
    std::mutex mMutex;
    std::vector<Seen> mSeen;
    std::set<HWND> mAnswered;  // used by the watcher thread only
    std::thread mThread;
};

// ---- the host -----------------------------------------------------------------------

struct Module {
    std::string path;
    HMODULE library = nullptr;
    std::string menuName;
    std::string entryName;
    AcquireEntryProc entry = nullptr;
};

std::optional<Module> LoadAcquireModule(const std::string &inPath) {
    Module module;
    module.path = inPath;
    module.library = LoadLibraryA(inPath.c_str());
    if (module.library == nullptr) {
        Print("error", JsonString("cannot load " + inPath + ", error " + std::to_string(GetLastError())));
        return std::nullopt;
    }
    auto unload = [&] {
        FreeLibrary(module.library);
        return std::nullopt;
    };
    HRSRC resource = FindResourceA(module.library, MAKEINTRESOURCEA(16000), "PIPL");
    HGLOBAL loaded = resource ? LoadResource(module.library, resource) : nullptr;
    const void *bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        Print("skip", JsonString(inPath + ": no PIPL resource 16000"));
        return unload();
    }
    auto props = ParsePipl(static_cast<const uint8_t *>(bytes), SizeofResource(module.library, resource));
    if (!props) {
        Print("skip", JsonString(inPath + ": malformed PIPL"));
        return unload();
    }
    const PiplProperty *kind = FindProperty(*props, FourCC("kind"));
    uint32_t kindCode = 0;
    if (kind && kind->data.size() == 4) std::memcpy(&kindCode, kind->data.data(), 4);
    if (kindCode != FourCC("8BAM")) {
        Print("skip", JsonString(inPath + ": kind " + FourCCText(kindCode)));
        return unload();
    }
    Print("kind", FourCCText(kindCode));
    if (const PiplProperty *name = FindProperty(*props, FourCC("name")); name && !name->data.empty()) {
        size_t length = std::min<size_t>(name->data[0], name->data.size() - 1);
        module.menuName.assign(reinterpret_cast<const char *>(name->data.data() + 1), length);
    }
    if (const PiplProperty *entry = FindProperty(*props, FourCC("wx86"))) {
        const char *text = reinterpret_cast<const char *>(entry->data.data());
        module.entryName.assign(text, strnlen(text, entry->data.size()));
    }
    Print("menu", JsonString(module.menuName));
    Print("entry.name", JsonString(module.entryName));
    module.entry = reinterpret_cast<AcquireEntryProc>(
        reinterpret_cast<void *>(GetProcAddress(module.library, module.entryName.c_str())));
    if (module.entry == nullptr) {
        Print("skip", JsonString(inPath + ": no exported " + module.entryName));
        return unload();
    }
    return module;
}

std::optional<Module> FindAcquireModule(const std::string &inFolder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((inFolder + "\\*.8ba").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<Module> module;
    do {
        std::string path = inFolder + "\\" + found.cFileName;
        Print("plugin", JsonString(found.cFileName));
        module = LoadAcquireModule(path);
    } while (!module && FindNextFileA(search, &found));
    FindClose(search);
    return module;
}

LRESULT CALLBACK MainWindowProc(HWND inWindow, UINT inMessage, WPARAM inW, LPARAM inL) {
    return DefWindowProcA(inWindow, inMessage, inW, inL);
}

HWND CreateMainWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = "KarvexHostWindow";
    if (!RegisterClassA(&windowClass)) return nullptr;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Karvex host", WS_OVERLAPPEDWINDOW, 0, 0, 800,
                                  600, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
    return window;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class Host {
public:
    Host(Module inModule, HWND inWindow) : mModule(std::move(inModule)) {
        mPlatform.hwnd = reinterpret_cast<intptr_t>(inWindow);
        mBufferProcs = {kCurrentBufferProcsVersion, kCurrentBufferProcsCount, AllocateBufferProc,
                        LockBufferProc, UnlockBufferProc, FreeBufferProc, SpaceProc};
        mHandleProcs = {kCurrentHandleProcsVersion, 8, NewHandleProc, DisposeHandleProc, GetSizeProc,
                        SetSizeProc, LockHandleProc, UnlockHandleProc, RecoverSpaceProc, DisposeHandleProc};
    }

    void About() {
        std::vector<unsigned char> about(sizeof(AboutRecord), 0);
        reinterpret_cast<AboutRecord *>(about.data())->platformData = &mPlatform;
        Call(acquireSelectorAbout, reinterpret_cast<AcquireRecord *>(about.data()));
    }

    // A zeroed record of generous size, as a host of a later interface version passes.
    void Select(int16 inSelector) {
        std::vector<unsigned char> block(2048, 0);
        AcquireRecord *record = reinterpret_cast<AcquireRecord *>(block.data());
        record->hostSig = FourCC("8BIM");
        record->maxData = 64 * 1024 * 1024;
        record->platformData = &mPlatform;
        record->bufferProcs = &mBufferProcs;
        record->handleProcs = &mHandleProcs;
        Call(inSelector, record);
    }

    void Report() {
        Print("handles.live", std::to_string(gHandles.size()));
        Print("buffers.live", std::to_string(gBuffers.size()));
    }

private:
    void Call(int16 inSelector, AcquireRecord *inRecord) {
        Print("call", std::to_string(inSelector));
        int16 result = 0x7777;  // the module must write the result word
        mModule.entry(inSelector, inRecord, &mData, &result);
        PumpMessages();
        for (const DialogResponder::Seen &seen : mResponder.Take()) {
            Print(seen.kind + ".caption", JsonString(seen.caption));
            if (seen.kind == "messagebox") Print(seen.kind + ".text", JsonString(seen.text));
        }
        Print("result", std::to_string(result));
        Print("data", Hex(static_cast<uintptr_t>(mData)));
        if (mData != 0) {
            HandleBlock *block = BlockOf(reinterpret_cast<Handle>(mData));
            Print("data.handle", block ? "host" : "foreign");
            if (block) Print("data.locks", std::to_string(block->locks));
        }
    }

    Module mModule;
    PlatformData mPlatform{};
    BufferProcs mBufferProcs{};
    HandleProcs mHandleProcs{};
    intptr_t mData = 0;
    DialogResponder mResponder;
};

int Usage() {
    std::fprintf(stderr, "usage: ekvhost PLUGINS_DIR {about | call SELECTOR}...\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return Usage();
    std::string folder = argv[1];
    for (char &c : folder)
        if (c == '/') c = '\\';

    HWND window = CreateMainWindow();
    if (window == nullptr) {
        Print("error", JsonString("cannot create the main window"));
        return 1;
    }
    PumpMessages();
    std::optional<Module> module = FindAcquireModule(folder);
    if (!module) {
        Print("error", JsonString("no Acquire module in " + folder));
        return 1;
    }
    int status = 0;
    {
        Host host(*module, window);
        for (int i = 2; i < argc; ++i) {
            std::string command = argv[i];
            if (command == "about") {
                host.About();
            } else if (command == "call" && i + 1 < argc) {
                char *end = nullptr;
                long selector = std::strtol(argv[++i], &end, 10);
                if (*end != 0 || selector < -32768 || selector > 32767) return Usage();
                host.Select(static_cast<int16>(selector));
            } else {
                return Usage();
            }
        }
        host.Report();
    }
    // Unloading runs the module's detach work (the media layer's shutdown).
    Print("unload", FreeLibrary(module->library) ? "ok" : "failed");
    DestroyWindow(window);
    return status;
}
