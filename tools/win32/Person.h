// The person in front of the screen: a watcher thread that finds this process's dialog
// windows and answers them through window messages only. Message boxes are
// acknowledged; the open-file dialog gets the file name typed into its name box and OK
// (or Cancel); the conversion dialog gets the scripted clicks on its radio buttons, its
// preview and "WB Revert", then OK or Cancel. Screenshots of the conversion dialog are
// taken from its window's device context.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ekvhost {

struct DialogAction {
    enum Kind { kRadio, kPoint, kClick, kRevert, kScreenshot } kind;
    int x = 0;         // radio: the method; point: h; click: client x
    int y = 0;         // point: v; click: client y
    std::string path;  // screenshot
};

struct Answers {
    std::string file;  // typed into the open-file dialog (a Windows path)
    bool cancelFile = false;
    std::vector<DialogAction> actions;
    bool cancelDialog = false;
    // After the actions, before OK or Cancel, the first conversion dialog asks the host
    // for a second import (see NestedImportMessage) and is answered once it has ended.
    bool nested = false;
};

// The message the watcher posts to the host window to learn that the host's thread has
// handled every message posted before it; the host window's procedure passes it to
// OnSyncMessage.
UINT SyncMessage();
void OnSyncMessage();
// The message the watcher posts to the host window to have the host's thread run a
// second import while the first one's conversion dialog is up; the dialog's loop
// dispatches it. The host calls Person::NestedImportEnded when that import is over.
UINT NestedImportMessage();

class Person {
public:
    explicit Person(HWND inHostWindow);
    ~Person();

    void SetAnswers(const Answers &inAnswers);
    void NestedImportEnded();
    // What was seen and done since the last call, as output lines, in order.
    std::vector<std::pair<std::string, std::string>> Take();

private:
    void Run();
    static BOOL CALLBACK Visit(HWND inWindow, LPARAM inSelf);
    void Consider(HWND inWindow);
    void AnswerMessageBox(HWND inWindow);
    void AnswerOpenFile(HWND inWindow);
    void AnswerConversion(HWND inWindow);
    void FinishOuterConversion();
    void Report(const std::string &inKey, const std::string &inValue);
    bool Sync();
    void Press(HWND inDialog, int inItem);
    void ReportState(HWND inDialog, const char *inKey);
    void Screenshot(HWND inDialog, const std::string &inPath);

    HWND mHostWindow;
    Answers mAnswers;
    std::atomic<bool> mStop{false};
    std::mutex mMutex;
    std::vector<std::pair<std::string, std::string>> mSeen;
    std::set<HWND> mAnswered;  // used by the watcher thread only
    // The conversion dialog waiting for the nested import to end (watcher thread only),
    // and whether it ended.
    HWND mOuterDialog = nullptr;
    bool mOuterCancel = false;
    std::atomic<bool> mNestedEnded{false};
    std::thread mThread;
};

}  // namespace ekvhost
