// Tests of the Explorer selection against a fake automation tree (what is walked, selected,
// clicked and logged, and that every reference goes back once), and against Wine's own platform.
#include "explorer/explorer_select.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "diag/diag_log.h"
#include "fake_uia.h"
#include "test_support.h"

namespace {

const wchar_t kDesktop[] = L"\x30C7\x30B9\x30AF\x30C8\x30C3\x30D7";   // デスクトップ
const wchar_t kItemsView[] = L"\x9805\x76EE\x30D3\x30E5\x30FC";       // 項目ビュー
const wchar_t kNameCell[] = L"\x540D\x524D";                          // 名前
const wchar_t kSizeCell[] = L"\x30B5\x30A4\x30BA";                    // サイズ
const int kFailedAttempt = -1;
const HWND kHwndCtl = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));

int Attempt(const wchar_t *pszName)
{
    try {
        return SelectItemInExplorer(pszName);
    } catch (ExplorerAttemptFailed &) {
        return kFailedAttempt;
    }
}

std::string ReadText(const std::wstring &path)
{
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The log goes to a file of the test's own, switched on without a settings file.
class LogCapture {
public:
    LogCapture() : m_bSavedSave(g_bLogSave)
    {
        CopyPath(m_szSavedPath, g_szLogPath);
        m_path = m_dir / L"select.log";
        g_bLogLoaded = 1;
        g_bLogSave = 1;
        CopyPath(g_szLogPath, m_path.c_str());
    }
    ~LogCapture()
    {
        g_bLogSave = m_bSavedSave;
        CopyPath(g_szLogPath, m_szSavedPath);
    }
    // The messages, without their time stamps.
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::string text = ReadText(m_path);
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            lines.push_back(line.size() >= 17 && line[0] == '[' ? line.substr(17) : line);
            start = end + 2;
        }
        return lines;
    }

private:
    TempDir m_dir;
    std::wstring m_path;
    DWORD m_bSavedSave;
    WCHAR m_szSavedPath[PATH_UNITS];
};

typedef std::vector<std::string> Lines;

class Selection : public ::testing::Test {
protected:
    Selection() : m_scope(m_world)
    {
        g_hwndCtl = kHwndCtl;
        m_world.hwndAtPoint = kHwndCtl;
    }
    void TearDown() override
    {
        // Every reference obtained was given back exactly once, whatever way the attempt ended.
        EXPECT_EQ(m_world.LiveObjects(), 0);
        EXPECT_EQ(m_world.nOverReleases, 0);
        EXPECT_EQ(m_world.nCallsOnDead, 0);
        g_hwndCtl = NULL;
    }
    // A desktop with a text file, the archive and a folder.
    FakeNode *Desktop(const std::wstring &archive = L"report.zip")
    {
        m_world.root.name = kDesktop;
        m_world.root.Add(L"notes.txt");
        FakeNode *pIcon = m_world.root.Add(archive);
        pIcon->rc = {100, 200, 175, 260};
        m_world.root.Add(L"photos");
        return pIcon;
    }
    // An items view whose archive row has a size cell and a name cell.
    FakeNode *ItemsView(FakeNode **ppNameCell = nullptr)
    {
        m_world.root.name = kItemsView;
        m_world.root.Add(L"notes.txt")->Add(kNameCell);
        FakeNode *pItem = m_world.root.Add(L"report.zip");
        pItem->Add(kSizeCell)->ptClickable = {500, 400};
        FakeNode *pCell = pItem->Add(kNameCell);
        pCell->ptClickable = {300, 400};
        if (ppNameCell) *ppNameCell = pCell;
        return pItem;
    }
    std::vector<std::string> Clicks() const
    {
        std::vector<std::string> clicks;
        for (const std::string &event : m_world.events) {
            if (event.compare(0, 5, "mouse") == 0) clicks.push_back(event);
        }
        return clicks;
    }
    static std::vector<std::string> ClickAt(unsigned long ax, unsigned long ay)
    {
        return {"mouse 8001 " + std::to_string(ax) + " " + std::to_string(ay) + " 0 0", "mouse 2 0 0 0 0",
                "mouse 4 0 0 0 0"};
    }

