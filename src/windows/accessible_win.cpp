#include "windows/accessible.h"

#include <oleacc.h>

#include <atomic>

#include "util/win_text.h"

namespace tolvek {
namespace {

// One IAccessible per WM_GETOBJECT, as Active Accessibility expects. It holds only the window
// and asks the lookup at every call, so a client that keeps it after the window closed gets
// an error, never a dangling pointer.
class ViewAccessible final : public IAccessible {
public:
    ViewAccessible(HWND window, AccessibleLookup lookup) : window_(window), lookup_(lookup) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!view()) return RPC_E_DISCONNECTED;
        return AccessibleObjectFromWindow(window_, static_cast<DWORD>(OBJID_WINDOW), __uuidof(IDispatch),
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        *count = v->item_count();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return child_id(child) ? S_FALSE : E_INVALIDARG;  // items are simple elements
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return text(child, name, [](const AccessibleView& v, std::optional<int> i) {
            return i ? v.item_name(*i) : v.name();
        });
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override {
        if (value) *value = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        return text(child, description, [](const AccessibleView& v, std::optional<int> i) {
            return i ? v.item_description(*i) : v.description();
        });
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        const auto id = child_id(child);
        if (!id) return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = *id != CHILDID_SELF ? ROLE_SYSTEM_LISTITEM : v->role();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        const auto id = child_id(child);
        if (!id) return E_INVALIDARG;
        long bits = 0;
        const bool has_focus = GetFocus() == window_;
        if (*id == CHILDID_SELF) {
            if (GetWindowLongW(window_, GWL_STYLE) & WS_TABSTOP) bits |= STATE_SYSTEM_FOCUSABLE;
            if (has_focus) bits |= STATE_SYSTEM_FOCUSED;
        } else {
            bits |= STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_SELECTABLE;
            if (!v->item_rect(*id - 1)) bits |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
            if (v->focused_item() == *id - 1) bits |= STATE_SYSTEM_SELECTED | (has_focus ? STATE_SYSTEM_FOCUSED : 0);
        }
        state->vt = VT_I4;
        state->lVal = bits;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override {
        if (help) *help = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override {
        if (shortcut) *shortcut = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return focused_child(focus, true); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return focused_child(selection, false);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return text(child, action, [](const AccessibleView& v, std::optional<int> i) {
            return i ? v.item_action(*i) : std::string();
        });
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        const auto id = child_id(child);
        if (!id) return E_INVALIDARG;
        RECT r {};
        if (*id == CHILDID_SELF) {
            GetClientRect(window_, &r);
        } else if (const auto rect = v->item_rect(*id - 1)) {
            r = *rect;
        } else {
            return S_FALSE;
        }
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&r), 2);
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override {
        if (end) end->vt = VT_EMPTY;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        if (!child) return E_POINTER;
        child->vt = VT_EMPTY;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        POINT p {x, y};
        ScreenToClient(window_, &p);
        RECT client {};
        GetClientRect(window_, &client);
        if (!PtInRect(&client, p)) return S_FALSE;
        child->vt = VT_I4;
        child->lVal = CHILDID_SELF;
        for (int i = 0; i < v->item_count(); ++i) {
            const auto r = v->item_rect(i);
            if (r && PtInRect(&*r, p)) child->lVal = i + 1;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        const auto id = child_id(child);
        if (!id || *id == CHILDID_SELF || v->item_action(*id - 1).empty()) return DISP_E_MEMBERNOTFOUND;
        v->do_item_action(*id - 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    AccessibleView* view() const { return IsWindow(window_) ? lookup_(window_) : nullptr; }
    // The child id: 0 (CHILDID_SELF) for the view, i + 1 for item i; nothing for anything else.
    std::optional<long> child_id(const VARIANT& child) const {
        const AccessibleView* v = view();
        if (!v || child.vt != VT_I4 || child.lVal < CHILDID_SELF || child.lVal > v->item_count()) return std::nullopt;
        return child.lVal;
    }
    // The item the keyboard is on, as a child id. As the focus (`only_with_focus`): nothing
    // unless the view has the keyboard, the view itself when no item is on it. As the
    // selection: nothing when no item is.
    HRESULT focused_child(VARIANT* out, bool only_with_focus) const {
        if (!out) return E_POINTER;
        out->vt = VT_EMPTY;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        if (only_with_focus && GetFocus() != window_) return S_FALSE;
        const auto focused = v->focused_item();
        if (!focused && !only_with_focus) return S_FALSE;
        out->vt = VT_I4;
        out->lVal = focused ? *focused + 1 : CHILDID_SELF;
        return S_OK;
    }
    template <class Read>
    HRESULT text(const VARIANT& child, BSTR* out, Read read) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        const AccessibleView* v = view();
        if (!v) return RPC_E_DISCONNECTED;
        const auto id = child_id(child);
        if (!id) return E_INVALIDARG;
        const std::string value =
            read(*v, *id != CHILDID_SELF ? std::optional<int>(static_cast<int>(*id - 1)) : std::nullopt);
        if (value.empty()) return S_FALSE;
        *out = SysAllocString(wide(value).c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    HWND window_;
    AccessibleLookup lookup_;
    std::atomic<ULONG> refs_ {1};
};

}  // namespace

LRESULT accessible_object(HWND view_window, WPARAM wparam, LPARAM lparam, AccessibleLookup lookup) {
    if (static_cast<DWORD>(lparam) != static_cast<DWORD>(OBJID_CLIENT) || !lookup(view_window)) return 0;
    // The object is handed over through COM: the UI thread joins an apartment the first time a
    // screen reader asks (WM_GETOBJECT arrives on the thread that owns the window).
    static const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (!com) return 0;
    auto* object = new ViewAccessible(view_window, lookup);
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), wparam, object);
    object->Release();
    return result;
}

void announce_focus(HWND view_window, int item) {
    NotifyWinEvent(EVENT_OBJECT_FOCUS, view_window, OBJID_CLIENT, item + 1);
}

}  // namespace tolvek
