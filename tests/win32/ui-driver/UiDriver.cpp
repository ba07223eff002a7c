// ui-driver: works another program's windows the way a user would, for the
// windowed tests under Wine. It reads one step per line from standard input
// and prints what the user would see on standard output, one line per query;
// the test script compares those lines. Any step that cannot be done (a window
// that never shows, a control that does not exist) ends the run with status 1
// and says why on standard error, so a test never goes on past a missing step.
//
// Steps (ID is a control id; "quoted text" may hold blanks):
//   timeout MS            how long the waits below wait (default 10000)
//   window "CAPTION"      waits for a visible top-level window of that caption;
//                         the steps below work on it. The first one found
//                         fixes the process: later windows must be its own.
//   message               waits for a message box of that process and works
//                         on it; prints "CAPTION|icon|TEXT" or "CAPTION||TEXT"
//   gone                  waits until the current window no longer exists
//   exit                  waits until the process of the first window has ended
//   text ID               prints the control's text (ID 0: the caption)
//   layout "FONT" POINTS  prints every control: id, class, text and its
//                         rectangle in dialog units of that font
//   address ID            prints an IP address control's four fields as a.b.c.d
//   set-address ID A.B.C.D   IPM_SETADDRESS
//   type ID TEXT          types TEXT; into an IP address control field by field
//   set-text ID TEXT      WM_SETTEXT (the file name of a file dialog)
//   open-file PATH        in a file dialog: types PATH as the file name,
//                         presses Open and waits until the dialog has closed
//   click ID              presses a button (posted, so a modal loop it starts
//                         does not hold the driver)
//   enter ID              presses Enter in the control (in an IP address
//                         control: in its first field)
//   rows ID [MIN]         waits until the list view has at least MIN rows and
//                         prints each row, its columns separated by '|'
//   select ID ROW         selects one row of a list view
//   sleep MS
#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The message box's text and icon controls, as user32 builds the box.
constexpr int kMessageTextId = 0xFFFF;
constexpr int kMessageIconId = 0x0440;
constexpr DWORD kQueryTimeoutMs = 5000;

struct CStepError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                throw CStepError("unclosed quote");
            word = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

std::string ClassOf(HWND hWnd) {
    char szClass[128] = {};
    GetClassNameA(hWnd, szClass, sizeof szClass);
    return szClass;
}

// WM_GETTEXT with a time-out, so a hung target fails the step instead of the run.
std::string TextOf(HWND hWnd) {
    DWORD_PTR nLength = 0;
    if (!SendMessageTimeoutA(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kQueryTimeoutMs,
                             &nLength))
        throw CStepError("no answer to WM_GETTEXTLENGTH");
    std::string text(nLength + 1, '\0');
    DWORD_PTR nCopied = 0;
    if (!SendMessageTimeoutA(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, kQueryTimeoutMs, &nCopied))
        throw CStepError("no answer to WM_GETTEXT");
    text.resize(nCopied);
    return text;
}

// Memory inside the target process, for the list view messages that take a pointer.
class CRemoteBuffer {
public:
    CRemoteBuffer(HWND hWnd, SIZE_T nSize) {
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hWnd, &dwPid);
        m_hProcess =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwPid);
        if (m_hProcess == nullptr)
            throw CStepError("OpenProcess failed");
        m_pRemote = VirtualAllocEx(m_hProcess, nullptr, nSize, MEM_COMMIT, PAGE_READWRITE);
        if (m_pRemote == nullptr) {
            CloseHandle(m_hProcess);
            throw CStepError("VirtualAllocEx failed");
        }
    }
    ~CRemoteBuffer() {
        VirtualFreeEx(m_hProcess, m_pRemote, 0, MEM_RELEASE);
        CloseHandle(m_hProcess);
    }
    CRemoteBuffer(const CRemoteBuffer&) = delete;
    CRemoteBuffer& operator=(const CRemoteBuffer&) = delete;

    char* Address(SIZE_T nOffset = 0) const { return static_cast<char*>(m_pRemote) + nOffset; }
    void Write(SIZE_T nOffset, const void* pData, SIZE_T nSize) {
        if (!WriteProcessMemory(m_hProcess, Address(nOffset), pData, nSize, nullptr))
            throw CStepError("WriteProcessMemory failed");
    }
    void Read(SIZE_T nOffset, void* pData, SIZE_T nSize) {
        if (!ReadProcessMemory(m_hProcess, Address(nOffset), pData, nSize, nullptr))
            throw CStepError("ReadProcessMemory failed");
    }