    FakeWorld m_world;
    FakePlatformScope m_scope;
    LogCapture m_log;
};

TEST_F(Selection, NavigationTreeCountsAsDoneWithoutWalking)
{
    m_world.root.name = L"Namespace Tree Control";
    m_world.root.Add(L"report.zip");
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(m_world.nWalkerCalls, 0);
    EXPECT_TRUE(m_world.events.empty());
    EXPECT_EQ(m_world.hwndAskedFor, kHwndCtl);
    EXPECT_EQ(m_log.Lines(), Lines{});
}

TEST_F(Selection, ControlNamesAreRecognisedOnlyAsGiven)
{
    struct Case {
        const wchar_t *pszControl;
        int nResult;
    } aCases[] = {
        {L"namespace tree control", 1},                           // A-Z fold
        {L"Items View", 0},                                       // another language
        {L"Desktop", 0},
        {L"Namespace Tree Control ", 0},                          // length must match
        {L"\x30C7\x30B9\x30AF\x30C8\x30C3\x30D7\x0020", 0},       // デスクトップ + space
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(Narrow(c.pszControl));
        m_world.root.name = c.pszControl;
        m_world.root.children.clear();
        m_world.root.Add(L"report.zip");
        m_world.nWalkerCalls = 0;
        EXPECT_EQ(Attempt(L"report.zip"), c.nResult);
        EXPECT_EQ(m_world.nWalkerCalls, 0);
        EXPECT_TRUE(m_world.events.empty());
    }
    EXPECT_EQ(m_log.Lines(), Lines{});
}

TEST_F(Selection, DesktopIconIsSelectedAndClickedAboveItsLowerEdge)
{
    FakeNode *pIcon = Desktop();
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(pIcon->nSelects, 1);
    // x = 100 + 75 / 2 = 137, y = 260 - 5; scaled by 65535 / 1920 and 65535 / 1080.
    std::vector<std::string> expected = {"Select report.zip", "WindowFromPoint 137,255"};
    for (const std::string &click : ClickAt(4676, 15473)) expected.push_back(click);
    EXPECT_EQ(m_world.events, expected);
    EXPECT_EQ(m_log.Lines(), (Lines{"??????", "pElement->get_CurrentName->notes.txt",
                                    "pElement->get_CurrentName->report.zip", "pElement->GetCurrentPattern",
                                    "get_CurrentBoundingRectangle", "WindowFromPoint", "Success"}));
}

TEST_F(Selection, CoveredDesktopIconIsSelectedWithoutClick)
{
    FakeNode *pIcon = Desktop();
    m_world.hwndAtPoint = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x9999));
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(pIcon->nSelects, 1);
    EXPECT_EQ(m_world.events, (std::vector<std::string>{"Select report.zip", "WindowFromPoint 137,255"}));
    EXPECT_EQ(m_log.Lines(), (Lines{"??????", "pElement->get_CurrentName->notes.txt",
                                    "pElement->get_CurrentName->report.zip", "pElement->GetCurrentPattern",
                                    "get_CurrentBoundingRectangle", "WindowFromPoint"}));
}

