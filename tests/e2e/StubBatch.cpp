// Runs many self-extractor cases in one Wine process and reports what a person would have
// seen: every message box (caption, text, kind), the exit code, or a hang. The test scripts
// make the cases and judge the results; this program only drives and answers.
//
// Usage: stub_batch CASES RESULTS
// CASES has one case a line, fields separated by tabs:
//   PROGRAM  ARGUMENTS  WORK_FOLDER  [OPTIONS]
// OPTIONS, separated by blanks:
//   answers=LETTERS    answers to the questions in order: y(es), n(o), c(ancel); then no
//   timeout=SECONDS    a hang ends the case (default 60)
//   lock=PATH          held open without sharing for the whole run
//   question=ACTION    done once at the first question, before it is answered:
//                      cut:SIZE (the program file cut to SIZE bytes), copy:PATH (PATH copied
//                      over the program file), or signal (PROGRAM.asked is made and the
//                      answer waits until the host has removed it)
//   dialog=browse      at the destination dialog: open the browser, cancel it, press OK
// RESULTS gets one line per event, "INDEX<tab>EVENT<tab>...":
//   box CAPTION TEXT question|message OWNER_CAPTION   action ok|failed ERROR   end EXIT_CODE
//   timeout
//   nostart ERROR
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "Resource.h"
#include "support/StubTexts.h"
#include "ui/StubDriver.h"

namespace {

struct Case
{
    std::string Program;
    std::string Arguments;
    std::string Work;
    std::string Answers;
    DWORD TimeoutMs = 60000;
    std::string Lock;
    std::string QuestionAction;
    bool Browse = false;
};

std::vector<std::string> Split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
}

bool ParseCase(const std::string& line, Case& c)
{
    std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() < 3)
        return false;
    c.Program = fields[0];
    c.Arguments = fields[1];
    c.Work = fields[2];
    if (fields.size() > 3)
        for (const std::string& option : Split(fields[3], ' ')) {
            size_t equals = option.find('=');
            if (equals == std::string::npos)
                continue;
            std::string key = option.substr(0, equals);
            std::string value = option.substr(equals + 1);
            if (key == "answers")
                c.Answers = value;
            else if (key == "timeout")
                c.TimeoutMs = static_cast<DWORD>(std::stoul(value)) * 1000;
            else if (key == "lock")
                c.Lock = value;
            else if (key == "question")
                c.QuestionAction = value;
            else if (key == "dialog")
                c.Browse = value == "browse";
        }
    return true;
}

// Tabs and line ends in a caption or text would break the result's fields.
std::string Flat(std::string text)
{
    for (char& ch : text)
        if (ch == '\t' || ch == '\n')
            ch = ' ';
        else if (ch == '\r')
            ch = '|';
    return text;
}

// Cuts the file at size bytes, or copies source over it; 0 or the error. Or, for "signal",
// leaves PROGRAM.asked for the host side, which makes its change and removes the file.
DWORD ChangeProgram(const std::string& program, const std::string& action, DWORD timeoutMs)
{
    if (action == "signal") {
        std::string signal = program + ".asked";
        HANDLE file = CreateFileW(WideOf(signal).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return GetLastError();
        CloseHandle(file);
        return WaitUntil(
                   [&] {
                       return GetFileAttributesW(WideOf(signal).c_str()) == INVALID_FILE_ATTRIBUTES;
                   },
                   timeoutMs)
                   ? 0
                   : WAIT_TIMEOUT;
    }
    if (action.rfind("copy:", 0) == 0)
        return CopyFileW(WideOf(action.substr(5)).c_str(), WideOf(program).c_str(), FALSE)
                   ? 0
                   : GetLastError();
    if (action.rfind("cut:", 0) != 0)
        return ERROR_INVALID_PARAMETER;
    HANDLE file = CreateFileW(WideOf(program).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD error = 0;
    if (SetFilePointer(file, std::stol(action.substr(4)), nullptr, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER ||
        !SetEndOfFile(file))
        error = GetLastError();
    CloseHandle(file);
    return error;
}

// The dialog's browser, opened and cancelled, then OK with the proposed folder.
bool BrowseThenOk(const StubProcess& stub, DWORD timeoutMs)
{
    HWND dialog = stub.WaitDialog(DialogCaption, timeoutMs);
    if (dialog == nullptr)
        return false;
    Click(dialog, ID_BROWSE_BUTTON);
    HWND browser = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : stub.Dialogs())
                if (window != dialog && GetWindow(window, GW_OWNER) == dialog)
                    browser = window;
            return browser != nullptr || !stub.Running();
        },
        timeoutMs);
    if (browser == nullptr)
        return false;
    Click(browser, IDCANCEL);
    if (!WaitUntil([&] { return !IsWindow(browser); }, timeoutMs))
        return false;
    Click(dialog, IDOK);
    return true;
}

