#include "app/LogStyle.h"

#include <richedit.h>

#include <cstring>

void SetSelectionStyle(HWND pane, const TextStyle& style)
{
    CHARFORMAT2A format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR | CFM_BACKCOLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    const unsigned effects = style.effects;
    bool automaticText = (effects & TextStyle::kAutomaticText) != 0;
    bool noBackground = (effects & TextStyle::kNoBackground) != 0;
    format.crTextColor = style.text;
    format.crBackColor = style.background;
    if (effects & TextStyle::kInverse) {
        // The control's own colours stand in where one side has none.
        format.crTextColor = noBackground ? GetSysColor(COLOR_WINDOW) : style.background;
        format.crBackColor = automaticText ? GetSysColor(COLOR_WINDOWTEXT) : style.text;
        automaticText = noBackground = false;
    }
    format.dwEffects = (automaticText ? CFE_AUTOCOLOR : 0) | (noBackground ? CFE_AUTOBACKCOLOR : 0) |
                       (effects & TextStyle::kBold ? CFE_BOLD : 0) |
                       (effects & TextStyle::kItalic ? CFE_ITALIC : 0) |
                       (effects & TextStyle::kUnderline ? CFE_UNDERLINE : 0) |
                       (effects & TextStyle::kStrike ? CFE_STRIKEOUT : 0);
    if (SendMessageA(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)))
        return;
    // A control that knows only the first format record: everything but the background.
    format.cbSize = sizeof(CHARFORMATA);
    format.dwMask &= ~static_cast<DWORD>(CFM_BACKCOLOR);
    format.dwEffects &= ~static_cast<DWORD>(CFE_AUTOBACKCOLOR);
    SendMessageA(pane, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}