TEST_F(Selection, DesktopIconWithoutPatternOrRectangleStillCounts)
{
    struct Case {
        const char *pszWhat;
        int pattern;
        HRESULT hrRect;
        Lines tail;   // the log after the found icon's name
        std::vector<std::string> events;
    } aCases[] = {
        {"pattern call fails", FakeNode::PATTERN_CALL_FAILS, S_OK, {"pElement->GetCurrentPattern"}, {}},
        {"no pattern object", FakeNode::PATTERN_NONE, S_OK, {"pElement->GetCurrentPattern"}, {}},
        {"not a SelectionItem pattern", FakeNode::PATTERN_WRONG_INTERFACE, S_OK, {"pElement->GetCurrentPattern"}, {}},
        {"rectangle fails", FakeNode::PATTERN_PRESENT, E_FAIL,
         {"pElement->GetCurrentPattern", "get_CurrentBoundingRectangle"}, {"Select report.zip"}},
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszWhat);
        FakeWorld world;
        FakePlatformScope scope(world);
        LogCapture log;
        world.hwndAtPoint = kHwndCtl;
        world.root.name = kDesktop;
        FakeNode *pIcon = world.root.Add(L"report.zip");
        pIcon->pattern = static_cast<decltype(pIcon->pattern)>(c.pattern);
        pIcon->hrRect = c.hrRect;
        EXPECT_EQ(Attempt(L"report.zip"), 1);
        EXPECT_EQ(world.events, c.events);
        Lines expected = {"??????", "pElement->get_CurrentName->report.zip"};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(log.Lines(), expected);
        EXPECT_EQ(world.LiveObjects(), 0);
        EXPECT_EQ(world.nOverReleases, 0);
    }
}

TEST_F(Selection, ClickPointMiddleTruncatesTowardZero)
{
    struct Case {
        RECT rc;
        const char *pszHit;
    } aCases[] = {
        {{0, 0, 1, 10}, "WindowFromPoint 0,5"},
        {{-10, 0, -3, 3}, "WindowFromPoint -7,-2"},   // (-3 - -10) / 2 = 3
        {{10, 0, 5, 0}, "WindowFromPoint 8,-5"},      // (5 - 10) / 2 = -2
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszHit);
        m_world.events.clear();
        m_world.root.children.clear();
        m_world.root.name = kDesktop;
        m_world.root.Add(L"a.zip")->rc = c.rc;
        m_world.hwndAtPoint = NULL;
        EXPECT_EQ(Attempt(L"a.zip"), 1);
        EXPECT_EQ(m_world.events, (std::vector<std::string>{"Select a.zip", c.pszHit}));
    }
}

TEST_F(Selection, ItemsViewSelectsTheItemAndClicksItsNameCell)
{
    FakeNode *pItem = ItemsView();
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(pItem->nSelects, 1);
    std::vector<std::string> expected = {"Select report.zip"};
    for (const std::string &click : ClickAt(10239, 24272)) expected.push_back(click);
    EXPECT_EQ(m_world.events, expected);   // no hit test in this case
    EXPECT_EQ(m_log.Lines(), Lines{});
}

TEST_F(Selection, NameCellPointAtOriginMeansNoClick)
{
    struct Case {
        POINT pt;
        HRESULT hr;
        std::vector<std::string> clicks;
    } aCases[] = {
        {{0, 0}, S_OK, {}},
        {{0, 7}, S_OK, ClickAt(0, 424)},
        {{7, 0}, S_OK, ClickAt(238, 0)},
        {{-8, -3}, S_OK, {}},
        {{300, 400}, E_FAIL, {}},
        {{960, 540}, S_OK, ClickAt(32767, 32767)},   // 65535 / 1920 * 960 = 32767.5
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(std::to_string(c.pt.x) + "," + std::to_string(c.pt.y));
        m_world.root.children.clear();
        m_world.events.clear();
        FakeNode *pCell = nullptr;
        FakeNode *pItem = ItemsView(&pCell);
        pCell->ptClickable = c.pt;
        pCell->hrClickable = c.hr;
        EXPECT_EQ(Attempt(L"report.zip"), 1);
        EXPECT_EQ(pItem->nSelects, 1);
        EXPECT_EQ(Clicks(), c.clicks);
    }
}

