#include "serial/com_event_window.h"

#include <algorithm>

#include "serial/com_event_flags.h"
#include "serial/com_port.h"

bool TComEventWindow::WndProc(unsigned message, std::uintptr_t wParam, std::intptr_t) {
    if (message != EventMessage) {
        return false;
    }
    const auto& order = ComEventFlag::DispatchOrder;
    if (std::find(order.begin(), order.end(), wParam) != order.end()) {
        port_.RunEventHandlers(static_cast<std::uint32_t>(wParam));
    }
    return true;
}