private:
    HANDLE m_hProcess = nullptr;
    void* m_pRemote = nullptr;
};

// Pixels to dialog units of a font, found with a hidden dialog of our own in
// that font: the same fonts and the same rounding as the target's dialog.
class CDialogUnits {
public:
    CDialogUnits(const std::string& font, int nPoints) {
        // An extended template, as the tool's dialogs are: the font's weight
        // and character set fields change which face the name maps to.
        std::vector<WORD> tmpl(24 + font.size(), 0);
        std::size_t i = 0;
        tmpl[i++] = 1;      // dlgVer
        tmpl[i++] = 0xFFFF; // signature
        i += 4;             // helpID, exStyle
        const DWORD dwStyle = WS_POPUP | DS_SETFONT;
        tmpl[i++] = LOWORD(dwStyle);
        tmpl[i++] = HIWORD(dwStyle);
        i += 5;                                   // cDlgItems, x, y, cx, cy
        i += 3;                                   // no menu, the dialog class, no caption
        tmpl[i++] = static_cast<WORD>(nPoints);   // pointsize
        i += 1;                                   // weight
        tmpl[i++] = MAKEWORD(0, DEFAULT_CHARSET); // italic, charset
        for (char c : font)
            tmpl[i++] = static_cast<WORD>(static_cast<unsigned char>(c));
        m_hDlg = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                            reinterpret_cast<DLGTEMPLATE*>(tmpl.data()), nullptr,
                                            &CDialogUnits::Proc, 0);
        if (m_hDlg == nullptr)
            throw CStepError("cannot measure dialog units");
    }
    ~CDialogUnits() { DestroyWindow(m_hDlg); }
    CDialogUnits(const CDialogUnits&) = delete;
    CDialogUnits& operator=(const CDialogUnits&) = delete;

    // The dialog-unit value that maps to nPixels, or nPixels' estimate when
    // none maps exactly.
    int FromPixels(int nPixels, bool bHorizontal) const {
        constexpr int kScale = 4000;
        int nEstimate = nPixels * kScale / Base(bHorizontal, kScale);
        for (int du = nEstimate - 2; du <= nEstimate + 2; ++du)
            if (Base(bHorizontal, du) == nPixels)
                return du;
        return nEstimate;
    }

private:
    static INT_PTR CALLBACK Proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
    int Base(bool bHorizontal, int du) const {
        RECT rc = {0, 0, bHorizontal ? du : 0, bHorizontal ? 0 : du};
        MapDialogRect(m_hDlg, &rc);
        return bHorizontal ? rc.right : rc.bottom;
    }
    HWND m_hDlg = nullptr;
};

