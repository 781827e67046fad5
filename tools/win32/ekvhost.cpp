// ekvhost: a Win32 Acquire host for running the real module under Windows or Wine.
//
//   ekvhost PLUGINS_DIR list
//   ekvhost PLUGINS_DIR {about | call SELECTOR}...
//   ekvhost PLUGINS_DIR import FILE [--method N] [--point H,V] [--click X,Y] [--revert]
//                      [--screenshot OUT.bmp] [--cancel-file] [--cancel-dialog]
//                      [--nested OUT2.ppm] -o OUT.ppm
//
// The host loads every .8ba module of PLUGINS_DIR, reads its PIPL resource, keeps the
// first Acquire module (kind 8BAM), lists its menu name and resolves its entry point by
// the name of the code property of its own architecture (wx86 in a 32-bit host, 8664 in
// a 64-bit one). It owns a real main window for PlatformData.hwnd and
// real buffer and handle callbacks.
//
// import runs a whole import (Prepare, Start, Continue until the module returns no data,
// Finish, Finalize). The module's windows are answered like a person would, through
// window messages only (see Person.h): FILE is typed into the open-file dialog; the
// conversion dialog gets the options --method (a click on radio 4 + N), --point (a click
// on preview pixel H,V), --click (a click at client coordinates X,Y), --revert and
// --screenshot in the order given, then OK (or Cancel with --cancel-dialog). The host
// checks the document and every delivery by the host kit's rules and ends the import with
// -30000 when one breaks them. The document is written as a binary PPM (P6): maxval 65535 with
// big-endian 16-bit samples for a 16-bit document, 255 for an 8-bit one; rows that were
// not delivered are 0.
//
// --nested runs a second whole import while the conversion dialog is up, after the
// scripted actions and before OK or Cancel, as a host may do from its own window while
// the dialog's loop services it: the person asks the host window for it, the host runs
// it with a parameter block and data word of its own (same file and answers, its lines
// prefixed "nested.", its document written to OUT2.ppm), then the first dialog gets its
// OK or Cancel.
//
// Output is line-oriented ("key: value"); texts are JSON strings.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "BlockPool.h"
#include "HostOutput.h"
#include "ImportRun.h"
#include "Person.h"
#include "host/AcquireInterface.h"

using namespace ekvhost;