TEST_F(Selection, ItemsViewEndsWithOneWhenTheCellsCannotBeRead)
{
    struct Case {
        const char *pszWhat;
        int nSelects;
    } aCases[] = {{"item has no pattern", 0}, {"cell walk fails", 1}, {"cell name unreadable", 1}};
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszWhat);
        m_world.root.children.clear();
        m_world.events.clear();
        FakeNode *pCell = nullptr;
        FakeNode *pItem = ItemsView(&pCell);
        if (c.nSelects == 0) pItem->pattern = FakeNode::PATTERN_NONE;
        if (strcmp(c.pszWhat, "cell walk fails") == 0) pItem->hrFirstChild = E_FAIL;
        if (strcmp(c.pszWhat, "cell name unreadable") == 0) pItem->children.front()->hrName = E_FAIL;
        EXPECT_EQ(Attempt(L"report.zip"), 1);
        EXPECT_EQ(pItem->nSelects, c.nSelects);
        EXPECT_EQ(Clicks(), std::vector<std::string>{});
    }
}

TEST_F(Selection, ItemWithoutNameCellIsSelectedThenFails)
{
    FakeNode *pItem = ItemsView();
    pItem->children.pop_back();   // only the size cell is left
    EXPECT_EQ(Attempt(L"report.zip"), kFailedAttempt);
    EXPECT_EQ(pItem->nSelects, 1);
    pItem->children.clear();      // no cells at all
    EXPECT_EQ(Attempt(L"report.zip"), kFailedAttempt);
    EXPECT_EQ(pItem->nSelects, 2);
    EXPECT_EQ(Clicks(), std::vector<std::string>{});
    EXPECT_EQ(m_log.Lines(), Lines{});
}

TEST_F(Selection, NamesFoldOnlyAsciiLetters)
{
    struct Case {
        const wchar_t *pszListed;
        const wchar_t *pszSought;
        bool bFound;
    } aCases[] = {
        {L"Report.ZIP", L"report.zip", true},
        {L"report (1).zip", L"REPORT (1).ZIP", true},
        {L"\xFF52" L"eport.zip", L"report.zip", false},   // full-width r
        {L"\xFF32" L"eport.zip", L"\xFF52" L"eport.zip", false},   // full-width R and r do not fold
        {L"\x00C4.zip", L"\x00E4.zip", false},           // accented letters do not fold
        {L"report.zip ", L"report.zip", false},
        {L"report.zi", L"report.zip", false},
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(Narrow(c.pszListed) + " / " + Narrow(c.pszSought));
        for (const wchar_t *pszControl : {kDesktop, kItemsView}) {
            m_world.root.children.clear();
            m_world.root.name = pszControl;
            FakeNode *pItem = m_world.root.Add(c.pszListed);
            pItem->Add(kNameCell);
            EXPECT_EQ(Attempt(c.pszSought), c.bFound ? 1 : kFailedAttempt);
            EXPECT_EQ(pItem->nSelects, c.bFound ? 1 : 0);
        }
    }
}

TEST_F(Selection, RunningOutOfChildrenIsAFailedAttempt)
{
    Desktop();
    EXPECT_EQ(Attempt(L"other.zip"), kFailedAttempt);
    EXPECT_EQ(m_log.Lines(), (Lines{"??????", "pElement->get_CurrentName->notes.txt",
                                    "pElement->get_CurrentName->report.zip", "pElement->get_CurrentName->photos"}));
    EXPECT_TRUE(m_world.events.empty());

    m_world.root.children.clear();   // an empty list
    EXPECT_EQ(Attempt(L"other.zip"), kFailedAttempt);
    ItemsView();
    EXPECT_EQ(Attempt(L"other.zip"), kFailedAttempt);
}

TEST_F(Selection, ArchiveShowingUpLaterIsFoundByARetry)
{
    m_world.root.name = kDesktop;
    m_world.root.Add(L"notes.txt");
    EXPECT_EQ(Attempt(L"report.zip"), kFailedAttempt);
    m_world.root.Add(L"report.zip");
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(m_world.root.children.back()->nSelects, 1);
}

