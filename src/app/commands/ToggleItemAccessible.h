// Menu items that switch something on and off (View > Show Outline, Full Screen, the graph's
// toggles) read as check boxes by screen readers, "Show Outline, check box, not checked": the
// plain menu items Qt makes of them say nothing of the state while it is off.
#pragma once

namespace tessera {

/// Installs the accessible interface of such items, once for the application.
void exposeToggleMenuItems();

} // namespace tessera