class CDriver {
public:
    int Run(std::istream& in) {
        std::string line;
        int nLine = 0;
        while (std::getline(in, line)) {
            ++nLine;
            std::vector<std::string> words;
            try {
                words = SplitWords(line);
                if (words.empty() || words[0][0] == '#')
                    continue;
                Step(words);
                std::cout.flush();
            } catch (const std::exception& e) {
                std::cout.flush();
                std::cerr << "ui-driver: line " << nLine << " (" << line << "): " << e.what()
                          << "\n";
                return 1;
            }
        }
        return 0;
    }

private:
    void Step(const std::vector<std::string>& w) {
        const std::string& op = w[0];
        if (op == "timeout")
            m_dwTimeoutMs = static_cast<DWORD>(std::stoul(Arg(w, 1)));
        else if (op == "window")
            m_hWnd = WaitForWindow(Arg(w, 1));
        else if (op == "message")
            PrintMessageBox();
        else if (op == "gone")
            WaitUntil("the window to close", [&] { return !IsWindow(m_hWnd); });
        else if (op == "exit")
            WaitForExit();
        else if (op == "text")
            std::cout << TextOf(Control(Arg(w, 1))) << "\n";
        else if (op == "layout")
            PrintLayout(Arg(w, 1), std::stoi(Arg(w, 2)));
        else if (op == "address")
            std::cout << AddressText(Control(Arg(w, 1))) << "\n";
        else if (op == "set-address")
            SetAddress(Control(Arg(w, 1)), Arg(w, 2));
        else if (op == "type")
            Type(Control(Arg(w, 1)), Arg(w, 2));
        else if (op == "set-text")
            SendText(Control(Arg(w, 1)), Arg(w, 2));
        else if (op == "open-file")
            OpenFile(Arg(w, 1));
        else if (op == "click")
            PostMessageA(Control(Arg(w, 1)), BM_CLICK, 0, 0);
        else if (op == "enter")
            PressEnter(Control(Arg(w, 1)));
        else if (op == "rows")
            PrintRows(Control(Arg(w, 1)), w.size() > 2 ? std::stoi(w[2]) : 0);
        else if (op == "select")
            SelectRow(Control(Arg(w, 1)), std::stoi(Arg(w, 2)));
        else if (op == "sleep")
            Sleep(static_cast<DWORD>(std::stoul(Arg(w, 1))));
        else
            throw CStepError("unknown step");
    }

    static const std::string& Arg(const std::vector<std::string>& w, std::size_t i) {
        if (i >= w.size())
            throw CStepError("missing argument");
        return w[i];
    }

    template <typename Done> void WaitUntil(const char* pszWhat, Done done) {
        DWORD dwStart = GetTickCount();
        while (!done()) {
            if (GetTickCount() - dwStart > m_dwTimeoutMs)
                throw CStepError(std::string("timed out waiting for ") + pszWhat);
            Sleep(50);
        }
    }

