#include "Person.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "HostOutput.h"

namespace ekvhost {
namespace {

// Controls of the common open-file dialog: the file-name combo box (explorer style) and
// the file-name edit (older style).
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
// Controls of the conversion dialog.
constexpr int kRevert = 3, kRadioFirst = 4, kTitle = 7;
constexpr int kPreviewLeft = 10, kPreviewTop = 50;
constexpr DWORD kSyncTimeoutMs = 10000;

HANDLE gSyncEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);

std::string TextOf(HWND inWindow) {
    char text[1024] = {0};
    GetWindowTextA(inWindow, text, sizeof text);
    return text;
}

std::string ClassOf(HWND inWindow) {
    char name[64] = {0};
    GetClassNameA(inWindow, name, sizeof name);
    return name;
}

std::string Pair(long inA, long inB) { return std::to_string(inA) + "," + std::to_string(inB); }

// Writes a 24-bit bottom-up BMP.
bool WriteBmp(const std::string &inPath, int inWidth, int inHeight, const std::vector<uint8_t> &inBits) {
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = inWidth;
    info.biHeight = inHeight;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(inBits.size());
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::ofstream out(inPath, std::ios::binary);
    out.write(reinterpret_cast<const char *>(&file), sizeof file);
    out.write(reinterpret_cast<const char *>(&info), sizeof info);
    out.write(reinterpret_cast<const char *>(inBits.data()), static_cast<std::streamsize>(inBits.size()));
    return static_cast<bool>(out);
}

}  // namespace

UINT SyncMessage() {
    static const UINT sMessage = RegisterWindowMessageA("ekvhost.sync");
    return sMessage;
}

void OnSyncMessage() { SetEvent(gSyncEvent); }

UINT NestedImportMessage() {
    static const UINT sMessage = RegisterWindowMessageA("ekvhost.nested-import");
    return sMessage;
}

void Person::NestedImportEnded() { mNestedEnded = true; }

Person::Person(HWND inHostWindow) : mHostWindow(inHostWindow), mThread([this] { Run(); }) {}

Person::~Person() {
    mStop = true;
    mThread.join();
}

void Person::SetAnswers(const Answers &inAnswers) {
    std::lock_guard<std::mutex> lock(mMutex);
    mAnswers = inAnswers;
}

std::vector<std::pair<std::string, std::string>> Person::Take() {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<std::pair<std::string, std::string>> seen;
    seen.swap(mSeen);
    return seen;
}

void Person::Report(const std::string &inKey, const std::string &inValue) {
    std::lock_guard<std::mutex> lock(mMutex);
    mSeen.emplace_back(inKey, inValue);
}

void Person::Run() {
    while (!mStop) {
        EnumWindows(&Person::Visit, reinterpret_cast<LPARAM>(this));
        if (mOuterDialog != nullptr && mNestedEnded) FinishOuterConversion();
        Sleep(20);
    }
}

BOOL CALLBACK Person::Visit(HWND inWindow, LPARAM inSelf) {
    reinterpret_cast<Person *>(inSelf)->Consider(inWindow);
    return TRUE;
}

void Person::Consider(HWND inWindow) {
    DWORD process = 0;
    GetWindowThreadProcessId(inWindow, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(inWindow)) return;
    if (ClassOf(inWindow) != "#32770") return;
    for (auto it = mAnswered.begin(); it != mAnswered.end();) it = IsWindow(*it) ? std::next(it) : mAnswered.erase(it);
    if (mAnswered.count(inWindow)) return;
    mAnswered.insert(inWindow);

    if (GetDlgItem(inWindow, 0xFFFF) != nullptr) {
        AnswerMessageBox(inWindow);
    } else if (GetDlgItem(inWindow, kFileNameCombo) != nullptr || GetDlgItem(inWindow, kFileNameEdit) != nullptr) {
        AnswerOpenFile(inWindow);
    } else if (GetDlgItem(inWindow, kTitle) != nullptr && GetDlgItem(inWindow, kRadioFirst) != nullptr) {
        AnswerConversion(inWindow);
    } else {
        Report("dialog.caption", JsonString(TextOf(inWindow)));
        PostMessageA(inWindow, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(inWindow, IDCANCEL)));
    }
}

void Person::AnswerMessageBox(HWND inWindow) {
    Report("messagebox.caption", JsonString(TextOf(inWindow)));
    Report("messagebox.text", JsonString(TextOf(GetDlgItem(inWindow, 0xFFFF))));
    PostMessageA(inWindow, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(inWindow, IDOK)));
}

void Person::AnswerOpenFile(HWND inWindow) {
    Answers answers;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        answers = mAnswers;
    }
    Report("openfile.caption", JsonString(TextOf(inWindow)));
    if (answers.cancelFile || answers.file.empty()) {
        Report("openfile.answer", "cancel");
        PostMessageA(GetDlgItem(inWindow, IDCANCEL), BM_CLICK, 0, 0);
        return;
    }
    // Typed into the name box (the combo box passes the text on to its edit field).
    HWND nameBox = GetDlgItem(inWindow, kFileNameCombo);
    if (nameBox == nullptr) nameBox = GetDlgItem(inWindow, kFileNameEdit);
    SendMessageA(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answers.file.c_str()));
    char typed[MAX_PATH] = {0};
    SendMessageA(nameBox, WM_GETTEXT, sizeof typed, reinterpret_cast<LPARAM>(typed));
    Report("openfile.typed", JsonString(typed));
    PostMessageA(GetDlgItem(inWindow, IDOK), BM_CLICK, 0, 0);
}