TEST_F(Selection, ListThatCannotBeWalkedOrReadGivesZero)
{
    struct Case {
        const char *pszWhat;
        const wchar_t *pszControl;
        Lines lines;
    } aCases[] = {
        {"desktop walk fails", kDesktop, {"??????"}},
        {"desktop name unreadable", kDesktop, {"??????", "pElement->get_CurrentName->notes.txt"}},
        {"items walk fails", kItemsView, {}},
        {"items name unreadable", kItemsView, {}},
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszWhat);
        FakeWorld world;
        FakePlatformScope scope(world);
        LogCapture log;
        world.root.name = c.pszControl;
        world.root.Add(L"notes.txt");
        world.root.Add(L"report.zip");
        if (strstr(c.pszWhat, "walk fails")) world.root.hrFirstChild = E_FAIL;
        else world.root.children[1]->hrName = E_FAIL;
        EXPECT_EQ(Attempt(L"report.zip"), 0);
        EXPECT_EQ(log.Lines(), c.lines);
        EXPECT_EQ(world.LiveObjects(), 0);
        EXPECT_EQ(world.nOverReleases, 0);
    }
}

TEST_F(Selection, AbsentNameComparesAsEmpty)
{
    m_world.root.name = kDesktop;
    m_world.root.Add(L"")->bNameAbsent = true;
    m_world.root.Add(L"report.zip");
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(m_log.Lines()[1], "pElement->get_CurrentName->");
}

TEST_F(Selection, FailingAutomationStepsAreLoggedAndGiveZero)
{
    struct Case {
        const char *pszWhat;
        Lines lines;
    } aCases[] = {
        {"create", {"CoCreateInstance NG"}},
        {"element", {"pAutomation->ElementFromHandle NG"}},
        {"walker", {"pAutomation->get_ControlViewWalker NG"}},
        {"control name", {}},
    };
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszWhat);
        FakeWorld world;
        FakePlatformScope scope(world);
        LogCapture log;
        world.root.name = kDesktop;
        world.root.Add(L"report.zip");
        std::string what = c.pszWhat;
        if (what == "create") world.hrCreate = E_FAIL;
        if (what == "element") world.hrElementFromHandle = E_FAIL;
        if (what == "walker") world.hrWalker = E_FAIL;
        if (what == "control name") world.root.hrName = E_FAIL;
        EXPECT_EQ(Attempt(L"report.zip"), 0);
        Lines lines = log.Lines();
        if (what == "create") {
            // The system text ends with its own line end, so ")" opens the next line.
            ASSERT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines[1].substr(0, 21), "Error code:80004005H(");
            EXPECT_EQ(lines[2], ")");
            lines.resize(1);
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(world.root.nSelects, 0);
        EXPECT_EQ(world.LiveObjects(), 0);
        EXPECT_EQ(world.nOverReleases, 0);
    }
}

