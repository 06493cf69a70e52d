#include "DisplayWatcher.h"

#include <dbt.h>

namespace hlx::windows {

DisplayWatcher::DisplayWatcher(std::function<void()> changed)
    : m_window(windowClass, {monitorInterface},
               [changed = std::move(changed)](UINT message, WPARAM wParam) {
                   // A monitor arriving or leaving; not the queries that ask leave to remove one.
                   if (message == WM_DISPLAYCHANGE || wParam == DBT_DEVICEARRIVAL ||
                       wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVNODES_CHANGED)
                       changed();
               }) {}

} // namespace hlx::windows
