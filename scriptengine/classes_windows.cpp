// The graphics, control, form and standard control classes of the library.
//
// They are declared so that scripts written for desktop programs compile, but a server script
// has no windows: creating one of them is a runtime error that says so (and so is any member,
// which only nil could reach). Their members have no implementation here.
#include "scriptengine/class_library.h"

namespace qorsv::script::vm_internal {
namespace {

ClassDef Windowed(const char* name, const char* parent, std::vector<const char*> members) {
  ClassDef def{name, parent, Creation::kWindowed, nullptr, {}};
  for (const char* member : members) def.members.push_back({member});
  return def;
}

}  // namespace

void AddWindowClasses(std::vector<ClassDef>& classes) {
  // Graphics.
  classes.push_back(Windowed("TGraphicsObject", "TPersistent", {}));
  classes.push_back(
      Windowed("TFont", "TGraphicsObject",
               {"property Name: string read write;", "property Size: Integer read write;",
                "property Color: TColor read write;"}));
  classes.push_back(
      Windowed("TPen", "TGraphicsObject",
               {"property Color: TColor read write;", "property Width: Integer read write;"}));
  classes.push_back(Windowed("TBrush", "TGraphicsObject", {"property Color: TColor read write;"}));
  classes.push_back(Windowed(
      "TCanvas", "TPersistent",
      {"property Font: TFont read;", "property Pen: TPen read;", "property Brush: TBrush read;",
       "procedure TextOut(X, Y: Integer; const Text: string);",
       "function TextWidth(const Text: string): Integer;",
       "function TextHeight(const Text: string): Integer;", "procedure MoveTo(X, Y: Integer);",
       "procedure LineTo(X, Y: Integer);", "procedure Rectangle(X1, Y1, X2, Y2: Integer);",
       "procedure Ellipse(X1, Y1, X2, Y2: Integer);"}));
  classes.push_back(
      Windowed("TGraphic", "TPersistent",
               {"property Width: Integer read write;", "property Height: Integer read write;",
                "property Empty: Boolean read;", "procedure LoadFromFile(const FileName: string);",
                "procedure SaveToFile(const FileName: string);"}));
  classes.push_back(Windowed("TBitmap", "TGraphic", {"property Canvas: TCanvas read;"}));
  classes.push_back(
      Windowed("TPicture", "TPersistent",
               {"property Graphic: TGraphic read write;", "property Bitmap: TBitmap read write;",
                "property Width: Integer read;", "property Height: Integer read;",
                "procedure LoadFromFile(const FileName: string);",
                "procedure SaveToFile(const FileName: string);"}));
  // Controls.
  classes.push_back(Windowed("TControl", "TComponent",
                             {"property Left: Integer read write;",
                              "property Top: Integer read write;",
                              "property Width: Integer read write;",
                              "property Height: Integer read write;",
                              "property ClientWidth: Integer read write;",
                              "property ClientHeight: Integer read write;",
                              "property Caption: string read write;",
                              "property Visible: Boolean read write;",
                              "property Enabled: Boolean read write;",
                              "property Hint: string read write;",
                              "property ShowHint: Boolean read write;",
                              "property Align: TAlign read write;",
                              "property Color: TColor read write;",
                              "property Font: TFont read write;",
                              "property Parent: TWinControl read write;",
                              "procedure Show;",
                              "procedure Hide;",
                              "procedure Refresh;",
                              "procedure Repaint;",
                              "procedure BringToFront;",
                              "procedure SendToBack;",
                              "procedure SetBounds(ALeft, ATop, AWidth, AHeight: Integer);"}));
  classes.push_back(Windowed(
      "TWinControl", "TControl",
      {"procedure SetFocus;", "function Focused: Boolean;", "function CanFocus: Boolean;",
       "property ControlCount: Integer read;", "property Controls[Index: Integer]: TControl read;",
       "property TabOrder: Integer read write;", "property TabStop: Boolean read write;"}));
  classes.push_back(Windowed("TGraphicControl", "TControl", {}));
  classes.push_back(Windowed("TCustomControl", "TWinControl", {}));
  // Forms.
  classes.push_back(Windowed("TScrollingWinControl", "TWinControl", {}));
  classes.push_back(Windowed(
      "TCustomForm", "TScrollingWinControl",
      {"procedure Close;", "function ShowModal: Integer;",
       "property ModalResult: TModalResult read write;", "property Active: Boolean read;"}));
  classes.push_back(Windowed("TForm", "TCustomForm", {}));
  // Standard controls.
  classes.push_back(Windowed(
      "TLabel", "TGraphicControl",
      {"property Alignment: TAlignment read write;", "property AutoSize: Boolean read write;",
       "property WordWrap: Boolean read write;", "property Transparent: Boolean read write;"}));
  classes.push_back(Windowed(
      "TEdit", "TWinControl",
      {"property Text: string read write;", "property ReadOnly: Boolean read write;",
       "property MaxLength: Integer read write;", "property PasswordChar: Char read write;",
       "procedure Clear;", "procedure SelectAll;"}));
  classes.push_back(
      Windowed("TMemo", "TWinControl",
               {"property Lines: TStrings read write;", "property Text: string read write;",
                "property ReadOnly: Boolean read write;", "property WordWrap: Boolean read write;",
                "procedure Clear;"}));
  classes.push_back(
      Windowed("TButton", "TWinControl",
               {"property Default: Boolean read write;", "property Cancel: Boolean read write;",
                "property ModalResult: TModalResult read write;", "procedure Click;"}));
  classes.push_back(
      Windowed("TCheckBox", "TWinControl", {"property Checked: Boolean read write;"}));
  classes.push_back(
      Windowed("TRadioButton", "TWinControl", {"property Checked: Boolean read write;"}));
  classes.push_back(
      Windowed("TListBox", "TWinControl",
               {"property Items: TStrings read write;", "property ItemIndex: Integer read write;",
                "property Sorted: Boolean read write;", "property MultiSelect: Boolean read write;",
                "property Selected[Index: Integer]: Boolean read write;", "procedure Clear;"}));
  classes.push_back(
      Windowed("TComboBox", "TWinControl",
               {"property Items: TStrings read write;", "property ItemIndex: Integer read write;",
                "property Text: string read write;", "property Sorted: Boolean read write;",
                "property DropDownCount: Integer read write;", "procedure Clear;"}));
  classes.push_back(Windowed("TGroupBox", "TCustomControl", {}));
  classes.push_back(
      Windowed("TPanel", "TCustomControl", {"property Alignment: TAlignment read write;"}));
  classes.push_back(
      Windowed("TScrollBar", "TWinControl",
               {"property Position: Integer read write;", "property Min: Integer read write;",
                "property Max: Integer read write;"}));
  classes.push_back(
      Windowed("TImage", "TGraphicControl",
               {"property Picture: TPicture read write;", "property Stretch: Boolean read write;",
                "property Center: Boolean read write;"}));
  classes.push_back(Windowed(
      "TTimer", "TComponent",
      {"property Enabled: Boolean read write;", "property Interval: Cardinal read write;"}));
}

}  // namespace qorsv::script::vm_internal
