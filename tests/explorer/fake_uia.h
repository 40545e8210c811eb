// A fake UI Automation tree standing in for Explorer: in-process COM objects behind the
// declared interfaces, described by a test, counting every reference handed out.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "explorer/explorer_select.h"

// One element of the tree, with what its calls answer.
struct FakeNode {
    std::wstring name;
    HRESULT hrName = S_OK;               // a failure makes get_CurrentName fail
    bool bNameAbsent = false;            // get_CurrentName succeeds with no string
    bool bNameFaults = false;            // get_CurrentName dereferences a null pointer
    bool bNameThrows = false;            // get_CurrentName throws a C++ exception
    bool bNameRaisesElsewhere = false;   // get_CurrentName waits for another thread that raises a fault
    HRESULT hrFirstChild = S_OK;         // GetFirstChildElement on this node
    enum { PATTERN_PRESENT, PATTERN_CALL_FAILS, PATTERN_NONE, PATTERN_WRONG_INTERFACE } pattern = PATTERN_PRESENT;
    RECT rc = {0, 0, 0, 0};
    HRESULT hrRect = S_OK;
    POINT ptClickable = {0, 0};
    HRESULT hrClickable = S_OK;
    std::vector<std::unique_ptr<FakeNode>> children;
    FakeNode *pParent = nullptr;
    int nSelects = 0;

    FakeNode *Add(const std::wstring &childName);
};

// The tree, the fake platform calls and everything recorded while they ran.
struct FakeWorld {
    FakeNode root;
    HRESULT hrCreate = S_OK;              // CoCreateInstance
    HRESULT hrElementFromHandle = S_OK;
    HRESULT hrWalker = S_OK;
    HWND hwndAtPoint = NULL;              // WindowFromPoint's answer
    bool bWindowFromPointFaults = false;
    int cxScreen = 1920;
    int cyScreen = 1080;

    // Recorded.
    std::vector<std::string> events;      // "Select <name>", "WindowFromPoint x,y", "mouse flags dx dy"
    int nWalkerCalls = 0;
    HWND hwndAskedFor = NULL;
    int nCreated = 0;                     // COM objects made
    int nOverReleases = 0;                // Release on an object already at zero
    int nCallsOnDead = 0;                 // calls on an object already at zero
    std::vector<class FakeObject *> objects;

    FakeWorld();
    ~FakeWorld();
    // Objects whose references were not all given back.
    int LiveObjects() const;
};

// Points g_ExplorerPlatform at the fakes of `world` for its lifetime (scopes nest).
class FakePlatformScope {
public:
    explicit FakePlatformScope(FakeWorld &world);
    ~FakePlatformScope();

private:
    ExplorerPlatform m_saved;
    FakeWorld *m_pSavedWorld;
};

std::string Narrow(const std::wstring &text);
