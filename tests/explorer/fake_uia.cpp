// The fake UI Automation objects and platform calls behind the Explorer selection tests.
#include "fake_uia.h"

#include <stdio.h>

#include <stdexcept>

static FakeWorld *s_pWorld = nullptr;

FakeNode *FakeNode::Add(const std::wstring &childName)
{
    children.push_back(std::make_unique<FakeNode>());
    FakeNode *pChild = children.back().get();
    pChild->name = childName;
    pChild->pParent = this;
    return pChild;
}

std::string Narrow(const std::wstring &text)
{
    std::string out;
    for (WCHAR ch : text) out += ch < 0x80 ? static_cast<char>(ch) : '?';
    return out;
}

// Reference counting shared by every fake object. Objects stay allocated until the world
// ends, so a release too many or a call after the last release is counted, not a crash.
class FakeObject {
public:
    explicit FakeObject(FakeWorld &world) : m_world(world)
    {
        world.objects.push_back(this);
        world.nCreated++;
    }
    virtual ~FakeObject() = default;
    ULONG DoAddRef()
    {
        if (m_nRefs == 0) m_world.nCallsOnDead++;
        return ++m_nRefs;
    }
    ULONG DoRelease()
    {
        if (m_nRefs == 0) {
            m_world.nOverReleases++;
            return 0;
        }
        return --m_nRefs;
    }
    void CheckAlive()
    {
        if (m_nRefs == 0) m_world.nCallsOnDead++;
    }
    LONG Refs() const { return m_nRefs; }

protected:
    FakeWorld &m_world;
    LONG m_nRefs = 1;
};

#define FAKE_PLACEHOLDER(name) \
    HRESULT STDMETHODCALLTYPE name(void) override { return E_NOTIMPL; }

#define FAKE_IUNKNOWN(Interface, iid)                                                      \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override             \
    {                                                                                      \
        CheckAlive();                                                                      \
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid)) {                     \
            *ppv = static_cast<Interface *>(this);                                         \
            DoAddRef();                                                                    \
            return S_OK;                                                                   \
        }                                                                                  \
        *ppv = nullptr;                                                                    \
        return E_NOINTERFACE;                                                              \
    }                                                                                      \
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }                       \
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

class FakePattern : public FakeObject, public IUIAutomationSelectionItemPattern {
public:
    FakePattern(FakeWorld &world, FakeNode *pNode, REFIID iid) : FakeObject(world), m_pNode(pNode), m_iid(iid) {}
    FAKE_IUNKNOWN(IUIAutomationSelectionItemPattern, m_iid)
    HRESULT STDMETHODCALLTYPE Select() override
    {
        CheckAlive();
        m_pNode->nSelects++;
        m_world.events.push_back("Select " + Narrow(m_pNode->name));
        return S_OK;
    }

private:
    FakeNode *m_pNode;
    IID m_iid;
};

// A continuable access violation, for a handler of the test's own to resume.
static DWORD WINAPI RaiseAccessViolation(LPVOID)
{
    RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, NULL);
    return 0;
}

