#include "tests/support/test_pump.h"

#include "tests/support/test_root.h"
#include "toolkit/window_layer.h"

bool LTestPumpUntil(const std::function<bool()>& pred) {
    return LTestWaitFor(20000, [&] {
        LMsgWaitForMultiple(nullptr, 0, 20);
        LMsg m;
        while (LPeekMessage(&m, true)) LDispatchMessage(m);
        return pred();
    });
}