namespace {

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

// The code property that names the entry point for this host's architecture.
#if defined(_WIN64)
const char kCodeProperty[5] = "8664";
#else
const char kCodeProperty[5] = "wx86";
#endif

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
    if (const PiplProperty *entry = FindProperty(*props, FourCC(kCodeProperty))) {
        const char *text = reinterpret_cast<const char *>(entry->data.data());
        module.entryName.assign(text, strnlen(text, entry->data.size()));
    }
    Print("menu", JsonString(module.menuName));
    Print("entry.property", kCodeProperty);
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

// Whether GDI+ is loaded in this process.
const char *GdiplusLoaded() { return GetModuleHandleA("gdiplus.dll") != nullptr ? "yes" : "no"; }

class Host;
// The nested import the person asked the host window for (the window's user data is
// its host).
void RunNestedImport(Host &ioHost);

LRESULT CALLBACK MainWindowProc(HWND inWindow, UINT inMessage, WPARAM inW, LPARAM inL) {
    if (inMessage == SyncMessage()) {
        OnSyncMessage();
        return 0;
    }
    if (inMessage == NestedImportMessage()) {
        if (Host *host = reinterpret_cast<Host *>(GetWindowLongPtrA(inWindow, GWLP_USERDATA))) RunNestedImport(*host);
        return 0;
    }
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
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Karvex host", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
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

// The document the host builds from the delivered planes.
struct Document {
    hostkit::Document size;
    std::vector<uint16_t> samples;  // interleaved RGB
    std::vector<bool> rowSeen;
};

struct ImportOptions {
    Answers answers;
    std::string output;
    std::string nestedOutput;  // with --nested
};

// The host's memory: new blocks zeroed, spaceProc answering 256 MiB.
hostkit::PoolOptions WindowsPool() {
    hostkit::PoolOptions options;
    options.space = 256 * 1024 * 1024;
    return options;
}

// One import: its parameter block, data word and document. Its lines carry a prefix
// ("nested." for an import run inside another one's dialog).
class ImportSession : public hostkit::ImportDriver {
public:
    ImportSession(Host &ioHost, std::string inPrefix) : mHost(ioHost), mPrefix(std::move(inPrefix)) {}

    // The whole import; returns its result.
    int16 Run(const std::string &inOutput);

    int16 call(int16 inSelector, AcquireRecord *ioRecord) override;

    void started(const AcquireRecord &inRecord) override {
        Say("document", std::to_string(inRecord.imageSize.h) + " " + std::to_string(inRecord.imageSize.v) + " " +
                            std::to_string(inRecord.depth) + " mode " + std::to_string(inRecord.imageMode));
    }

    int16 begin(const hostkit::Document &inDocument, std::string &) override {
        mDocument.size = inDocument;
        mDocument.samples.assign(size_t(inDocument.width) * inDocument.height * 3, 0);
        mDocument.rowSeen.assign(size_t(inDocument.height), false);
        return 0;
    }

    // Copies one checked delivery (one plane) into the document.
    int16 take(const AcquireRecord &inRecord, std::string &) override {
        const Rect &r = inRecord.theRect;
        const int sampleBytes = mDocument.size.depth / 8;
        const uint8_t *base = static_cast<const uint8_t *>(inRecord.data);
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t *row = base + long(y - r.top) * inRecord.rowBytes;
            for (int x = r.left; x < r.right; ++x) {
                const uint8_t *sample = row + long(x - r.left) * inRecord.colBytes;
                uint16_t v = sampleBytes == 2 ? uint16_t(sample[0] | (sample[1] << 8)) : sample[0];
                mDocument.samples[(size_t(y) * mDocument.size.width + x) * 3 + inRecord.loPlane] = v;
            }
            mDocument.rowSeen[size_t(y)] = true;
        }
        return 0;
    }

    void violated(const std::string &inWhy) override { Say("error", JsonString(inWhy)); }

    void ended(const hostkit::RunOutcome &inOutcome) override {
        Say("continues", std::to_string(inOutcome.continueCalls));
    }

private:
    void Say(const std::string &inKey, const std::string &inValue) { Print(mPrefix + inKey, inValue); }
    static bool Write(const Document &inDocument, const std::string &inPath);

    Host &mHost;
    std::string mPrefix;
    intptr_t mData = 0;
    Document mDocument;
};

class Host {
public:
    Host(Module inModule, HWND inWindow)
        : mModule(std::move(inModule)), mWindow(inWindow), mPool(WindowsPool()), mPerson(inWindow) {
        mPlatform.hwnd = reinterpret_cast<intptr_t>(inWindow);
        SetWindowLongPtrA(mWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Host() { SetWindowLongPtrA(mWindow, GWLP_USERDATA, 0); }

    void About() {
        std::vector<unsigned char> about(sizeof(AboutRecord), 0);
        reinterpret_cast<AboutRecord *>(about.data())->platformData = &mPlatform;
        Call(acquireSelectorAbout, reinterpret_cast<AcquireRecord *>(about.data()), mData, "");
    }

    // A zeroed record of generous size, as a host of a later interface version passes.
    void Select(int16 inSelector) {
        std::vector<unsigned char> block = NewBlock();
        Call(inSelector, hostkit::RecordOf(block), mData, "");
    }

    // A whole import with one parameter block; returns the import's result.
    int16 Import(const ImportOptions &inOptions) {
        mPerson.SetAnswers(inOptions.answers);
        mNestedOutput = inOptions.nestedOutput;
        ImportSession session(*this, "");
        return session.Run(inOptions.output);
    }

    // The second import, run from the host window while the first one's dialog is up.
    void Nested() {
        ImportSession session(*this, "nested.");
        session.Run(mNestedOutput);
        // The first dialog is still open: the preview's decoder must still be loaded.
        Print("gdiplus.after-nested", GdiplusLoaded());
        mPerson.NestedImportEnded();
    }

    void Report() {
        Print("handles.live", std::to_string(mPool.liveHandles()));
        Print("buffers.live", std::to_string(mPool.liveBuffers()));
    }

    std::vector<unsigned char> NewBlock() {
        return hostkit::NewRecordBlock(
            {FourCC("8BIM"), 64 * 1024 * 1024, &mPlatform, mPool.bufferProcs(), mPool.handleProcs()});
    }

    // Calls the module with the data word given; the lines of verbose calls carry the prefix.
    int16 Call(int16 inSelector, AcquireRecord *inRecord, intptr_t &ioData, const std::string &inPrefix,
               bool inVerbose = true) {
        if (inVerbose) Print(inPrefix + "call", std::to_string(inSelector));
        int16 result = 0x7777;  // the module must write the result word
        mModule.entry(inSelector, inRecord, &ioData, &result);
        PumpMessages();
        for (const auto &[key, value] : mPerson.Take()) Print(key, value);
        if (!inVerbose) return result;
        Print(inPrefix + "result", std::to_string(result));
        Print(inPrefix + "data", Hex(static_cast<uintptr_t>(ioData)));
        if (ioData != 0) {
            int locks = mPool.handleLocks(reinterpret_cast<Handle>(ioData));
            Print(inPrefix + "data.handle", locks >= 0 ? "host" : "foreign");
            if (locks >= 0) Print(inPrefix + "data.locks", std::to_string(locks));
        }
        return result;
    }

private:
    Module mModule;
    HWND mWindow;
    hostkit::BlockPool mPool;
    PlatformData mPlatform{};
    intptr_t mData = 0;
    Person mPerson;
    std::string mNestedOutput;
};

void RunNestedImport(Host &ioHost) { ioHost.Nested(); }

int16 ImportSession::Run(const std::string &inOutput) {
    std::vector<unsigned char> block = mHost.NewBlock();
    mDocument = Document();
    hostkit::RunOutcome outcome = hostkit::RunImport(*this, hostkit::RecordOf(block));
    Say("import.result", std::to_string(outcome.code));
    if (outcome.code == 0) {
        long delivered = std::count(mDocument.rowSeen.begin(), mDocument.rowSeen.end(), true);
        Say("rows.delivered", std::to_string(delivered));
        if (!inOutput.empty()) Say("output", Write(mDocument, inOutput) ? "ok" : "failed");
    }
    return outcome.code;
}

int16 ImportSession::call(int16 inSelector, AcquireRecord *ioRecord) {
    // Prepare and Start are reported as single calls are; the later ones quietly.
    bool verbose = inSelector == acquireSelectorPrepare || inSelector == acquireSelectorStart;
    int16 result = mHost.Call(inSelector, ioRecord, mData, mPrefix, verbose);
    // The module keeps GDI+ (the preview's decoder) only while its dialog is open.
    if (inSelector == acquireSelectorStart) Say("gdiplus.after-start", GdiplusLoaded());
    return result;
}

bool ImportSession::Write(const Document &inDocument, const std::string &inPath) {
    std::ofstream out(inPath, std::ios::binary);
    bool wide = inDocument.size.depth == 16;
    out << "P6\n" << inDocument.size.width << " " << inDocument.size.height << "\n" << (wide ? 65535 : 255) << "\n";
    std::vector<uint8_t> bytes;
    bytes.reserve(inDocument.samples.size() * (wide ? 2 : 1));
    for (uint16_t v : inDocument.samples) {
        if (wide) bytes.push_back(uint8_t(v >> 8));
        bytes.push_back(uint8_t(v & 0xff));
    }
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ekvhost PLUGINS_DIR list\n"
                 "       ekvhost PLUGINS_DIR {about | call SELECTOR}...\n"
                 "       ekvhost PLUGINS_DIR import FILE [--method N] [--point H,V] [--click X,Y]\n"
                 "               [--revert] [--screenshot OUT.bmp] [--cancel-file] [--cancel-dialog]\n"
                 "               [--nested OUT2.ppm] [-o OUT.ppm]\n");
    return 2;
}

bool ParsePair(const char *inText, int &outA, int &outB) {
    char *end = nullptr;
    long a = std::strtol(inText, &end, 10);
    if (end == inText || *end != ',') return false;
    const char *second = end + 1;
    long b = std::strtol(second, &end, 10);
    if (end == second || *end != 0 || a < -32768 || a > 32767 || b < -32768 || b > 32767) return false;
    outA = int(a);
    outB = int(b);
    return true;
}

// The import's command line; nullopt when it is malformed.
std::optional<ImportOptions> ParseImport(int argc, char **argv, int inFirst) {
    if (inFirst >= argc) return std::nullopt;
    ImportOptions options;
    options.answers.file = argv[inFirst];
    for (int i = inFirst + 1; i < argc; ++i) {
        std::string option = argv[i];
        bool hasValue = i + 1 < argc;
        DialogAction action{};
        if (option == "--method" && hasValue) {
            std::string value = argv[++i];
            if (value != "0" && value != "1" && value != "2") return std::nullopt;
            action.kind = DialogAction::kRadio;
            action.x = value[0] - '0';
        } else if ((option == "--point" || option == "--click") && hasValue) {
            action.kind = option == "--point" ? DialogAction::kPoint : DialogAction::kClick;
            if (!ParsePair(argv[++i], action.x, action.y)) return std::nullopt;
        } else if (option == "--revert") {
            action.kind = DialogAction::kRevert;
        } else if (option == "--screenshot" && hasValue) {
            action.kind = DialogAction::kScreenshot;
            action.path = argv[++i];
        } else if (option == "--cancel-file") {
            options.answers.cancelFile = true;
            continue;
        } else if (option == "--cancel-dialog") {
            options.answers.cancelDialog = true;
            continue;
        } else if (option == "--nested" && hasValue) {
            options.answers.nested = true;
            options.nestedOutput = argv[++i];
            continue;
        } else if (option == "-o" && hasValue) {
            options.output = argv[++i];
            continue;
        } else {
            return std::nullopt;
        }
        options.answers.actions.push_back(action);
    }
    return options;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) return Usage();
    std::string folder = argv[1];
    for (char &c : folder)
        if (c == '/') c = '\\';
    std::string command = argv[2];
    std::optional<ImportOptions> import;
    if (command == "import" && !(import = ParseImport(argc, argv, 3))) return Usage();

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
    // Loading the module must not load GDI+ (nothing of it may run under the loader lock).
    Print("gdiplus.after-load", GdiplusLoaded());
    int status = 0;
    {
        Host host(*module, window);
        if (command == "list") {
            // The module's lines were printed as it was found.
        } else if (import) {
            status = host.Import(*import) == 0 ? 0 : 3;
        } else {
            for (int i = 2; i < argc; ++i) {
                std::string step = argv[i];
                if (step == "about") {
                    host.About();
                } else if (step == "call" && i + 1 < argc) {
                    char *end = nullptr;
                    long selector = std::strtol(argv[++i], &end, 10);
                    if (*end != 0 || selector < -32768 || selector > 32767) return Usage();
                    host.Select(static_cast<int16>(selector));
                } else {
                    return Usage();
                }
            }
        }
        host.Report();
    }
    // Unloading runs the module's detach work (the media layer's shutdown).
    Print("unload", FreeLibrary(module->library) ? "ok" : "failed");
    DestroyWindow(window);
    return status;
}
