// The resources compiled into a Windows program (res_rc) hold what the tool
// shows: string 104 in each language byte for byte, the dialog templates as
// the Linux build lays them out, and the icon.
#include "GeneratedDialogs.h"
#include "StringTable.h"
#include "StringTableData.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace {

const LPCWSTR kStringType = MAKEINTRESOURCEW(6);
const LPCWSTR kDialogType = MAKEINTRESOURCEW(5);
const LPCWSTR kIconType = MAKEINTRESOURCEW(3);
const LPCWSTR kGroupIconType = MAKEINTRESOURCEW(14);

const LANGID kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kChineseTaiwan = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
const LANGID kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

// The captions of the progress window as the tool must show them.
const std::map<LANGID, std::string> kWaitTexts = {
    {kEnglishUs, "Wait..."},
    {kChineseTaiwan, "請稍後..."},
    {kChinesePrc, "请等待..."},
};

std::string Utf8(const wchar_t* pText, size_t nLength) {
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, pText, static_cast<int>(nLength), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(static_cast<size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pText, static_cast<int>(nLength), text.data(), nBytes, nullptr,
                        nullptr);
    return text;
}

const BYTE* ResourceBytes(LPCWSTR pType, LPCWSTR pName, LANGID language, DWORD* pSize) {
    HMODULE hModule = GetModuleHandleW(nullptr);
    HRSRC hFound = language == 0 ? FindResourceW(hModule, pName, pType)
                                 : FindResourceExW(hModule, pType, pName, language);
    if (hFound == nullptr)
        return nullptr;
    *pSize = SizeofResource(hModule, hFound);
    return static_cast<const BYTE*>(LockResource(LoadResource(hModule, hFound)));
}

// String nID from its language's block of sixteen counted strings; false
// when the language has no block for it.
bool StringInLanguage(UINT nID, LANGID language, std::string& text) {
    DWORD dwSize = 0;
    auto pBlock = reinterpret_cast<const WCHAR*>(
        ResourceBytes(kStringType, MAKEINTRESOURCEW(nID / 16 + 1), language, &dwSize));
    if (pBlock == nullptr)
        return false;
    const WCHAR* p = pBlock;
    for (UINT i = 0; i < nID % 16; ++i)
        p += 1 + *p;
    text = Utf8(p + 1, *p);
    return true;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR lParam) {
    reinterpret_cast<std::set<LANGID>*>(lParam)->insert(language);
    return TRUE;
}

LANGID LanguageOf(const char* pszLocale) {
    static const std::map<std::string, LANGID> ids = {
        {"en_US", kEnglishUs}, {"zh_TW", kChineseTaiwan}, {"zh_CN", kChinesePrc}};
    auto it = ids.find(pszLocale);
    return it == ids.end() ? 0 : it->second;
}

// A reader of a dialog template as the resource compiler laid it out.
class CTemplateReader {
public:
    explicit CTemplateReader(const BYTE* p) : m_p(p), m_pStart(p) {}
    WORD Word() {
        WORD w;
        std::memcpy(&w, m_p, 2);
        m_p += 2;
        return w;
    }
    DWORD Dword() { return Word() | (static_cast<DWORD>(Word()) << 16); }
    short Short() { return static_cast<short>(Word()); }
    std::string Text() {
        auto p = reinterpret_cast<const WCHAR*>(m_p);
        size_t n = 0;
        while (p[n] != 0)
            ++n;
        m_p += 2 * (n + 1);
        return Utf8(p, n);
    }
    // A name or an ordinal; the predefined control classes come as ordinals.
    std::string NameOrOrdinal() {
        WORD first;
        std::memcpy(&first, m_p, 2);
        if (first == 0) {
            m_p += 2;
            return "";
        }
        if (first != 0xFFFF)
            return Text();
        m_p += 2;
        static const std::map<WORD, std::string> classes = {
            {0x80, "Button"},  {0x81, "Edit"},      {0x82, "Static"},
            {0x83, "ListBox"}, {0x84, "ScrollBar"}, {0x85, "ComboBox"}};
        const WORD ordinal = Word();
        auto it = classes.find(ordinal);
        return it != classes.end() ? it->second : "#" + std::to_string(ordinal);
    }
    void AlignDword() { m_p += (4 - (m_p - m_pStart) % 4) % 4; }
    void Skip(size_t n) { m_p += n; }

private:
    const BYTE* m_p;
    const BYTE* m_pStart;
};

struct CCompiledDialog {
    bool bExtended = false;
    CGeneratedDialog dialog;
};

