// What a screen reader reads from a window of this process, through Active Accessibility
// itself (AccessibleObjectFromWindow and the IAccessible it hands out).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include <string>
#include <utility>
#include <vector>

#include "util/win_text.h"

namespace tolvek::test {

struct ReadOut {
    long role = 0;
    std::string name, description;
    std::vector<std::pair<std::string, std::string>> items;  // name, description
    long focused = -1;                                       // child id, 0 for the view
};

inline ReadOut read_out(HWND view) {
    ReadOut out;
    static thread_local const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_TRUE(com);
    IAccessible* acc = nullptr;
    if (FAILED(AccessibleObjectFromWindow(view, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&acc))) || !acc) {
        ADD_FAILURE() << "no accessible object";
        return out;
    }
    const auto text = [](HRESULT hr, BSTR b) {
        std::string t = hr == S_OK && b ? narrow(b) : "";
        SysFreeString(b);
        return t;
    };
    const auto texts_of = [&](long id) {
        VARIANT child {};
        child.vt = VT_I4;
        child.lVal = id;
        BSTR name = nullptr, description = nullptr;
        const HRESULT n = acc->get_accName(child, &name);
        const HRESULT d = acc->get_accDescription(child, &description);
        return std::pair {text(n, name), text(d, description)};
    };
    VARIANT self {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role {};
    if (acc->get_accRole(self, &role) == S_OK) out.role = role.lVal;
    std::tie(out.name, out.description) = texts_of(CHILDID_SELF);
    long count = 0;
    acc->get_accChildCount(&count);
    for (long i = 1; i <= count; ++i) out.items.push_back(texts_of(i));
    VARIANT focus {};
    if (acc->get_accFocus(&focus) == S_OK && focus.vt == VT_I4) out.focused = focus.lVal;
    acc->Release();
    return out;
}

}  // namespace tolvek::test
