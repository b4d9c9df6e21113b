// Events sent to screen readers over AT-SPI where Qt's bridge does not send them as they read
// them: Qt 6.4 passes on changes of the checked, focused, enabled and active states only (an
// outline row's "expanded" is never heard), and sends a description change without its text,
// which Orca cannot speak.
#pragma once

class QAccessibleInterface;
class QString;

namespace tessera {

/// Sends "object:state-changed:STATE" for `source` on Qt's own connection to the
/// accessibility bus; nothing while there is none (no screen reader, no bus).
void sendAtSpiStateChange(QAccessibleInterface& source, const char* state, bool on);

/// Sends "object:property-change:accessible-description" for `source` with `description`:
/// a screen reader speaks it when `source` has the focus.
void sendAtSpiDescriptionChange(QAccessibleInterface& source, const QString& description);

} // namespace tessera