CCompiledDialog ReadTemplate(const BYTE* pData) {
    CCompiledDialog out;
    CGeneratedDialog& d = out.dialog;
    CTemplateReader r(pData);
    const WORD wVersion = r.Word();
    const WORD wSignature = r.Word();
    out.bExtended = wVersion == 1 && wSignature == 0xFFFF;
    int nItems;
    if (out.bExtended) {
        r.Dword(); // help id
        d.dwExStyle = r.Dword();
        d.dwStyle = r.Dword();
    } else {
        d.dwStyle = wVersion | (static_cast<DWORD>(wSignature) << 16);
        d.dwExStyle = r.Dword();
    }
    nItems = r.Word();
    r.Short();
    r.Short();
    d.cx = r.Short();
    d.cy = r.Short();
    EXPECT_EQ("", r.NameOrOrdinal()) << "no menu";
    EXPECT_EQ("", r.NameOrOrdinal()) << "the standard dialog class";
    d.strCaption = r.Text();
    if (d.dwStyle & DS_SETFONT) {
        d.nPointSize = r.Word();
        if (out.bExtended)
            r.Skip(4); // weight, italic, character set
        d.strFaceName = r.Text();
    }
    for (int i = 0; i < nItems; ++i) {
        r.AlignDword();
        CGeneratedItem item;
        if (out.bExtended) {
            r.Dword(); // help id
            r.Dword(); // extended style
            item.dwStyle = r.Dword();
        } else {
            item.dwStyle = r.Dword();
            r.Dword(); // extended style
        }
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.nID = out.bExtended ? static_cast<int>(r.Dword()) : static_cast<short>(r.Word());
        item.strClass = r.NameOrOrdinal();
        item.strText = r.NameOrOrdinal();
        r.Skip(r.Word()); // creation data
        d.items.push_back(item);
    }
    return out;
}

