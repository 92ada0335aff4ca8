#include "platform/win/uia_tree.h"

#include "platform/win/uia_client.h"

#include <objbase.h>
#include <oleauto.h>
#include <utility>

namespace platform {
namespace {

// Releases a COM interface with its holder.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For a call that gives a new reference.
    T** Out() {
        Reset();
        return &m_pointer;
    }
    void Reset() {
        if (m_pointer) {
            m_pointer->Release();
            m_pointer = nullptr;
        }
    }

private:
    T* m_pointer = nullptr;
};

// A VARIANT cleared with its holder.
struct Variant {
    Variant() { ::VariantInit(&value); }
    ~Variant() { ::VariantClear(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT value;
};

VARIANT IntegerVariant(int number) {
    VARIANT variant;
    ::VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = number;
    return variant;
}

} // namespace

struct UiaTree::Impl {
    explicit Impl(WaitBudget& budget) : budget(budget) {}

    // The client, made at the first request; false for good when it cannot be.
    bool Start() {
        if (started) {
            return automation != nullptr;
        }
        started = true;
        const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // Already set up otherwise on this thread (RPC_E_CHANGED_MODE) is as good.
        comInitialized = SUCCEEDED(init);
        void* object = nullptr;
        if (SUCCEEDED(::CoCreateInstance(kUiaClassAutomation8, nullptr, CLSCTX_INPROC_SERVER,
                                         kUiaAutomation2Id, &object))) {
            automation = static_cast<UiaAutomation*>(static_cast<UiaAutomation2*>(object));
            timeouts = static_cast<UiaAutomation2*>(object);
        } else if (SUCCEEDED(::CoCreateInstance(kUiaClassAutomation, nullptr, CLSCTX_INPROC_SERVER,
                                                kUiaAutomationId, &object))) {
            automation = static_cast<UiaAutomation*>(object);
        }
        return automation != nullptr;
    }

    // Asks the budget for the process; sets the client's time-outs to what it allows.
    int Allow(quint32 processId) {
        const int allowance = budget.Allowance(processId);
        if (allowance > 0 && timeouts) {
            timeouts->put_ConnectionTimeout(static_cast<DWORD>(allowance));
            timeouts->put_TransactionTimeout(static_cast<DWORD>(allowance));
        }
        return allowance;
    }

    ComPtr<UiaCondition> StringCondition(int property, const QString& text) {
        ComPtr<UiaCondition> condition;
        VARIANT value;
        ::VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()),
                                            static_cast<UINT>(text.size()));
        if (value.bstrVal) {
            automation->CreatePropertyCondition(property, value, condition.Out());
        }
        ::VariantClear(&value);
        return condition;
    }

    WaitBudget& budget;
    bool started = false;
    bool comInitialized = false;
    UiaAutomation* automation = nullptr;
    UiaAutomation2* timeouts = nullptr; // the same object, where it has them
};

namespace {

class UiaEditElement final : public AutomationElement {
public:
    // Takes the reference.
    UiaEditElement(UiaTree::Impl& tree, UiaElement* element, quint32 processId)
        : m_tree(tree), m_element(element), m_processId(processId) {}
    ~UiaEditElement() override { m_element->Release(); }
    UiaEditElement(const UiaEditElement&) = delete;
    UiaEditElement& operator=(const UiaEditElement&) = delete;

    std::optional<QVariant> Read(Property property) override {
        const int allowance = m_tree.Allow(m_processId);
        if (allowance <= 0) {
            return std::nullopt;
        }
        Variant value;
        const qint64 started = m_tree.budget.NowMs();
        const HRESULT result =
            m_element->GetCurrentPropertyValue(PropertyId(property), &value.value);
        m_tree.budget.Account(m_processId, started, SUCCEEDED(result));
        if (FAILED(result)) {
            return std::nullopt;
        }
        return Convert(value.value);
    }

private:
    static int PropertyId(Property property) {
        switch (property) {
        case Property::Name:
            return kUiaNameProperty;
        case Property::ClassName:
            return kUiaClassNameProperty;
        case Property::Value:
            return kUiaValueProperty;
        case Property::ProcessId:
            return kUiaProcessIdProperty;
        case Property::IsOffscreen:
            return kUiaIsOffscreenProperty;
        case Property::IsEnabled:
            return kUiaIsEnabledProperty;
        }
        return 0;
    }

