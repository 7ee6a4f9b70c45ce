// PropertiesDialog: the modal dialog (resource 133) that edits the eight program slots, the
// default slot and the DisplayProgram flag. It reads the INI file when it opens and, on OK, writes
// every control's value straight back to it; Cancel, Escape and the close box write nothing. A
// write that the file refuses is reported, and the dialog then stays open with what was typed.
#ifndef VELQUETH_CONFIG_PROPERTIESDIALOG_H
#define VELQUETH_CONFIG_PROPERTIESDIALOG_H

#include <windows.h>

class PropertiesDialog {
public:
    PropertiesDialog();
    virtual ~PropertiesDialog();

    // Shows the dialog modally over owner; the keyboard focus goes back where it was.
    void Run(HWND owner);

    static INT_PTR CALLBACK PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);
    INT_PTR DialogProc(UINT message, WPARAM wParam);
    BOOL OnInitDialog();
    void OnBrowse(WPARAM wParam);
    // Writes every control's value; answers 0, or the system's error code of the first write
    // that the file refused (the writing stops there).
    DWORD OnOK();
    // The error box, owned by the dialog, that names the settings file and the system's reason.
    void ReportRefusedSave(DWORD code);

    HWND dialogWindow;

private:
    PropertiesDialog(const PropertiesDialog&) = delete;
    PropertiesDialog& operator=(const PropertiesDialog&) = delete;
};

#endif
