// The console window's page: its state as the source "console" of the event stream, and the
// operator's clicks as commands of that source, each calling the window's own handler.
//
// The source's fields carry the control names: the labels (`Label1`, `Label2`, `Label12`,
// `lbl_sqlhandles`), `title`, `trayHint`, `StatusBar1`, the switches (`showlog`, `cbActive`),
// the window's `visible`/`minimized`/`ended`, `workbenchVisible`, the host editor (`Hostrootdir`,
// `HostrootdirSelected`, `hostinfo`, `Hname`, `Hrootdir`, `deleteQuestion`), the tips window
// (`tip`) and the root-directory dialog's settings (`rootDialog`). The views `Memo1` and
// `syslog` are in the whole state as their lines; later, {"type":"append","view":V,"lines":[..]}
// adds lines and {"type":"view","view":V,"lines":[..]} replaces the view (after "Clear logs",
// or when more lines arrived than the view keeps).
//
// UI thread only, like the window.
#pragma once

#include "console/console_window.h"
#include "ui/operator_server.h"

namespace qorsv {

// Registers the source and the commands. The window must outlive the server's serving.
void AddConsolePage(OperatorServer& server, ConsoleWindow& console);

}  // namespace qorsv