TEST_F(Selection, ComOfAnotherApartmentIsLeftAsItWas)
{
    ASSERT_EQ(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED), S_OK);
    Desktop();
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(Attempt(L"other.zip"), kFailedAttempt);
    // Still initialised as before: a further initialisation only counts up.
    EXPECT_EQ(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST_F(Selection, OtherExceptionInTheCasesIsCaughtAndLogged)
{
    Desktop()->bNameThrows = true;
    EXPECT_EQ(Attempt(L"report.zip"), 0);
    EXPECT_EQ(m_log.Lines(), (Lines{"??????", "pElement->get_CurrentName->notes.txt", "catch(...)"}));
}

TEST_F(Selection, FaultInsidePlatformCallEndsTheAttemptOnly)
{
    struct Case {
        const char *pszWhat;
        bool bInName;
    } aCases[] = {{"null dereference in get_CurrentName", true}, {"null dereference in WindowFromPoint", false}};
    for (const Case &c : aCases) {
        SCOPED_TRACE(c.pszWhat);
        FakeWorld world;
        FakePlatformScope scope(world);
        LogCapture log;
        world.hwndAtPoint = kHwndCtl;
        world.root.name = kDesktop;
        world.root.Add(L"notes.txt");
        FakeNode *pIcon = world.root.Add(L"report.zip");
        if (c.bInName) pIcon->bNameFaults = true;
        else world.bWindowFromPointFaults = true;

        EXPECT_EQ(Attempt(L"report.zip"), kFailedAttempt);
        // What the attempt held at the fault (automation, walker, element, control name) went back.
        EXPECT_EQ(world.LiveObjects(), 0);
        EXPECT_EQ(world.nOverReleases, 0);
        EXPECT_TRUE(Clicks().empty());

        // The guard is gone and the next attempt runs normally.
        pIcon->bNameFaults = false;
        world.bWindowFromPointFaults = false;
        EXPECT_EQ(Attempt(L"report.zip"), 1);
        EXPECT_EQ(world.LiveObjects(), 0);
    }
}

volatile LONG s_nFaultsSeen = 0;

// Registered behind the attempt's guard: sees what the guard lets pass, and resumes it.
LONG CALLBACK CountAndResume(EXCEPTION_POINTERS *pInfo)
{
    if (pInfo->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&s_nFaultsSeen);
    return EXCEPTION_CONTINUE_EXECUTION;
}

TEST_F(Selection, FaultsOutsideTheAttemptOrOnOtherThreadsAreNotTaken)
{
    PVOID hHandler = AddVectoredExceptionHandler(0, CountAndResume);
    ASSERT_NE(hHandler, nullptr);
    s_nFaultsSeen = 0;

    // During an attempt, on another thread.
    FakeNode *pIcon = Desktop();
    m_world.root.children.front()->bNameRaisesElsewhere = true;
    EXPECT_EQ(Attempt(L"report.zip"), 1);
    EXPECT_EQ(pIcon->nSelects, 1);
    EXPECT_EQ(s_nFaultsSeen, 1);

    // After an attempt, on this thread.
    RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, NULL);
    EXPECT_EQ(s_nFaultsSeen, 2);
    RemoveVectoredExceptionHandler(hHandler);
}

// The vtable slots of the declared interfaces, as the system's IDL orders them.
template <class F> ptrdiff_t SlotOf(F pmf)
{
    ptrdiff_t offset;
    memcpy(&offset, &pmf, sizeof(offset));   // Itanium ABI: 1 + byte offset for a virtual member
    return (offset - 1) / static_cast<ptrdiff_t>(sizeof(void *));
}

TEST(UiaClientDeclarations, MethodsSitInTheirSystemSlots)
{
    EXPECT_EQ(SlotOf(&IUIAutomation::ElementFromHandle), 6);
    EXPECT_EQ(SlotOf(&IUIAutomation::get_ControlViewWalker), 14);
    EXPECT_EQ(SlotOf(&IUIAutomationElement::GetCurrentPattern), 16);
    EXPECT_EQ(SlotOf(&IUIAutomationElement::get_CurrentName), 23);
    EXPECT_EQ(SlotOf(&IUIAutomationElement::get_CurrentBoundingRectangle), 43);
    EXPECT_EQ(SlotOf(&IUIAutomationElement::GetClickablePoint), 84);
    EXPECT_EQ(SlotOf(&IUIAutomationTreeWalker::GetFirstChildElement), 4);
    EXPECT_EQ(SlotOf(&IUIAutomationTreeWalker::GetNextSiblingElement), 6);
    EXPECT_EQ(SlotOf(&IUIAutomationSelectionItemPattern::Select), 3);
}

// Wine's own platform: no automation object, and no foreground window for a console program.
TEST(RealPlatform, SelectionWithoutAutomationObjectLogsAndGivesZero)
{
    LogCapture log;
    g_hwndCtl = NULL;
    EXPECT_EQ(SelectItemInExplorer(L"report.zip"), 0);
    EXPECT_EQ(log.Lines(), (Lines{"CoCreateInstance NG", "Error code:80040154H"}));
}