    // A property the element does not have comes as "not supported" (an object): no value.
    static std::optional<QVariant> Convert(const VARIANT& value) {
        switch (value.vt) {
        case VT_BSTR:
            return QVariant(
                value.bstrVal
                    ? QString::fromWCharArray(value.bstrVal,
                                              static_cast<qsizetype>(::SysStringLen(value.bstrVal)))
                    : QString());
        case VT_I4:
            return QVariant(static_cast<quint32>(value.lVal));
        case VT_BOOL:
            return QVariant(value.boolVal != VARIANT_FALSE);
        default:
            return std::nullopt;
        }
    }

    UiaTree::Impl& m_tree;
    UiaElement* m_element;
    quint32 m_processId;
};

} // namespace

UiaTree::UiaTree(WaitBudget& budget) : d(std::make_unique<Impl>(budget)) {}

UiaTree::~UiaTree() {
    if (d->automation) {
        d->automation->Release();
    }
    if (d->comInitialized) {
        ::CoUninitialize();
    }
}

std::vector<std::unique_ptr<AutomationElement>>
UiaTree::FindEdits(WindowHandle window, const QString& name, const QString& className) {
    std::vector<std::unique_ptr<AutomationElement>> edits;
    const HWND hwnd = reinterpret_cast<HWND>(window);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hwnd, &processId);
    // Our own windows would answer on this very thread, which is busy asking.
    if (processId == 0 || processId == ::GetCurrentProcessId() || !d->Start()) {
        return edits;
    }
    UiaAutomation& automation = *d->automation;
    ComPtr<UiaCondition> edit;
    ComPtr<UiaCondition> named;
    ComPtr<UiaCondition> classed;
    ComPtr<UiaCondition> either;
    ComPtr<UiaCondition> wanted;
    if (FAILED(automation.CreatePropertyCondition(
            kUiaControlTypeProperty, IntegerVariant(kUiaEditControlType), edit.Out()))) {
        return edits;
    }
    // An empty text would match elements without a name or class: such a half matches nothing.
    if (!name.isEmpty()) {
        named = d->StringCondition(kUiaNameProperty, name);
    }
    if (!className.isEmpty()) {
        classed = d->StringCondition(kUiaClassNameProperty, className);
    }
    UiaCondition* match = nullptr;
    if (named && classed) {
        if (FAILED(automation.CreateOrCondition(named.Get(), classed.Get(), either.Out()))) {
            return edits;
        }
        match = either.Get();
    } else {
        match = named ? named.Get() : classed.Get();
    }
    if (!match || FAILED(automation.CreateAndCondition(edit.Get(), match, wanted.Out()))) {
        return edits;
    }

    const quint32 process = static_cast<quint32>(processId);
    if (d->Allow(process) <= 0) {
        return edits;
    }
    ComPtr<UiaElement> top;
    qint64 started = d->budget.NowMs();
    HRESULT result = automation.ElementFromHandle(hwnd, top.Out());
    d->budget.Account(process, started, SUCCEEDED(result));
    if (FAILED(result) || !top || d->Allow(process) <= 0) {
        return edits;
    }
    // The first match only: the search ends there instead of walking the page's whole tree, and
    // the browser's own bar comes before the fields of the page it shows.
    UiaElement* found = nullptr;
    started = d->budget.NowMs();
    result = top->FindFirst(kUiaTreeScopeDescendants, wanted.Get(), &found);
    d->budget.Account(process, started, SUCCEEDED(result));
    if (SUCCEEDED(result) && found) {
        edits.push_back(std::make_unique<UiaEditElement>(*d, found, process));
    } else if (found) {
        found->Release();
    }
    return edits;
}

} // namespace platform
