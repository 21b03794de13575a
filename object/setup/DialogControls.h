// Small helpers the setup windows share to move values in and out of their controls, each text
// converted between the product's UTF-8 and the controls' UTF-16. Part of the Windows shell only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

class ValueList;

class DialogControls {
 public:
  // The module whose resources hold the dialog templates: the one this code is linked into
  // (zandrel.dll, or a test program that carries the templates itself).
  static HINSTANCE Module();
  // The window new dialogs are owned by: the active window of this thread, if any.
  static HWND Owner();

  // A small modal editor with OK, Cancel and Help over Owner(): `load` fills its controls, `store`
  // reads them back only when OK closes it; F1 and Help show topic `helpId`. Returns the button
  // that closed it (1 OK, 2 Cancel), -1 when the dialog could not be made.
  static int32_t RunEditor(int templateId, int32_t helpId, const std::string& helpFile,
                           const std::function<void(HWND)>& load, const std::function<void(HWND)>& store);

  static std::string Text(HWND window);
  static std::string Text(HWND dialog, int id);
  static void SetText(HWND window, const std::string& text);
  static void SetText(HWND dialog, int id, const std::string& text);
  static bool Checked(HWND dialog, int id);
  static void Check(HWND dialog, int id, bool on);
  static void Enable(HWND dialog, int id, bool on);

  // A drop-down list filled with texts (emptied first), the index selected (-1: none).
  static void FillCombo(HWND dialog, int id, const ValueList& list, int32_t selected);
  static void AddComboText(HWND dialog, int id, const std::string& text);
  static void SelectCombo(HWND dialog, int id, int32_t selected);
  static int32_t ComboSelection(HWND dialog, int id);

  // Adds a list view column of the given width in pixels.
  static void AddColumn(HWND list, int index, const char* title, int width);
  // Inserts a row at item with the text of its first column: the row's index, -1 when the list
  // took none.
  static int AddItem(HWND list, int item, const std::string& text);
  static void SetItemText(HWND list, int item, int column, const std::string& text);
  static std::string ItemText(HWND list, int item, int column);
  // Selects and focuses the row and scrolls it into view.
  static void SelectItem(HWND list, int item);
  static int SelectedItem(HWND list);
};