// The foreground window is one per session, and CTest runs test cases side by side: the
// capture tests take turns through a lock shared by their processes.
class Capture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hLock = CreateMutexW(NULL, FALSE, L"Local\\kolbrin-foreground-tests");
        ASSERT_NE(m_hLock, (HANDLE)NULL);
        DWORD dwWait = WaitForSingleObject(m_hLock, 60000);
        ASSERT_TRUE(dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED);
        g_hwndCtl = NULL;
        UnregisterClassW(L"my_uiauto_MainWClass", GetModuleHandleW(NULL));
    }
    void TearDown() override
    {
        g_hwndCtl = NULL;
        UnregisterClassW(L"my_uiauto_MainWClass", GetModuleHandleW(NULL));
        if (m_hLock != NULL) {
            ReleaseMutex(m_hLock);
            CloseHandle(m_hLock);
        }
    }
    HANDLE m_hLock = NULL;
};

TEST_F(Capture, WhateverIsInFrontIsLoggedFirst)
{
    // Under Wine the desktop window of another process is usually in front here.
    HWND hwndForeground = GetForegroundWindow();
    LogCapture log;
    CaptureFocusedControl();
    Lines lines = log.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "hwndForeground=" + std::to_string(HandleToLong(hwndForeground)));
    EXPECT_LE(lines.size(), 2u);
    if (lines.size() == 2) {
        EXPECT_EQ(lines[1], "g_hwndCtl=" + std::to_string(HandleToLong(g_hwndCtl)));
    }
}

TEST_F(Capture, NoForegroundWindowLeavesTheControlUnset)
{
    // A window of ours brought to the front and destroyed leaves no foreground window.
    HWND hwndMain = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, NULL,
                                    NULL, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(hwndMain, (HWND)NULL);
    SetForegroundWindow(hwndMain);
    DestroyWindow(hwndMain);
    HWND hwndForeground = GetForegroundWindow();
    if (hwndForeground != NULL) {
        WCHAR szClass[64] = {0};
        GetClassNameW(hwndForeground, szClass, 64);
        GTEST_SKIP() << "a foreground window remains: " << Narrow(szClass);
    }
    LogCapture log;
    CaptureFocusedControl();
    EXPECT_EQ(g_hwndCtl, (HWND)NULL);
    EXPECT_EQ(log.Lines(), Lines{"hwndForeground=0"});
}

TEST_F(Capture, ProbeClassIsRegisteredAsDescribed)
{
    ATOM atom = RegisterProbeClass(GetModuleHandleW(NULL));
    ASSERT_NE(atom, 0);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(NULL), L"my_uiauto_MainWClass", &wc));
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(6)));
    EXPECT_EQ(wc.hCursor, LoadCursorW(NULL, IDC_ARROW));
    EXPECT_EQ(wc.hIcon, (HICON)NULL);
    // A second registration of the same class fails.
    EXPECT_EQ(RegisterProbeClass(GetModuleHandleW(NULL)), 0);
}

TEST_F(Capture, FocusedControlOfTheForegroundWindowIsRecorded)
{
    HWND hwndMain = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, NULL,
                                    NULL, GetModuleHandleW(NULL), NULL);
    ASSERT_NE(hwndMain, (HWND)NULL);
    HWND hwndEdit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, hwndMain, NULL,
                                    GetModuleHandleW(NULL), NULL);
    SetForegroundWindow(hwndMain);
    SetFocus(hwndEdit);
    if (GetForegroundWindow() != hwndMain) {
        DestroyWindow(hwndMain);
        GTEST_SKIP() << "the window did not come to the foreground";
    }
    {
        LogCapture log;
        CaptureFocusedControl();
        EXPECT_EQ(g_hwndCtl, hwndEdit);
        EXPECT_EQ(log.Lines(), (Lines{"hwndForeground=" + std::to_string(HandleToLong(hwndMain)),
                                      "g_hwndCtl=" + std::to_string(HandleToLong(hwndEdit))}));
    }
    // The probe window is gone again.
    EXPECT_EQ(FindWindowExW(hwndMain, NULL, L"my_uiauto_MainWClass", NULL), (HWND)NULL);
    DestroyWindow(hwndMain);
}

}  // namespace
