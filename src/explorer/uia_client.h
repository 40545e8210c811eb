// The few UI Automation client interfaces the Explorer selection calls, declared here because
// the mingw-w64 headers lack them. Every method sits in its system vtable slot; slots this
// program never calls are placeholders, and slots after the last one used are left out.
#pragma once

#include <windows.h>
#include <ole2.h>

// {FF48DBA4-60EF-4201-AA87-54103EEF594E}
static const CLSID CLSID_KolbrinCUIAutomation = {
    0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
// {30CBE57D-D9D0-452A-AB13-7AC5AC4825EE}
static const IID IID_KolbrinIUIAutomation = {
    0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
// {D22108AA-8AC5-49A5-837B-37BBB3D7591E}
static const IID IID_KolbrinIUIAutomationElement = {
    0xd22108aa, 0x8ac5, 0x49a5, {0x83, 0x7b, 0x37, 0xbb, 0xb3, 0xd7, 0x59, 0x1e}};
// {4042C624-389C-4AFC-A630-9DF854A541FC}
static const IID IID_KolbrinIUIAutomationTreeWalker = {
    0x4042c624, 0x389c, 0x4afc, {0xa6, 0x30, 0x9d, 0xf8, 0x54, 0xa5, 0x41, 0xfc}};
// {A8EFA66A-0FDA-421A-9194-38021F3578EA}
static const IID IID_KolbrinIUIAutomationSelectionItemPattern = {
    0xa8efa66a, 0x0fda, 0x421a, {0x91, 0x94, 0x38, 0x02, 0x1f, 0x35, 0x78, 0xea}};

enum { UIA_SELECTION_ITEM_PATTERN_ID = 10010 };

// Placeholder slots: never called, only keeping the later methods where the system has them.
// The lists name them after the methods they stand for; a test double can stamp them out too.
#define UIA_PLACEHOLDER_DECLARE(name) virtual HRESULT STDMETHODCALLTYPE name(void) = 0;

// IUIAutomationElement slots 3-15, before GetCurrentPattern.
#define UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_PATTERN(X)                                              \
    X(SetFocus) X(GetRuntimeId) X(FindFirst) X(FindAll) X(FindFirstBuildCache) X(FindAllBuildCache) \
    X(BuildUpdatedCache) X(GetCurrentPropertyValue) X(GetCurrentPropertyValueEx)                    \
    X(GetCachedPropertyValue) X(GetCachedPropertyValueEx) X(GetCurrentPatternAs) X(GetCachedPatternAs)

// Slots 17-22, between GetCurrentPattern and get_CurrentName.
#define UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_NAME(X)                                                 \
    X(GetCachedPattern) X(GetCachedParent) X(GetCachedChildren) X(get_CurrentProcessId)             \
    X(get_CurrentControlType) X(get_CurrentLocalizedControlType)

// Slots 24-42, between get_CurrentName and get_CurrentBoundingRectangle.
#define UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_BOUNDING_RECTANGLE(X)                                   \
    X(get_CurrentAcceleratorKey) X(get_CurrentAccessKey) X(get_CurrentHasKeyboardFocus)             \
    X(get_CurrentIsKeyboardFocusable) X(get_CurrentIsEnabled) X(get_CurrentAutomationId)            \
    X(get_CurrentClassName) X(get_CurrentHelpText) X(get_CurrentCulture)                            \
    X(get_CurrentIsControlElement) X(get_CurrentIsContentElement) X(get_CurrentIsPassword)          \
    X(get_CurrentNativeWindowHandle) X(get_CurrentItemType) X(get_CurrentIsOffscreen)               \
    X(get_CurrentOrientation) X(get_CurrentFrameworkId) X(get_CurrentIsRequiredForForm)             \
    X(get_CurrentItemStatus)

// Slots 44-83, between get_CurrentBoundingRectangle and GetClickablePoint.
#define UIA_ELEMENT_SLOTS_BEFORE_GET_CLICKABLE_POINT(X)                                              \
    X(get_CurrentLabeledBy) X(get_CurrentAriaRole) X(get_CurrentAriaProperties)                     \
    X(get_CurrentIsDataValidForForm) X(get_CurrentControllerFor) X(get_CurrentDescribedBy)          \
    X(get_CurrentFlowsTo) X(get_CurrentProviderDescription) X(get_CachedProcessId)                  \
    X(get_CachedControlType) X(get_CachedLocalizedControlType) X(get_CachedName)                    \
    X(get_CachedAcceleratorKey) X(get_CachedAccessKey) X(get_CachedHasKeyboardFocus)                \
    X(get_CachedIsKeyboardFocusable) X(get_CachedIsEnabled) X(get_CachedAutomationId)               \
    X(get_CachedClassName) X(get_CachedHelpText) X(get_CachedCulture)                               \
    X(get_CachedIsControlElement) X(get_CachedIsContentElement) X(get_CachedIsPassword)             \
    X(get_CachedNativeWindowHandle) X(get_CachedItemType) X(get_CachedIsOffscreen)                  \
    X(get_CachedOrientation) X(get_CachedFrameworkId) X(get_CachedIsRequiredForForm)                \
    X(get_CachedItemStatus) X(get_CachedBoundingRectangle) X(get_CachedLabeledBy)                   \
    X(get_CachedAriaRole) X(get_CachedAriaProperties) X(get_CachedIsDataValidForForm)               \
    X(get_CachedControllerFor) X(get_CachedDescribedBy) X(get_CachedFlowsTo)                        \
    X(get_CachedProviderDescription)

// IUIAutomation slots 3-5, before ElementFromHandle, and 7-13, before get_ControlViewWalker.
#define UIA_AUTOMATION_SLOTS_BEFORE_ELEMENT_FROM_HANDLE(X) X(CompareElements) X(CompareRuntimeIds) X(GetRootElement)
#define UIA_AUTOMATION_SLOTS_BEFORE_GET_CONTROL_VIEW_WALKER(X)                                       \
    X(ElementFromPoint) X(GetFocusedElement) X(GetRootElementBuildCache) X(ElementFromHandleBuildCache) \
    X(ElementFromPointBuildCache) X(GetFocusedElementBuildCache) X(CreateTreeWalker)

// IUIAutomationTreeWalker slot 3, before GetFirstChildElement, and 5, before GetNextSiblingElement.
#define UIA_WALKER_SLOTS_BEFORE_GET_FIRST_CHILD_ELEMENT(X) X(GetParentElement)
#define UIA_WALKER_SLOTS_BEFORE_GET_NEXT_SIBLING_ELEMENT(X) X(GetLastChildElement)

struct IUIAutomationElement : public IUnknown {
    UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_PATTERN(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPattern(int patternId, IUnknown **ppPatternObject) = 0;   // 16
    UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_NAME(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE get_CurrentName(BSTR *pbstrName) = 0;                                // 23
    UIA_ELEMENT_SLOTS_BEFORE_GET_CURRENT_BOUNDING_RECTANGLE(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE get_CurrentBoundingRectangle(RECT *pRect) = 0;                       // 43
    UIA_ELEMENT_SLOTS_BEFORE_GET_CLICKABLE_POINT(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE GetClickablePoint(POINT *pPoint, BOOL *pbGotClickable) = 0;          // 84
};

struct IUIAutomationTreeWalker : public IUnknown {
    UIA_WALKER_SLOTS_BEFORE_GET_FIRST_CHILD_ELEMENT(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE GetFirstChildElement(IUIAutomationElement *pElement,
                                                           IUIAutomationElement **ppFirst) = 0;          // 4
    UIA_WALKER_SLOTS_BEFORE_GET_NEXT_SIBLING_ELEMENT(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE GetNextSiblingElement(IUIAutomationElement *pElement,
                                                            IUIAutomationElement **ppNext) = 0;          // 6
};

struct IUIAutomation : public IUnknown {
    UIA_AUTOMATION_SLOTS_BEFORE_ELEMENT_FROM_HANDLE(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle(void *hwnd, IUIAutomationElement **ppElement) = 0;  // 6
    UIA_AUTOMATION_SLOTS_BEFORE_GET_CONTROL_VIEW_WALKER(UIA_PLACEHOLDER_DECLARE)
    virtual HRESULT STDMETHODCALLTYPE get_ControlViewWalker(IUIAutomationTreeWalker **ppWalker) = 0;      // 14
};

struct IUIAutomationSelectionItemPattern : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Select(void) = 0;   // 3
};
