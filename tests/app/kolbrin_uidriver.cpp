// UI driver for the end-to-end tests: starts kolbrin.exe, works its dialogs like a user would and
// reports what it saw as one line of JSON.
//
// kolbrin_uidriver --exe PATH [--out FILE] [--password TEXT [--confirm TEXT]] [--cancel-progress]
//                  [--hold FILE] [--foreground] [--timeout MS] [-- ITEM...]
//
// Without --password the password dialog is answered with Cancel.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

const int kIdPassword = 1001;
const int kIdConfirm = 1002;
const int kIdLinkUpdate = 1003;
const int kIdLinkQa = 1004;
const int kIdShowPassword = 1005;
const int kIdLinkHome = 1006;
const int kIdProgressBar = 1006;
const int kIdStatus = 1007;
const int kIdMessageText = 0xFFFF;

struct Options {
    std::wstring exe;
    std::wstring out;
    std::wstring password;
    std::wstring confirm;
    bool hasPassword = false;
    bool hasConfirm = false;
    bool cancelProgress = false;
    bool foreground = false;
    std::wstring hold;
    DWORD timeoutMs = 120000;
    std::vector<std::wstring> items;
};

struct Message {
    std::wstring caption;
    std::wstring text;
    bool progressOpen;
    long long atMs;
};

struct Report {
    bool started = false;
    DWORD startError = 0;
    bool holdOk = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    bool passwordSeen = false;
    std::wstring passwordCaption;
    std::vector<std::pair<const wchar_t *, bool>> passwordEnabled;
    std::wstring passwordAction;
    std::vector<Message> messages;
    bool progressCreated = false;
    int progressShowCount = 0;
    long long progressFirstShownMs = -1;   // since the password dialog's OK was pressed
    std::wstring progressCaption;
    std::vector<std::wstring> progressTexts;
    bool progressCancelClicked = false;
    std::vector<std::wstring> otherWindows;
    unsigned long long foregroundEdit = 0;
};

LARGE_INTEGER g_frequency;

long long NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000 / g_frequency.QuadPart;
}

std::wstring Quote(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t ch : arg) {
        if (ch == L'\\') {
            backslashes++;
            continue;
        }
        if (ch == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += ch;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[256] = L"";
    GetClassNameW(hwnd, name, 256);
    return name;
}

// WM_GETTEXT is marshalled across processes; GetWindowTextW is not, for controls.
std::wstring TextOf(HWND hwnd)
{
    wchar_t text[2048] = L"";
    DWORD_PTR result = 0;
    if (hwnd != NULL) {
        SendMessageTimeoutW(hwnd, WM_GETTEXT, 2048, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &result);
    }
    text[2047] = L'\0';
    return text;
}

struct Found {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam)
{
    Found *found = (Found *)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == found->pid) {
        found->windows.push_back(hwnd);
    }
    return TRUE;
}

bool IsPasswordDialog(HWND hwnd)
{
    HWND edit = GetDlgItem(hwnd, kIdPassword);
    return edit != NULL && _wcsicmp(ClassOf(edit).c_str(), L"Edit") == 0;
}

bool IsProgressDialog(HWND hwnd)
{
    HWND bar = GetDlgItem(hwnd, kIdProgressBar);
    return bar != NULL && _wcsicmp(ClassOf(bar).c_str(), L"msctls_progress32") == 0 &&
           GetDlgItem(hwnd, kIdStatus) != NULL;
}

std::wstring MessageTextOf(HWND hwnd)
{
    HWND text = GetDlgItem(hwnd, kIdMessageText);
    if (text != NULL) {
        return TextOf(text);
    }
    // Fall back to the first static with text, for message boxes laid out differently.
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
            std::wstring t = TextOf(child);
            if (!t.empty()) {
                return t;
            }
        }
    }
    return L"";
}

void Click(HWND button)
{
    // Posted, so that a message box opened by the click does not hold this driver up.
    PostMessageW(button, BM_CLICK, 0, 0);
}

void SetText(HWND edit, const std::wstring &text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(edit, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG, 2000, &result);
}

void AppendJsonString(std::wstring &out, const std::wstring &text)
{
    out += L'"';
    for (wchar_t ch : text) {
        switch (ch) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (ch < 0x20) {
                wchar_t esc[8];
                wsprintfW(esc, L"\\u%04x", (unsigned)ch);
                out += esc;
            } else {
                out += ch;
            }
        }
    }
    out += L'"';
}

const wchar_t *Bool(bool value)
{
    return value ? L"true" : L"false";
}

std::wstring Number(long long value)
{
    wchar_t text[32];
    wsprintfW(text, L"%I64d", value);
    return text;
}