class FakeElement : public FakeObject, public IUIAutomationElement {
public:
    FakeElement(FakeWorld &world, FakeNode *pNode) : FakeObject(world), m_pNode(pNode) {}
    FakeNode *Node() const { return m_pNode; }
    FAKE_IUNKNOWN(IUIAutomationElement, IID_KolbrinIUIAutomationElement)
    UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_PATTERN(FAKE_PLACEHOLDER)
    UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_NAME(FAKE_PLACEHOLDER)
    UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_BOUNDING_RECTANGLE(FAKE_PLACEHOLDER)
    UIA_ELEMENT_SLOTS_BEFORE_GET_CLICKABLE_POINT(FAKE_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE GetCurrentPattern(int patternId, IUnknown **ppPatternObject) override
    {
        CheckAlive();
        *ppPatternObject = nullptr;
        if (patternId != UIA_SELECTION_ITEM_PATTERN_ID) return E_INVALIDARG;
        switch (m_pNode->pattern) {
        case FakeNode::PATTERN_CALL_FAILS: return E_FAIL;
        case FakeNode::PATTERN_NONE: return S_OK;
        case FakeNode::PATTERN_WRONG_INTERFACE:
            *ppPatternObject = static_cast<IUIAutomationSelectionItemPattern *>(
                new FakePattern(m_world, m_pNode, IID_IDispatch));
            return S_OK;
        default:
            *ppPatternObject = static_cast<IUIAutomationSelectionItemPattern *>(
                new FakePattern(m_world, m_pNode, IID_KolbrinIUIAutomationSelectionItemPattern));
            return S_OK;
        }
    }
    HRESULT STDMETHODCALLTYPE get_CurrentName(BSTR *pbstrName) override
    {
        CheckAlive();
        *pbstrName = nullptr;
        if (m_pNode->bNameFaults) {
            int *volatile pNull = nullptr;
            *pNull = 1;
        }
        if (m_pNode->bNameThrows) throw std::runtime_error("name");
        if (m_pNode->bNameRaisesElsewhere) {
            HANDLE hThread = CreateThread(NULL, 0, RaiseAccessViolation, NULL, 0, NULL);
            WaitForSingleObject(hThread, INFINITE);
            CloseHandle(hThread);
        }
        if (FAILED(m_pNode->hrName)) return m_pNode->hrName;
        if (!m_pNode->bNameAbsent) {
            *pbstrName = SysAllocStringLen(m_pNode->name.data(), static_cast<UINT>(m_pNode->name.size()));
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CurrentBoundingRectangle(RECT *pRect) override
    {
        CheckAlive();
        if (FAILED(m_pNode->hrRect)) return m_pNode->hrRect;
        *pRect = m_pNode->rc;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClickablePoint(POINT *pPoint, BOOL *pbGotClickable) override
    {
        CheckAlive();
        if (FAILED(m_pNode->hrClickable)) return m_pNode->hrClickable;
        *pPoint = m_pNode->ptClickable;
        *pbGotClickable = FALSE;   // never consulted
        return S_OK;
    }

private:
    FakeNode *m_pNode;
};

class FakeWalker : public FakeObject, public IUIAutomationTreeWalker {
public:
    explicit FakeWalker(FakeWorld &world) : FakeObject(world) {}
    FAKE_IUNKNOWN(IUIAutomationTreeWalker, IID_KolbrinIUIAutomationTreeWalker)
    UIA_WALKER_SLOTS_BEFORE_GET_FIRST_CHILD_ELEMENT(FAKE_PLACEHOLDER)
    UIA_WALKER_SLOTS_BEFORE_GET_NEXT_SIBLING_ELEMENT(FAKE_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE GetFirstChildElement(IUIAutomationElement *pElement,
                                                   IUIAutomationElement **ppFirst) override
    {
        CheckAlive();
        m_world.nWalkerCalls++;
        *ppFirst = nullptr;
        FakeElement *pFake = static_cast<FakeElement *>(pElement);
        pFake->CheckAlive();
        FakeNode *pNode = pFake->Node();
        if (FAILED(pNode->hrFirstChild)) return pNode->hrFirstChild;
        if (!pNode->children.empty()) *ppFirst = new FakeElement(m_world, pNode->children.front().get());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNextSiblingElement(IUIAutomationElement *pElement,
                                                    IUIAutomationElement **ppNext) override
    {
        CheckAlive();
        m_world.nWalkerCalls++;
        *ppNext = nullptr;
        FakeElement *pFake = static_cast<FakeElement *>(pElement);
        pFake->CheckAlive();
        FakeNode *pNode = pFake->Node();
        FakeNode *pParent = pNode->pParent;
        if (pParent == nullptr) return S_OK;
        for (size_t i = 0; i + 1 < pParent->children.size(); i++) {
            if (pParent->children[i].get() == pNode) {
                *ppNext = new FakeElement(m_world, pParent->children[i + 1].get());
                break;
            }
        }
        return S_OK;
    }
};

class FakeAutomation : public FakeObject, public IUIAutomation {
public:
    explicit FakeAutomation(FakeWorld &world) : FakeObject(world) {}
    FAKE_IUNKNOWN(IUIAutomation, IID_KolbrinIUIAutomation)
    UIA_AUTOMATION_SLOTS_BEFORE_ELEMENT_FROM_HANDLE(FAKE_PLACEHOLDER)
    UIA_AUTOMATION_SLOTS_BEFORE_GET_CONTROL_VIEW_WALKER(FAKE_PLACEHOLDER)

    HRESULT STDMETHODCALLTYPE ElementFromHandle(void *hwnd, IUIAutomationElement **ppElement) override
    {
        CheckAlive();
        m_world.hwndAskedFor = static_cast<HWND>(hwnd);
        *ppElement = nullptr;
        if (FAILED(m_world.hrElementFromHandle)) return m_world.hrElementFromHandle;
        *ppElement = new FakeElement(m_world, &m_world.root);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ControlViewWalker(IUIAutomationTreeWalker **ppWalker) override
    {
        CheckAlive();
        *ppWalker = nullptr;
        if (FAILED(m_world.hrWalker)) return m_world.hrWalker;
        *ppWalker = new FakeWalker(m_world);
        return S_OK;
    }
};

FakeWorld::FakeWorld() {}

FakeWorld::~FakeWorld()
{
    for (FakeObject *pObject : objects) delete pObject;
}

int FakeWorld::LiveObjects() const
{
    int n = 0;
    for (FakeObject *pObject : objects) {
        if (pObject->Refs() != 0) n++;
    }
    return n;
}

static HRESULT WINAPI FakeCoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                           LPVOID *ppv)
{
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_KolbrinCUIAutomation) || pUnkOuter != nullptr ||
        dwClsContext != CLSCTX_INPROC_SERVER || !IsEqualIID(riid, IID_KolbrinIUIAutomation)) {
        return E_INVALIDARG;
    }
    if (FAILED(s_pWorld->hrCreate)) return s_pWorld->hrCreate;
    *ppv = static_cast<IUIAutomation *>(new FakeAutomation(*s_pWorld));
    return S_OK;
}

static HWND WINAPI FakeWindowFromPoint(POINT pt)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "WindowFromPoint %ld,%ld", static_cast<long>(pt.x), static_cast<long>(pt.y));
    s_pWorld->events.push_back(sz);
    if (s_pWorld->bWindowFromPointFaults) {
        int *volatile pNull = nullptr;
        return reinterpret_cast<HWND>(static_cast<INT_PTR>(*pNull));
    }
    return s_pWorld->hwndAtPoint;
}

static int WINAPI FakeGetSystemMetrics(int nIndex)
{
    if (nIndex == SM_CXSCREEN) return s_pWorld->cxScreen;
    if (nIndex == SM_CYSCREEN) return s_pWorld->cyScreen;
    return 0;
}

static void WINAPI FakeMouseEvent(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, ULONG_PTR dwExtraInfo)
{
    char sz[96];
    snprintf(sz, sizeof(sz), "mouse %lx %lu %lu %lu %lu", static_cast<unsigned long>(dwFlags),
             static_cast<unsigned long>(dx), static_cast<unsigned long>(dy), static_cast<unsigned long>(dwData),
             static_cast<unsigned long>(dwExtraInfo));
    s_pWorld->events.push_back(sz);
}

FakePlatformScope::FakePlatformScope(FakeWorld &world) : m_saved(g_ExplorerPlatform), m_pSavedWorld(s_pWorld)
{
    s_pWorld = &world;
    g_ExplorerPlatform.pfnCoCreateInstance = FakeCoCreateInstance;
    g_ExplorerPlatform.pfnWindowFromPoint = FakeWindowFromPoint;
    g_ExplorerPlatform.pfnGetSystemMetrics = FakeGetSystemMetrics;
    g_ExplorerPlatform.pfnMouseEvent = FakeMouseEvent;
}

FakePlatformScope::~FakePlatformScope()
{
    g_ExplorerPlatform = m_saved;
    s_pWorld = m_pSavedWorld;
}
