// Where the user reads the log while output goes in at its end. While the caret stands at the end
// with nothing selected and the end is in view, the user follows the output: new text scrolls into
// view. Otherwise the user's selection (its anchor and its active end) and view are noted before
// the text goes in and put back exactly afterwards. Putting the caret at the end again (Ctrl+End, a
// click after the last character) follows once more.
#ifndef VELQUETH_APP_READINGPLACE_H
#define VELQUETH_APP_READINGPLACE_H

#include <windows.h>

#include "app/LogRenewal.h"

class ReadingPlace {
public:
    // Notes the place in the pane (a rich edit, or a plain edit when `plainEdit`). `followed`: a
    // rich edit's view as the last PutBack that followed the end left it, if known; a view still
    // there with the caret at the end is still following, which spares asking where the end is
    // (the control walks the whole log for it).
    ReadingPlace(HWND pane, bool plainEdit, const POINT* followed = nullptr);
    virtual ~ReadingPlace();

    bool Following() const { return following; }
    // After the insertion, with drawing off: the end into view, or the place as noted. Answers
    // whether it followed the end, and then the rich edit's view in `followed`.
    bool PutBack(POINT* followed = nullptr) const;
    // The log went on in `fresh`: the place moves with the text it points at where that was
    // carried, else the end is followed there.
    void Renewed(HWND fresh, const CarriedPlace& moved);

private:
    bool EndInView(DWORD length) const;
    // The selection's end that Shift+arrow keys move (the control answers start <= end).
    bool ActiveAtStart(DWORD start, DWORD end) const;
    // A rich edit takes every selection anchored at its top: an upward one is made again as the
    // user made it, by Shift+arrow keys from its anchor, where that takes few keys.
    void SelectUpward() const;

    HWND pane;
    bool plainEdit;
    bool following;
    DWORD anchor;       // the selection's fixed end
    DWORD active;       // the end with the caret
    LRESULT firstLine;  // the plain edit's view; a rich edit's is `scroll`
    int horizontal;
    POINT scroll;       // a rich edit's view in pixels
};

// The number of characters in the pane, in the unit of its selection.
DWORD PaneCharacters(HWND pane, bool plainEdit);
// A rich edit's view in pixels (EM_GETSCROLLPOS scales it down once the log is taller than
// 65,535 pixels; EM_SETSCROLLPOS takes pixels).
POINT RichEditView(HWND pane);

#endif