std::wstring ToJson(const Report &r)
{
    std::wstring j = L"{";
    j += L"\"started\":"; j += Bool(r.started);
    j += L",\"start_error\":" + Number(r.startError);
    j += L",\"hold_ok\":"; j += Bool(r.holdOk);
    j += L",\"timed_out\":"; j += Bool(r.timedOut);
    j += L",\"exit_code\":" + Number(r.exitCode);
    j += L",\"foreground_edit\":" + Number((long long)r.foregroundEdit);
    j += L",\"password_dialog\":{\"seen\":"; j += Bool(r.passwordSeen);
    j += L",\"caption\":"; AppendJsonString(j, r.passwordCaption);
    j += L",\"action\":"; AppendJsonString(j, r.passwordAction);
    j += L",\"enabled\":{";
    for (size_t i = 0; i < r.passwordEnabled.size(); i++) {
        if (i) j += L",";
        AppendJsonString(j, r.passwordEnabled[i].first);
        j += L":"; j += Bool(r.passwordEnabled[i].second);
    }
    j += L"}}";
    j += L",\"messages\":[";
    for (size_t i = 0; i < r.messages.size(); i++) {
        if (i) j += L",";
        j += L"{\"caption\":"; AppendJsonString(j, r.messages[i].caption);
        j += L",\"text\":"; AppendJsonString(j, r.messages[i].text);
        j += L",\"progress_open\":"; j += Bool(r.messages[i].progressOpen);
        j += L",\"at_ms\":" + Number(r.messages[i].atMs) + L"}";
    }
    j += L"]";
    j += L",\"progress\":{\"created\":"; j += Bool(r.progressCreated);
    j += L",\"caption\":"; AppendJsonString(j, r.progressCaption);
    j += L",\"show_count\":" + Number(r.progressShowCount);
    j += L",\"first_shown_ms\":";
    j += r.progressFirstShownMs < 0 ? std::wstring(L"null") : Number(r.progressFirstShownMs);
    j += L",\"cancel_clicked\":"; j += Bool(r.progressCancelClicked);
    j += L",\"texts\":[";
    for (size_t i = 0; i < r.progressTexts.size(); i++) {
        if (i) j += L",";
        AppendJsonString(j, r.progressTexts[i]);
    }
    j += L"]}";
    j += L",\"other_windows\":[";
    for (size_t i = 0; i < r.otherWindows.size(); i++) {
        if (i) j += L",";
        AppendJsonString(j, r.otherWindows[i]);
    }
    j += L"]}";
    return j;
}

bool WriteUtf8(HANDLE file, const std::wstring &text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &utf8[0], bytes, NULL, NULL);
    utf8 += "\n";
    DWORD written = 0;
    return WriteFile(file, utf8.data(), (DWORD)utf8.size(), &written, NULL) && written == utf8.size();
}

bool ParseOptions(int argc, wchar_t **argv, Options &o)
{
    for (int i = 1; i < argc; i++) {
        std::wstring a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == L"--") {
            for (i++; i < argc; i++) o.items.push_back(argv[i]);
            break;
        } else if (a == L"--exe" && hasValue) {
            o.exe = argv[++i];
        } else if (a == L"--out" && hasValue) {
            o.out = argv[++i];
        } else if (a == L"--password" && hasValue) {
            o.password = argv[++i];
            o.hasPassword = true;
        } else if (a == L"--confirm" && hasValue) {
            o.confirm = argv[++i];
            o.hasConfirm = true;
        } else if (a == L"--hold" && hasValue) {
            o.hold = argv[++i];
        } else if (a == L"--timeout" && hasValue) {
            o.timeoutMs = (DWORD)_wtoi(argv[++i]);
        } else if (a == L"--cancel-progress") {
            o.cancelProgress = true;
        } else if (a == L"--foreground") {
            o.foreground = true;
        } else {
            return false;
        }
    }
    return !o.exe.empty();
}

// A window of ours in front, with a focused edit, stands in for the Explorer window that
// normally starts the program, so its focus capture has something to find.
HWND MakeForegroundWindow(HWND *edit)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"KolbrinUiDriverFrame";
    RegisterClassW(&wc);
    HWND frame = CreateWindowExW(0, wc.lpszClassName, L"Kolbrin UI driver", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 10, 10, 300, 120, NULL, NULL, GetModuleHandleW(NULL), NULL);
    if (frame == NULL) {
        return NULL;
    }
    *edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24, frame, NULL,
                            GetModuleHandleW(NULL), NULL);
    SetForegroundWindow(frame);
    SetFocus(*edit);
    return frame;
}

void PumpOwnMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Drive(const Options &o, Report &r)
{
    HANDLE held = INVALID_HANDLE_VALUE;
    HWND frame = NULL;
    HWND edit = NULL;
    if (!o.hold.empty()) {
        held = CreateFileW(o.hold.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        r.holdOk = held != INVALID_HANDLE_VALUE;
    }
    if (o.foreground) {
        frame = MakeForegroundWindow(&edit);
        r.foregroundEdit = (unsigned long long)(ULONG_PTR)edit;
        PumpOwnMessages();
    }

    std::wstring commandLine = Quote(o.exe);
    for (const std::wstring &item : o.items) {
        commandLine += L" " + Quote(item);
    }
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    ZeroMemory(&pi, sizeof(pi));
    if (!CreateProcessW(o.exe.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        r.startError = GetLastError();
    } else {
        r.started = true;
        long long startMs = NowMs();
        long long okMs = -1;
        bool passwordHandled = false;
        bool progressVisible = false;
        std::vector<HWND> handledBoxes;
        std::vector<HWND> seenOthers;

        for (;;) {
            PumpOwnMessages();
            bool ended = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
            Found found;
            found.pid = pi.dwProcessId;
            EnumWindows(CollectWindow, (LPARAM)&found);
            bool progressOpen = false;
            for (HWND hwnd : found.windows) {
                if (ClassOf(hwnd) != L"#32770") {
                    continue;
                }
                if (IsProgressDialog(hwnd)) {
                    progressOpen = true;
                    if (!r.progressCreated) {
                        r.progressCreated = true;
                        r.progressCaption = TextOf(hwnd);
                    }
                    bool visible = IsWindowVisible(hwnd) != FALSE;
                    if (visible && !progressVisible) {
                        r.progressShowCount++;
                        if (r.progressFirstShownMs < 0 && okMs >= 0) {
                            r.progressFirstShownMs = NowMs() - okMs;
                        }
                    }
                    progressVisible = visible;
                    std::wstring status = TextOf(GetDlgItem(hwnd, kIdStatus));
                    if (r.progressTexts.size() < 1000 &&
                        (r.progressTexts.empty() || r.progressTexts.back() != status)) {
                        r.progressTexts.push_back(status);
                    }
                    if (visible && o.cancelProgress && !r.progressCancelClicked) {
                        Click(GetDlgItem(hwnd, IDCANCEL));
                        r.progressCancelClicked = true;
                    }
                    continue;
                }
                if (!IsWindowVisible(hwnd)) {
                    continue;
                }
                if (IsPasswordDialog(hwnd)) {
                    if (passwordHandled) {
                        continue;
                    }
                    r.passwordSeen = true;
                    r.passwordCaption = TextOf(hwnd);
                    const std::pair<const wchar_t *, int> controls[] = {
                        {L"password", kIdPassword}, {L"confirm", kIdConfirm}, {L"show", kIdShowPassword},
                        {L"ok", IDOK}, {L"cancel", IDCANCEL}, {L"link_home", kIdLinkHome},
                        {L"link_update", kIdLinkUpdate}, {L"link_qa", kIdLinkQa}};
                    for (const auto &control : controls) {
                        HWND item = GetDlgItem(hwnd, control.second);
                        r.passwordEnabled.push_back({control.first, item != NULL && IsWindowEnabled(item)});
                    }
                    if (o.hasPassword) {
                        SetText(GetDlgItem(hwnd, kIdPassword), o.password);
                        SetText(GetDlgItem(hwnd, kIdConfirm), o.hasConfirm ? o.confirm : o.password);
                        okMs = NowMs();
                        Click(GetDlgItem(hwnd, IDOK));
                        r.passwordAction = L"ok";
                    } else {
                        Click(GetDlgItem(hwnd, IDCANCEL));
                        r.passwordAction = L"cancel";
                    }
                    passwordHandled = true;
                    continue;
                }
                bool handled = false;
                for (HWND box : handledBoxes) {
                    handled = handled || box == hwnd;
                }
                if (handled) {
                    continue;
                }
                std::wstring text = MessageTextOf(hwnd);
                if (GetDlgItem(hwnd, IDOK) == NULL && text.empty()) {
                    bool known = false;
                    for (HWND other : seenOthers) known = known || other == hwnd;
                    if (!known) {
                        seenOthers.push_back(hwnd);
                        r.otherWindows.push_back(TextOf(hwnd));
                    }
                    continue;
                }
                r.messages.push_back({TextOf(hwnd), text, progressOpen, NowMs() - startMs});
                handledBoxes.push_back(hwnd);
                HWND ok = GetDlgItem(hwnd, IDOK);
                if (ok != NULL) {
                    Click(ok);
                } else {
                    PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
                }
            }
            if (!progressOpen) {
                progressVisible = false;
            }
            if (ended) {
                break;
            }
            if ((DWORD)(NowMs() - startMs) > o.timeoutMs) {
                r.timedOut = true;
                TerminateProcess(pi.hProcess, 1);
                WaitForSingleObject(pi.hProcess, 5000);
                break;
            }
            Sleep(5);
        }
        GetExitCodeProcess(pi.hProcess, &r.exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (frame != NULL) {
        DestroyWindow(frame);
    }
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Options options;
    if (argv == NULL || !ParseOptions(argc, argv, options)) {
        fputs("usage: kolbrin_uidriver --exe PATH [--out FILE] [--password TEXT [--confirm TEXT]]"
              " [--cancel-progress] [--hold FILE] [--foreground] [--timeout MS] [-- ITEM...]\n", stderr);
        return 2;
    }
    QueryPerformanceFrequency(&g_frequency);
    Report report;
    Drive(options, report);
    std::wstring json = ToJson(report);

    bool ok;
    if (options.out.empty()) {
        ok = WriteUtf8(GetStdHandle(STD_OUTPUT_HANDLE), json);
    } else {
        HANDLE file = CreateFileW(options.out.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ok = file != INVALID_HANDLE_VALUE && WriteUtf8(file, json);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    LocalFree(argv);
    return ok ? 0 : 1;
}
