#pragma once
// The dialer with helpers for the dial list tests.
#include <cstdio>
#include <string>

#include "support/dialer_fixture.h"

namespace testing_support {

class ListTest : public DialerTest {
protected:
    void FillList() {
        for (int i = 0; i < 100; ++i) std::snprintf(Dlg().m_szList[i], 256, "%d", 1000 + i);
        Dlg().KeepListState();  // as if loaded from a file
    }
    std::string EmptyListFile() const {
        std::string s = "\r\n";
        for (int i = 0; i < 100; ++i) s += "\r\n\r\n";
        return s;
    }
    void Close() {
        ui.SysCommand(SC_CLOSE);
        Run();
    }
};

}  // namespace testing_support