bool SameClass(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string WindowClass(HWND hWnd) {
    WCHAR name[64] = {};
    const int n = GetClassNameW(hWnd, name, 64);
    return Utf8(name, static_cast<size_t>(std::max(n, 0)));
}

std::string WindowText(HWND hWnd) {
    WCHAR text[128] = {};
    const int n = GetWindowTextW(hWnd, text, 128);
    return Utf8(text, static_cast<size_t>(std::max(n, 0)));
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

} // namespace

TEST(ResourceTest, String104_HasEachLanguageBlockByteForByte) {
    for (const auto& [language, text] : kWaitTexts) {
        SCOPED_TRACE(language);
        std::string found;
        ASSERT_TRUE(StringInLanguage(IDS_WAIT, language, found));
        EXPECT_EQ(text, found);
    }
    std::set<LANGID> languages;
    EnumResourceLanguagesW(GetModuleHandleW(nullptr), kStringType,
                           MAKEINTRESOURCEW(IDS_WAIT / 16 + 1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ((std::set<LANGID>{kEnglishUs, kChineseTaiwan, kChinesePrc}), languages);
}

// Every text of the table Linux is built from is in the Windows resources,
// under its language, and nothing more.
TEST(ResourceTest, StringTable_IsTheOneLinuxIsBuiltFrom) {
    ASSERT_EQ(static_cast<int>(kWaitTexts.size()), g_nStringResources);
    for (int i = 0; i < g_nStringResources; ++i) {
        const CStringResource& r = g_stringResources[i];
        SCOPED_TRACE(r.pszLanguage);
        const LANGID language = LanguageOf(r.pszLanguage);
        ASSERT_NE(0, language);
        std::string found;
        ASSERT_TRUE(StringInLanguage(r.nID, language, found));
        EXPECT_EQ(r.pszText, found);
    }
}

// LoadStringW takes the block of the thread's UI language. Windows lets the
// test choose each language; Wine keeps the one its process started with
// (from LANG), so CTest runs this once per language with
// ORVEX_EXPECT_UI_LOCALE naming it.
TEST(ResourceTest, LoadStringResource_FollowsTheThreadUiLanguage) {
    const LANGID original = GetThreadUILanguage();
    if (const char* pszExpected = std::getenv("ORVEX_EXPECT_UI_LOCALE")) {
        ASSERT_EQ(LanguageOf(pszExpected), original) << pszExpected;
    }
    for (const auto& [language, text] : kWaitTexts) {
        SCOPED_TRACE(language);
        SetThreadUILanguage(language);
        if (GetThreadUILanguage() != language)
            continue;
        EXPECT_EQ(text, LoadStringResource(IDS_WAIT));
        EXPECT_EQ(language != kEnglishUs, InstallTranslator());
    }
    SetThreadUILanguage(original);
    auto it = kWaitTexts.find(GetThreadUILanguage());
    ASSERT_NE(kWaitTexts.end(), it) << "UI language " << GetThreadUILanguage();
    EXPECT_EQ(it->second, LoadStringResource(IDS_WAIT));
    EXPECT_EQ(it->first != kEnglishUs, InstallTranslator());
    EXPECT_EQ("", LoadStringResource(IDS_WAIT + 1));
}

TEST(ResourceTest, Dialogs_AreTheTemplatesLinuxLaysOut) {
    struct {
        UINT nID;
        bool bExtended;
        size_t nItems;
    } const cases[] = {
        {IDD_MAIN_DIALOG, true, 6}, {IDD_PROGRESS_DIALOG, false, 3}, {IDD_LIST_PHONES, false, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nID);
        CGeneratedDialog expected;
        ASSERT_TRUE(FindGeneratedDialog(c.nID, expected));
        DWORD dwSize = 0;
        const BYTE* pData = ResourceBytes(kDialogType, MAKEINTRESOURCEW(c.nID), 0, &dwSize);
        ASSERT_NE(nullptr, pData);
        const CCompiledDialog compiled = ReadTemplate(pData);
        const CGeneratedDialog& d = compiled.dialog;
        EXPECT_EQ(c.bExtended, compiled.bExtended);
        EXPECT_EQ(expected.strCaption, d.strCaption);
        EXPECT_EQ(expected.strFaceName, d.strFaceName);
        EXPECT_EQ(expected.nPointSize, d.nPointSize);
        EXPECT_EQ(expected.cx, d.cx);
        EXPECT_EQ(expected.cy, d.cy);
        EXPECT_EQ(expected.dwStyle, d.dwStyle);
        EXPECT_EQ(expected.dwExStyle, d.dwExStyle);
        ASSERT_EQ(c.nItems, d.items.size());
        ASSERT_EQ(expected.items.size(), d.items.size());
        for (size_t i = 0; i < d.items.size(); ++i) {
            const CGeneratedItem& e = expected.items[i];
            const CGeneratedItem& a = d.items[i];
            SCOPED_TRACE(e.nID);
            EXPECT_EQ(e.nID, a.nID);
            EXPECT_TRUE(SameClass(e.strClass, a.strClass)) << a.strClass;
            EXPECT_EQ(e.strText, a.strText);
            EXPECT_EQ((std::vector<int>{e.x, e.y, e.cx, e.cy}),
                      (std::vector<int>{a.x, a.y, a.cx, a.cy}));
            EXPECT_EQ(e.dwStyle, a.dwStyle);
        }
    }
}

// Each dialog opens from its resource with real controls of its classes.
TEST(ResourceTest, Dialogs_OpenWithTheirControls) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_INTERNET_CLASSES |
                                                           ICC_PROGRESS_CLASS |
                                                           ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    struct {
        UINT nID;
        const char* caption;
        std::vector<std::pair<int, const char*>> controls; // id, class
    } const cases[] = {
        {IDD_MAIN_DIALOG,
         "Orvex Tool Kit",
         {{1055, "Button"},
          {1052, "Button"},
          {IDCANCEL, "Button"},
          {1010, "SysIPAddress32"},
          {1066, "Button"}}},
        {IDD_PROGRESS_DIALOG,
         "",
         {{1006, "Static"}, {1004, "Static"}, {1002, "msctls_progress32"}}},
        {IDD_LIST_PHONES,
         "List Phones",
         {{1230, "SysListView32"}, {IDOK, "Button"}, {3, "Button"}, {IDCANCEL, "Button"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nID);
        CGeneratedDialog expected;
        ASSERT_TRUE(FindGeneratedDialog(c.nID, expected));
        HWND hDlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.nID), nullptr,
                                       QuietDialogProc, 0);
        ASSERT_NE(nullptr, hDlg);
        EXPECT_EQ(c.caption, WindowText(hDlg));
        for (const auto& [nID, pszClass] : c.controls) {
            SCOPED_TRACE(nID);
            HWND hItem = GetDlgItem(hDlg, nID);
            ASSERT_NE(nullptr, hItem);
            EXPECT_TRUE(SameClass(pszClass, WindowClass(hItem))) << WindowClass(hItem);
            auto it = std::find_if(expected.items.begin(), expected.items.end(),
                                   [&](const CGeneratedItem& i) { return i.nID == nID; });
            ASSERT_NE(expected.items.end(), it);
            if (SameClass(pszClass, "Button") || SameClass(pszClass, "Static")) {
                EXPECT_EQ(it->strText, WindowText(hItem));
            }
        }
        EXPECT_EQ(nullptr, GetDlgItem(hDlg, 4242));
        DestroyWindow(hDlg);
    }
}

TEST(ResourceTest, Icon128_HasEverySizeAndLoadsAt16And32) {
    DWORD dwSize = 0;
    const BYTE* pGroup = ResourceBytes(kGroupIconType, MAKEINTRESOURCEW(IDR_MAINFRAME), 0, &dwSize);
    ASSERT_NE(nullptr, pGroup);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const int nIcon = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(pGroup), TRUE, size, size,
                                                      LR_DEFAULTCOLOR);
        ASSERT_NE(0, nIcon);
        DWORD dwIconSize = 0;
        const BYTE* pIcon = ResourceBytes(kIconType, MAKEINTRESOURCEW(nIcon), 0, &dwIconSize);
        ASSERT_NE(nullptr, pIcon);
        if (size < 256) {
            BITMAPINFOHEADER header;
            std::memcpy(&header, pIcon, sizeof(header));
            EXPECT_EQ(size, header.biWidth);
            EXPECT_EQ(2 * size, header.biHeight); // colour and mask
            EXPECT_EQ(32, header.biBitCount);
        } else {
            EXPECT_EQ(0, std::memcmp(pIcon, "\x89PNG", 4));
        }
    }
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        HICON hIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                    MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                    size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(nullptr, hIcon);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(hIcon, &info));
        BITMAP bitmap = {};
        ASSERT_NE(0, GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap));
        EXPECT_EQ(size, bitmap.bmWidth);
        EXPECT_EQ(size, bitmap.bmHeight);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(hIcon);
    }
}
