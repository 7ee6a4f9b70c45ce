#include "runner/PaneConsoleRunner.h"

#include <cstring>

PaneConsoleRunner::PaneConsoleRunner() : paneWindow(nullptr), output(nullptr), readEscapes(true) {}

HWND PaneConsoleRunner::SetPane(HWND window)
{
    HWND previous = paneWindow;
    paneWindow = window;
    return previous;
}

void PaneConsoleRunner::SetOutput(OutputPane* feed)
{
    output = feed;
}

void PaneConsoleRunner::SetCodePage(UINT codePage)
{
    decoder = TextDecoder(codePage);
}

void PaneConsoleRunner::SetColours(ColourMode mode)
{
    readEscapes = mode != kColoursRaw;
    escapes = EscapeReader(mode == kColoursOn);
}

void PaneConsoleRunner::OnOutput(const char* text)
{
    if (!output)
        return;
    size_t length = std::strlen(text);
    if (decoder.PassesAsIs(text, length)) {
        ReadEscapes(text, length);
        return;
    }
    const size_t most = TextDecoder::kMostInput;
    for (size_t at = 0; at < length; at += most) {
        const char* decoded = decoder.Decode(text + at, length - at < most ? length - at : most);
        ReadEscapes(decoded, std::strlen(decoded));
    }
}

void PaneConsoleRunner::ReadEscapes(const char* text, size_t length)
{
    // Output without an ESC, nearly all of it, costs one memchr here.
    if (!readEscapes || escapes.PassesAsIs(text, length)) {
        output->AppendOutput(text);
        return;
    }
    const size_t most = EscapeReader::kMostInput;
    for (size_t at = 0; at < length; at += most)
        output->AppendOutput(escapes.Read(text + at, length - at < most ? length - at : most));
}

void PaneConsoleRunner::FinishOutput()
{
    if (!output)
        return;
    const char* rest = decoder.Finish();
    ReadEscapes(rest, std::strlen(rest));
    if (readEscapes)
        output->AppendOutput(escapes.Finish());
}
