#pragma once

// The UI Automation client's COM interfaces, as far as this program calls them. MinGW-w64's
// uiautomationclient.h brings only the identifiers' numbers, so the interfaces are declared
// here: the slots before the last one called keep their places in the tables (unused ones
// unnamed), the rest is left out.
#include <oaidl.h>
#include <unknwn.h>
#include <windows.h>

namespace platform {

struct UiaCondition : IUnknown {};

struct UiaElement;

struct UiaElementArray : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Length(int* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElement(int index, UiaElement** element) = 0;
};

struct UiaElement : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFocus() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeId(SAFEARRAY** runtimeId) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirst(int scope, UiaCondition* condition,
                                                UiaElement** found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAll(int scope, UiaCondition* condition,
                                              UiaElementArray** found) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFirstBuildCache(int, UiaCondition*, IUnknown*,
                                                          UiaElement**) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAllBuildCache(int, UiaCondition*, IUnknown*,
                                                        UiaElementArray**) = 0;
    virtual HRESULT STDMETHODCALLTYPE BuildUpdatedCache(IUnknown*, UiaElement**) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentPropertyValue(int propertyId, VARIANT* value) = 0;
};

// IUIAutomation: 55 slots after IUnknown's; IUIAutomation2 adds the time-outs after them.
struct UiaAutomation : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CompareElements(UiaElement*, UiaElement*, BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareRuntimeIds(SAFEARRAY*, SAFEARRAY*, BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootElement(UiaElement**) = 0;
    virtual HRESULT STDMETHODCALLTYPE ElementFromHandle(HWND window, UiaElement** element) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot11() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot12() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot13() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot14() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot15() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot16() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot17() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot18() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot19() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot20() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreatePropertyCondition(int propertyId, VARIANT value,
                                                              UiaCondition** condition) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot22() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateAndCondition(UiaCondition* first, UiaCondition* second,
                                                         UiaCondition** condition) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot24() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot25() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateOrCondition(UiaCondition* first, UiaCondition* second,
                                                        UiaCondition** condition) = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot27() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot28() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot29() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot30() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot31() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot32() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot33() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot34() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot35() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot36() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot37() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot38() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot39() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot40() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot41() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot42() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot43() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot44() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot45() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot46() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot47() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot48() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot49() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot50() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot51() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot52() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot53() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot54() = 0;
    virtual HRESULT STDMETHODCALLTYPE Slot55() = 0;
};

struct UiaAutomation2 : UiaAutomation {
    virtual HRESULT STDMETHODCALLTYPE get_AutoSetFocus(BOOL*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AutoSetFocus(BOOL) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ConnectionTimeout(DWORD*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ConnectionTimeout(DWORD timeoutMs) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TransactionTimeout(DWORD*) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TransactionTimeout(DWORD timeoutMs) = 0;
};

// {ff48dba4-60ef-4201-aa87-54103eef594e}, {e22ad333-b25f-460c-83d0-0581107395c9}
inline constexpr CLSID kUiaClassAutomation = {
    0xff48dba4, 0x60ef, 0x4201, {0xaa, 0x87, 0x54, 0x10, 0x3e, 0xef, 0x59, 0x4e}};
inline constexpr CLSID kUiaClassAutomation8 = {
    0xe22ad333, 0xb25f, 0x460c, {0x83, 0xd0, 0x05, 0x81, 0x10, 0x73, 0x95, 0xc9}};
// IUIAutomation, IUIAutomation2.
inline constexpr IID kUiaAutomationId = {
    0x30cbe57d, 0xd9d0, 0x452a, {0xab, 0x13, 0x7a, 0xc5, 0xac, 0x48, 0x25, 0xee}};
inline constexpr IID kUiaAutomation2Id = {
    0x34723aff, 0x0c9d, 0x49d0, {0x98, 0x96, 0x7a, 0xb5, 0x2d, 0xf8, 0xcd, 0x8a}};

inline constexpr int kUiaTreeScopeDescendants = 0x04;
inline constexpr int kUiaEditControlType = 50004;
inline constexpr int kUiaProcessIdProperty = 30002;
inline constexpr int kUiaControlTypeProperty = 30003;
inline constexpr int kUiaNameProperty = 30005;
inline constexpr int kUiaIsEnabledProperty = 30010;
inline constexpr int kUiaClassNameProperty = 30012;
inline constexpr int kUiaIsOffscreenProperty = 30022;
inline constexpr int kUiaValueProperty = 30045;

} // namespace platform