bool Person::Sync() {
    ResetEvent(gSyncEvent);
    PostMessageA(mHostWindow, SyncMessage(), 0, 0);
    bool done = WaitForSingleObject(gSyncEvent, kSyncTimeoutMs) == WAIT_OBJECT_0;
    if (!done) Report("error", JsonString("the module's thread did not handle the posted messages"));
    return done;
}

// A button press as the button receives it from a click: posted, so that the dialog's
// own loop fetches it and sees its result before it waits for the next message.
void Person::Press(HWND inDialog, int inItem) { PostMessageA(GetDlgItem(inDialog, inItem), BM_CLICK, 0, 0); }

void Person::ReportState(HWND inDialog, const char *inKey) {
    int checked = -1;
    for (int id = kRadioFirst; id < kRadioFirst + 3; ++id)
        if (SendMessageA(GetDlgItem(inDialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED)
            checked = checked == -1 ? id : 0;  // 0: more than one checked
    bool revert = IsWindowEnabled(GetDlgItem(inDialog, kRevert)) != FALSE;
    Report(inKey, "radio=" + std::to_string(checked) + " revert=" + (revert ? "1" : "0"));
}

void Person::Screenshot(HWND inDialog, const std::string &inPath) {
    RECT window;
    GetWindowRect(inDialog, &window);
    POINT client{0, 0};
    ClientToScreen(inDialog, &client);
    int width = window.right - window.left, height = window.bottom - window.top;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HDC source = GetWindowDC(inDialog);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t(3);
        const uint8_t *from = static_cast<const uint8_t *>(bits);
        std::vector<uint8_t> copy(from, from + stride * height);
        ok = ok && WriteBmp(inPath, width, height, copy);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(inDialog, source);
    Report("screenshot.file", JsonString(inPath));
    Report("screenshot.ok", ok ? "1" : "0");
    Report("screenshot.size", Pair(width, height));
    Report("screenshot.client", Pair(client.x - window.left, client.y - window.top));
}

void Person::AnswerConversion(HWND inDialog) {
    Answers answers;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        answers = mAnswers;
    }
    Report("conversion.caption", JsonString(TextOf(inDialog)));
    // The dialog's loop is running (and the preview drawn) once it handles a message.
    if (!Sync()) return;
    HDC dc = GetDC(inDialog);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(inDialog, dc);
    // Where a person sees the preview: the caption moves it up by 13 pixels at 96 dpi.
    int previewTop = kPreviewTop + (dpi == 96 ? -13 : -19);
    Report("conversion.dpi", std::to_string(dpi));
    Report("conversion.preview", Pair(kPreviewLeft, previewTop));
    ReportState(inDialog, "conversion.open");

    for (const DialogAction &action : answers.actions) {
        switch (action.kind) {
            case DialogAction::kRadio:
                Report("conversion.do", "radio " + std::to_string(kRadioFirst + action.x));
                Press(inDialog, kRadioFirst + action.x);
                break;
            case DialogAction::kRevert:
                Report("conversion.do", "revert");
                Press(inDialog, kRevert);
                break;
            case DialogAction::kPoint:
            case DialogAction::kClick: {
                int x = action.x, y = action.y;
                if (action.kind == DialogAction::kPoint) {
                    x += kPreviewLeft;
                    y += previewTop;
                }
                Report("conversion.do", "click " + Pair(x, y));
                LPARAM where = MAKELPARAM(x, y);
                PostMessageA(inDialog, WM_LBUTTONDOWN, MK_LBUTTON, where);
                PostMessageA(inDialog, WM_LBUTTONUP, 0, where);
                break;
            }
            case DialogAction::kScreenshot: Screenshot(inDialog, action.path); continue;
        }
        if (!Sync()) return;
        ReportState(inDialog, "conversion.state");
    }
    if (answers.nested) {
        // Only the first dialog nests; the second import's dialog gets the same actions
        // and OK.
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mAnswers.nested = false;
            mAnswers.cancelDialog = false;
        }
        Report("conversion.do", "nested import");
        mOuterDialog = inDialog;
        mOuterCancel = answers.cancelDialog;
        PostMessageA(mHostWindow, NestedImportMessage(), 0, 0);
        return;
    }
    Report("conversion.answer", answers.cancelDialog ? "cancel" : "ok");
    Press(inDialog, answers.cancelDialog ? IDCANCEL : IDOK);
}

// The first dialog, after the nested import: its state, then OK or Cancel. Once the
// host's thread has handled the press and everything posted after it, a dialog that
// took the press is gone; one that is still there ignored it, and the host's thread is
// told to quit so that the import ends instead of waiting for ever.
void Person::FinishOuterConversion() {
    HWND dialog = mOuterDialog;
    mOuterDialog = nullptr;
    if (!IsWindow(dialog)) {
        Report("error", JsonString("the conversion dialog closed during the nested import"));
        return;
    }
    ReportState(dialog, "conversion.after-nested");
    Report("conversion.answer", mOuterCancel ? "cancel" : "ok");
    Press(dialog, mOuterCancel ? IDCANCEL : IDOK);
    if (Sync() && IsWindow(dialog)) {
        Report("error", JsonString("the conversion dialog ignored its answer after the nested import"));
        PostThreadMessageA(GetWindowThreadProcessId(mHostWindow, nullptr), WM_QUIT, 0, 0);
    }
}

}  // namespace ekvhost
