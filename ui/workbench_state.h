// The workbench page: the workbench and editor options windows on the operator server. Their
// state is the event stream's source "workbench"; the operator's actions are commands of that
// source, each calling the window's own handler; the page itself is "/workbench", and the help
// pages are served below "/help/".
//
// The whole state (the "full" event) holds every field below, the editor's text, the lists of
// the code analysis, the debugger views and the fixed tables the page draws from ("fixed": the
// menus, the toolbar, the captions, the pop-ups' rules). After it:
//   {"type":"fields","fields":{...}}   the window's fields that changed (visible, title,
//       activePage, dialog, browsers, colours, options, ...);
//   {"type":"editor","base":B,"revision":R,"origin":O,"edits":[...]}   the text edits that took
//       the editor from revision B to R, made by the page whose origin id is O ("" for the
//       window's own commands: templates, New, Open); or {"type":"editor","revision":R,"text":T}
//       when the edits are no longer kept;
//   {"type":"analysis",...}   the procedure list and the completion lists after an analysis;
//   {"type":"views",...}      the listing, the messages and the marked line after a compile.
//
// A second source, "workbenchNotice", carries only what the console page shows when a failed
// compile brings the workbench forward: "broughtToFront" (a count) and "StatusBar1".
//
// Texts are the server's bytes read as Latin-1 (ui/json_text.h); lines and columns count from 1.
//
// UI thread only, like the windows.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "ui/operator_server.h"
#include "workbench/editor_text.h"
#include "workbench/workbench_windows.h"

namespace qorsv {

// Which page made which edit of the editor's text, so that the page that made it does not apply
// it a second time. Revisions the window made itself have no origin.
class EditOrigins {
 public:
  void Record(uint64_t revision, std::string origin) { origins_[revision] = std::move(origin); }
  // The origin of the edit that made `revision` ("" when a command made it).
  std::string Of(uint64_t revision) const;
  // Forgets the revisions up to and including `revision`.
  void ForgetUpTo(uint64_t revision);
  size_t Size() const { return origins_.size(); }

 private:
  std::map<uint64_t, std::string> origins_;
};

// The editor's changes since `base` as stream events: one event per run of edits with the same
// origin, or one whole-text event when the edits are no longer kept.
std::vector<Json> EditorEvents(const EditorText& editor, uint64_t base, const EditOrigins& origins);

Json CaretJson(const Caret& caret);
Json TextEditJson(const TextEdit& edit);
// A TextEdit from the page ({"from","to","text","caret"}); throws CommandError when malformed.
TextEdit TextEditOfJson(const Json& value);

// Registers the sources, the commands, the page and the help folder.
void AddWorkbenchPage(OperatorServer& server, WorkbenchWindows& windows,
                      const std::string& program_dir);

// The commands of the page (ui/workbench_commands.cpp), with the record of edit origins that
// the source reads.
void AddWorkbenchCommands(OperatorServer& server, WorkbenchWindows& windows,
                          std::shared_ptr<EditOrigins> origins);

}  // namespace qorsv
