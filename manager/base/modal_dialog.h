// A modal dialog from the program's resources, served by a small object: the
// object travels through DialogBoxParam's lParam and is stored at
// WM_INITDIALOG; the dialog's behaviour is a few small virtual methods.
#pragma once
#include <windows.h>

class ModalDialog {
 public:
  virtual ~ModalDialog() {}
  // Runs the dialog; returns what it was ended with, or -1 if it couldn't be
  // created.
  INT_PTR run(int resourceId, HWND owner);

 protected:
  // Return false when the focus was set.
  virtual bool onInit() { return true; }
  // Return true when the command was handled. By default Cancel ends the
  // dialog with 2 and OK calls onOk.
  virtual bool onCommand(int id, int notification);
  // OK was pressed; end the dialog (with 1) when its contents are acceptable.
  virtual void onOk() { end(1); }
  void end(INT_PTR result) { EndDialog(window_, result); }
  HWND item(int id) const { return GetDlgItem(window_, id); }
  // Sets a control to a text of the program's own (code page 932), on any system.
  void setItemText(int id, const char* text);
  HWND window_ = nullptr;

 private:
  static INT_PTR CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The template of a dialog of the program's resources in the language of the
// user interface (the Japanese one where a dialog has no other); null if the
// program has no such dialog.
const DLGTEMPLATE* dialogTemplate(int resourceId);

// The full text of a control in a heap block (free it); null without memory.
wchar_t* controlWideTextCopy(HWND control);
