// The console's state: two switches and the width of the progress line shown.
#include "host/Console.h"

#include "host/Text.h"
#include "platform/Files.h"

namespace KxHost::Console {

namespace {

bool verbose = false;
bool showProgress = false;
/// The characters of the progress line on screen; 0 when none is shown.
std::size_t progressWidth = 0;

/// Overwrites the progress line with `text`, padding over what was longer.
void Redraw(const std::string& text)
{
    std::string line = text;
    if (line.size() < progressWidth)
        line.append(progressWidth - line.size(), ' ');
    Platform::Files::WriteError("\r" + line + "\r");
    progressWidth = text.size();
}

} // namespace

void Configure(bool verboseOn, bool quiet)
{
    verbose = verboseOn;
    showProgress = !quiet && Platform::Files::IsTerminal(Platform::Files::Stream::Error);
}

void Note(const std::string& text)
{
    EndProgress();
    Platform::Files::WriteError("kxhost: " + ForTerminal(text) + "\n");
}

void Verbose(const std::string& text)
{
    if (verbose)
        Note(text);
}

bool IsVerbose()
{
    return verbose;
}

void Progress(std::size_t done, std::size_t total, const std::string& item)
{
    if (!showProgress)
        return;
    // Long paths are cut from the front: the file's own name matters most.
    constexpr std::size_t kItemWidth = 60;
    std::string shown = ForTerminal(item);
    if (shown.size() > kItemWidth) {
        std::size_t start = shown.size() - (kItemWidth - 3);
        while (start < shown.size() && (static_cast<unsigned char>(shown[start]) & 0xC0) == 0x80)
            ++start; // never inside a UTF-8 sequence
        shown = "..." + shown.substr(start);
    }
    std::string line;
    if (total != 0)
        line.append("[").append(std::to_string(done)).append("/").append(std::to_string(total)).append("] ");
    Redraw(line.append(shown));
}

void EndProgress()
{
    if (progressWidth == 0)
        return;
    Redraw("");
    progressWidth = 0;
}

} // namespace KxHost::Console
