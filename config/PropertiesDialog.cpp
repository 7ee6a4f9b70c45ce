#include "config/PropertiesDialog.h"

#include <commdlg.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "base/Seams.h"
#include "config/AppPaths.h"
#include "config/Settings.h"
#include "res/resource.h"

namespace {

// The file dialog gets the record layout of its 4.00 version; nothing newer is used.
const DWORD kOpenFileNameSize =
    static_cast<DWORD>(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR));
#ifndef _WIN64
static_assert(kOpenFileNameSize == 76, "OPENFILENAMEA 4.00 layout is 76 bytes");
#endif

const char kProgramFilter[] = "Exe\0*.exe\0Batch\0*.bat\0All\0*.*\0";

int PathFieldId(int slot) { return IDC_PATH_FIRST + 3 * slot; }
int ArgsFieldId(int slot) { return IDC_ARGS_FIRST + 3 * slot; }

bool IsBrowseButton(int id)
{
    return id >= IDC_BROWSE_FIRST && id < IDC_PATH_FIRST + 3 * kSlotCount &&
           (id - IDC_BROWSE_FIRST) % 3 == 0;
}

// The eight radio buttons are consecutive tab stops, so the walk goes from the last one back
// through the tab order. Answers the first button for which `matches` holds, or null.
template <typename Predicate>
HWND FindRadioButton(HWND dialog, Predicate matches)
{
    HWND control = GetDlgItem(dialog, IDC_DEFAULT_LAST);
    for (int visited = 0; control && visited < kSlotCount; ++visited) {
        if (matches(control))
            return control;
        control = GetNextDlgTabItem(dialog, control, TRUE);
    }
    return nullptr;
}

} // namespace

PropertiesDialog::PropertiesDialog() : dialogWindow(nullptr)
{
}

PropertiesDialog::~PropertiesDialog()
{
}

void PropertiesDialog::Run(HWND owner)
{
    HWND focus = GetFocus();
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROPERTIES), owner,
                    PropertiesDialogProc, reinterpret_cast<LPARAM>(this));
    if (focus && IsWindow(focus))
        SetFocus(focus);
}

INT_PTR CALLBACK PropertiesDialog::PropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                        LPARAM lParam)
{
    PropertiesDialog* self =
        reinterpret_cast<PropertiesDialog*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<PropertiesDialog*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
        if (self)
            self->dialogWindow = dialog;
    }
    // Messages that come before WM_INITDIALOG find no dialog object.
    if (!self)
        return message == WM_INITDIALOG ? TRUE : FALSE;
    return self->DialogProc(message, wParam);
}

INT_PTR PropertiesDialog::DialogProc(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();

    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            const DWORD refused = OnOK();
            if (refused != 0) {
                // Nothing the user typed is lost: the dialog stays, and Cancel still closes it.
                ReportRefusedSave(refused);
                return TRUE;
            }
            EndDialog(dialogWindow, static_cast<INT_PTR>(wParam));
            return TRUE;
        }
        if (id == IDCANCEL) {
            EndDialog(dialogWindow, static_cast<INT_PTR>(wParam));
            return TRUE;
        }
        if (IsBrowseButton(id))
            OnBrowse(wParam);
        return FALSE;
    }

    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            EndDialog(dialogWindow, 1);
            return TRUE;
        }
        return FALSE;

    default:
        return FALSE;
    }
}

BOOL PropertiesDialog::OnInitDialog()
{
    Settings settings;
    settings.Load();

    for (int k = 0; k < kSlotCount; ++k) {
        const char* path = "";
        const char* arguments = "";
        settings.GetSlot(k, &path, &arguments);
        SetDlgItemTextA(dialogWindow, PathFieldId(k), path);
        SetDlgItemTextA(dialogWindow, ArgsFieldId(k), arguments);
    }

    // A default outside 1024..1031 matches no button, and then none is checked.
    const int defaultId = settings.defaultId;
    HWND defaultButton = FindRadioButton(
        dialogWindow, [defaultId](HWND control) { return GetDlgCtrlID(control) == defaultId; });
    if (defaultButton)
        CheckDlgButton(dialogWindow, defaultId, BST_CHECKED);

    if (settings.displayProgram)
        CheckDlgButton(dialogWindow, IDC_DISPLAY_PROGRAM, BST_CHECKED);

    // True: the system puts the focus on the first tab stop, the path field of row 1.
    return TRUE;
}

void PropertiesDialog::OnBrowse(WPARAM wParam)
{
    HWND button = GetDlgItem(dialogWindow, LOWORD(wParam));
    if (!button)
        return;
    // Each browse button directly follows its path field in the tab order.
    HWND pathField = GetNextDlgTabItem(dialogWindow, button, TRUE);
    if (!pathField)
        return;

    char fileName[kPathSize];
    fileName[0] = '\0';
    GetWindowTextA(pathField, fileName, sizeof fileName);

    char initialDirectory[kPathSize];
    AppPaths::DirectoryOf(fileName, initialDirectory);

    // The dialog opens on the field's directory with no file name filled in.
    fileName[0] = '\0';

    OPENFILENAMEA record = {};
    record.lStructSize = kOpenFileNameSize;
    record.hwndOwner = dialogWindow;
    record.lpstrFilter = kProgramFilter;
    record.nFilterIndex = 0;
    record.lpstrFile = fileName;
    record.nMaxFile = sizeof fileName;
    record.lpstrInitialDir = initialDirectory;
    record.lpstrTitle = "Open";
    record.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    if (seams::getOpenFileName(&record))
        SetWindowTextA(pathField, fileName);
}

DWORD PropertiesDialog::OnOK()
{
    Settings settings;

    for (int k = 0; k < kSlotCount; ++k) {
        // A longer field is saved as its first 259 characters.
        char path[kValueSize];
        char arguments[kValueSize];
        path[0] = '\0';
        arguments[0] = '\0';
        GetDlgItemTextA(dialogWindow, PathFieldId(k), path, sizeof path);
        GetDlgItemTextA(dialogWindow, ArgsFieldId(k), arguments, sizeof arguments);
        const DWORD refused = settings.WriteSlot(k, path, arguments);
        if (refused != 0)
            return refused;
    }

    HWND dialog = dialogWindow;
    HWND checkedButton = FindRadioButton(dialog, [dialog](HWND control) {
        return IsDlgButtonChecked(dialog, GetDlgCtrlID(control)) == BST_CHECKED;
    });
    // With no button checked, "Default" keeps the value it has in the file.
    if (checkedButton) {
        const DWORD refused = settings.WriteDefault(GetDlgCtrlID(checkedButton));
        if (refused != 0)
            return refused;
    }

    return settings.WriteDisplayProgram(
        IsDlgButtonChecked(dialogWindow, IDC_DISPLAY_PROGRAM) == BST_CHECKED ? 1 : 0);
}

void PropertiesDialog::ReportRefusedSave(DWORD code)
{
    AppPaths paths;
    char file[kPathSize];
    if (!paths.PathWithExtension(file, ".ini", false))
        file[0] = '\0';
    char reason[512];
    paths.FormatReason(reason, sizeof reason, code);
    char text[kPathSize + sizeof reason + 64];
    std::snprintf(text, sizeof text, "Could not save the settings to %s\n%s", file, reason);
    seams::messageBox(dialogWindow, text, nullptr, MB_OK | MB_ICONERROR);
}