// Reports and answers every message box until the program ends, hangs, or leaves a box that
// cannot be answered.
void AnswerUntilTheEnd(int index, const Case& c, const StubProcess& stub, FILE* out)
{
    size_t answered = 0;
    bool acted = false;
    DWORD start = GetTickCount();
    for (;;) {
        MessageBoxView box;
        DWORD elapsed = GetTickCount() - start;
        bool ended = elapsed < c.TimeoutMs && stub.WaitExit(&box, c.TimeoutMs - elapsed);
        if (box.Window == nullptr) {
            if (ended)
                std::fprintf(out, "%d\tend\t%lu\n", index, stub.ExitCode());
            else
                std::fprintf(out, "%d\ttimeout\n", index);
            return;
        }
        bool question = GetDlgItem(box.Window, IDYES) != nullptr;
        std::string owner = box.Owner != nullptr ? TextOf(box.Owner) : "";
        std::fprintf(out, "%d\tbox\t%s\t%s\t%s\t%s\n", index, Flat(box.Caption).c_str(),
                     Flat(box.Text).c_str(), question ? "question" : "message",
                     Flat(owner).c_str());
        std::fflush(out);
        int button = IDOK;
        if (question) {
            if (!acted && !c.QuestionAction.empty()) {
                acted = true;
                DWORD error = ChangeProgram(c.Program, c.QuestionAction, c.TimeoutMs);
                std::fprintf(out, "%d\taction\t%s\n", index,
                             error == 0 ? "ok" : ("failed " + std::to_string(error)).c_str());
            }
            char answer = answered < c.Answers.size() ? c.Answers[answered] : 'n';
            ++answered;
            button = answer == 'y' ? IDYES : answer == 'c' ? IDCANCEL : IDNO;
        }
        if (!stub.Answer(box, button)) {
            std::fprintf(out, "%d\tunanswered\n", index);
            return;
        }
    }
}

void RunCase(int index, const Case& c, FILE* out)
{
    HANDLE lock = INVALID_HANDLE_VALUE;
    if (!c.Lock.empty()) {
        lock = CreateFileW(WideOf(c.Lock).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
        std::fprintf(out, "%d\tlock\t%s\n", index,
                     lock != INVALID_HANDLE_VALUE
                         ? "ok"
                         : ("failed " + std::to_string(GetLastError())).c_str());
    }
    StubProcess stub(c.Program, c.Arguments, c.Work);
    if (!stub.Started()) {
        std::fprintf(out, "%d\tnostart\t%lu\n", index, GetLastError());
    } else {
        if (c.Browse && !BrowseThenOk(stub, c.TimeoutMs))
            std::fprintf(out, "%d\tbrowse\tfailed\n", index);
        AnswerUntilTheEnd(index, c, stub, out);
    }
    if (lock != INVALID_HANDLE_VALUE)
        CloseHandle(lock);
    std::fflush(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CASES RESULTS\n", argv[0]);
        return 2;
    }
    FILE* in = std::fopen(argv[1], "rb");
    FILE* out = std::fopen(argv[2], "wb");
    if (in == nullptr || out == nullptr) {
        std::fprintf(stderr, "stub_batch: cannot open %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    // A crash of the stub ends its process with the exception's code, never in a debugger
    // dialog that would hold the run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    char buffer[4096];
    int index = 0;
    while (std::fgets(buffer, sizeof buffer, in)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        Case c;
        if (line.empty() || !ParseCase(line, c)) {
            std::fprintf(out, "%d\tbadcase\n", index++);
            continue;
        }
        RunCase(index++, c, out);
    }
    std::fclose(in);
    std::fclose(out);
    return 0;
}