    bool OfTarget(HWND hWnd) const {
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hWnd, &dwPid);
        return m_dwPid == 0 || dwPid == m_dwPid;
    }

    // The visible top-level windows of the target process that match.
    template <typename Match> HWND FindTopLevel(Match match) const {
        struct SSearch {
            const CDriver* pThis;
            Match* pMatch;
            HWND hFound;
        } search = {this, &match, nullptr};
        EnumWindows(
            [](HWND hWnd, LPARAM lParam) -> BOOL {
                auto* p = reinterpret_cast<SSearch*>(lParam);
                if (IsWindowVisible(hWnd) && p->pThis->OfTarget(hWnd) && (*p->pMatch)(hWnd)) {
                    p->hFound = hWnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.hFound;
    }

    HWND WaitForWindow(const std::string& caption) {
        HWND hFound = nullptr;
        std::string what = "window \"" + caption + "\"";
        WaitUntil(what.c_str(), [&] {
            hFound = FindTopLevel([&](HWND hWnd) {
                char szText[256] = {};
                GetWindowTextA(hWnd, szText, sizeof szText);
                return caption == szText;
            });
            return hFound != nullptr;
        });
        if (m_dwPid == 0) {
            GetWindowThreadProcessId(hFound, &m_dwPid);
            m_hProcess = OpenProcess(SYNCHRONIZE, FALSE, m_dwPid);
        }
        return hFound;
    }

    void WaitForExit() {
        if (m_hProcess == nullptr)
            throw CStepError("no process to wait for");
        if (WaitForSingleObject(m_hProcess, m_dwTimeoutMs) != WAIT_OBJECT_0)
            throw CStepError("timed out waiting for the process to end");
    }

    // A box the driver pressed a button of may still be closing; the next
    // "message" step waits for another one.
    void PrintMessageBox() {
        HWND hFound = nullptr;
        WaitUntil("a message box", [&] {
            hFound = FindTopLevel([&](HWND hWnd) {
                return hWnd != m_hLastMessage && ClassOf(hWnd) == "#32770" &&
                       GetDlgItem(hWnd, kMessageTextId) != nullptr;
            });
            return hFound != nullptr;
        });
        m_hWnd = m_hLastMessage = hFound;
        HWND hIcon = GetDlgItem(hFound, kMessageIconId);
        // A box without an icon keeps the icon control, empty and of no size.
        bool bIcon = hIcon != nullptr && IsWindowVisible(hIcon) &&
                     SendMessageA(hIcon, STM_GETICON, 0, 0) != 0;
        std::cout << TextOf(hFound) << "|" << (bIcon ? "icon" : "") << "|"
                  << TextOf(GetDlgItem(hFound, kMessageTextId)) << "\n";
    }

    HWND Control(const std::string& id) const {
        if (m_hWnd == nullptr || !IsWindow(m_hWnd))
            throw CStepError("no window");
        int nId = std::stoi(id, nullptr, 0);
        if (nId == 0)
            return m_hWnd;
        HWND hCtrl = GetDlgItem(m_hWnd, nId);
        if (hCtrl == nullptr)
            throw CStepError("no control " + id);
        return hCtrl;
    }

    void PrintLayout(const std::string& font, int nPoints) const {
        CDialogUnits units(font, nPoints);
        for (HWND hCtrl = GetWindow(m_hWnd, GW_CHILD); hCtrl != nullptr;
             hCtrl = GetWindow(hCtrl, GW_HWNDNEXT)) {
            RECT rc;
            GetWindowRect(hCtrl, &rc);
            MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
            std::cout << GetDlgCtrlID(hCtrl) << " " << ClassOf(hCtrl) << " \"" << TextOf(hCtrl)
                      << "\" " << units.FromPixels(rc.left, true) << ","
                      << units.FromPixels(rc.top, false) << ","
                      << units.FromPixels(rc.right - rc.left, true) << ","
                      << units.FromPixels(rc.bottom - rc.top, false) << "\n";
        }
    }

    // An IP address control's four edit fields, left to right.
    static std::vector<HWND> Fields(HWND hCtrl) {
        std::vector<HWND> fields;
        for (HWND h = GetWindow(hCtrl, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
            fields.push_back(h);
        std::sort(fields.begin(), fields.end(), [](HWND a, HWND b) {
            RECT ra, rb;
            GetWindowRect(a, &ra);
            GetWindowRect(b, &rb);
            return ra.left < rb.left;
        });
        if (fields.size() != 4)
            throw CStepError("not an IP address control");
        return fields;
    }

    static std::string AddressText(HWND hCtrl) {
        std::string text;
        for (HWND hField : Fields(hCtrl))
            text += (text.empty() ? "" : ".") + TextOf(hField);
        return text;
    }

    static void SetAddress(HWND hCtrl, const std::string& address) {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
            throw CStepError("not an address");
        SendMessageA(hCtrl, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
    }

    static void SendText(HWND hCtrl, const std::string& text) {
        DWORD_PTR nResult = 0;
        if (!SendMessageTimeoutA(hCtrl, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                 SMTO_ABORTIFHUNG, kQueryTimeoutMs, &nResult))
            throw CStepError("no answer to WM_SETTEXT");
    }

    // Characters posted as the keyboard would deliver them, one field at a
    // time in an IP address control (each field empty first, as after a
    // user's select-all).
    static void Type(HWND hCtrl, const std::string& text) {
        if (ClassOf(hCtrl) != WC_IPADDRESSA) {
            for (char c : text)
                PostMessageA(hCtrl, WM_CHAR, static_cast<unsigned char>(c), 1);
            return;
        }
        std::vector<HWND> fields = Fields(hCtrl);
        std::istringstream parts(text);
        std::string part;
        for (HWND hField : fields) {
            std::getline(parts, part, '.');
            SendText(hField, "");
            for (char c : part)
                PostMessageA(hField, WM_CHAR, static_cast<unsigned char>(c), 1);
            part.clear();
        }
    }

    // The file name field is a combo box in the Explorer-style dialog and an
    // edit field in the old style.
    void OpenFile(const std::string& path) {
        HWND hName = GetDlgItem(m_hWnd, cmb13);
        if (hName == nullptr)
            hName = Control(std::to_string(edt1));
        SendText(hName, path);
        PostMessageA(Control(std::to_string(IDOK)), BM_CLICK, 0, 0);
        WaitUntil("the file dialog to close", [&] { return !IsWindow(m_hWnd); });
    }

    static void PressEnter(HWND hCtrl) {
        if (ClassOf(hCtrl) == WC_IPADDRESSA)
            hCtrl = Fields(hCtrl).front();
        UINT nScan = MapVirtualKeyA(VK_RETURN, MAPVK_VK_TO_VSC);
        PostMessageA(hCtrl, WM_KEYDOWN, VK_RETURN, 1 | (nScan << 16));
        PostMessageA(hCtrl, WM_CHAR, '\r', 1 | (nScan << 16));
        PostMessageA(hCtrl, WM_KEYUP, VK_RETURN, 1 | (nScan << 16) | (3u << 30));
    }

    void PrintRows(HWND hList, int nMin) {
        int nRows = 0;
        WaitUntil("the list's rows", [&] {
            nRows = static_cast<int>(SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0));
            return nRows >= nMin;
        });
        HWND hHeader = reinterpret_cast<HWND>(SendMessageA(hList, LVM_GETHEADER, 0, 0));
        int nColumns =
            hHeader ? static_cast<int>(SendMessageA(hHeader, HDM_GETITEMCOUNT, 0, 0)) : 1;
        constexpr SIZE_T kTextSize = 512;
        CRemoteBuffer remote(hList, sizeof(LVITEMA) + kTextSize);
        for (int nRow = 0; nRow < nRows; ++nRow) {
            std::string line;
            for (int nColumn = 0; nColumn < nColumns; ++nColumn) {
                LVITEMA item = {};
                item.iSubItem = nColumn;
                item.pszText = remote.Address(sizeof(LVITEMA));
                item.cchTextMax = kTextSize;
                remote.Write(0, &item, sizeof item);
                SendMessageA(hList, LVM_GETITEMTEXTA, nRow,
                             reinterpret_cast<LPARAM>(remote.Address()));
                char szText[kTextSize] = {};
                remote.Read(sizeof(LVITEMA), szText, kTextSize - 1);
                line += (nColumn ? "|" : "") + std::string(szText);
            }
            std::cout << line << "\n";
        }
    }

    static void SelectRow(HWND hList, int nRow) {
        CRemoteBuffer remote(hList, sizeof(LVITEMA));
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        remote.Write(0, &item, sizeof item);
        if (!SendMessageA(hList, LVM_SETITEMSTATE, nRow,
                          reinterpret_cast<LPARAM>(remote.Address())))
            throw CStepError("cannot select the row");
    }

    DWORD m_dwTimeoutMs = 10000;
    DWORD m_dwPid = 0;
    HANDLE m_hProcess = nullptr;
    HWND m_hWnd = nullptr;
    HWND m_hLastMessage = nullptr;
};

} // namespace

int main() {
    // Lines end in '\n' alone, as the test script on Linux compares them.
    _setmode(_fileno(stdout), _O_BINARY);
    InitCommonControls();
    CDriver driver;
    return driver.Run(std::cin);
}
