// Opening the clipboard with a bounded retry.
#include "module/Clipboard.h"

#include "module/Trace.h"

namespace tavro {

namespace {
constexpr DWORD kClipboardRetryStepMs = 5;
} // namespace

ClipboardSession::ClipboardSession()
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (OpenClipboard(nullptr)) {
            open_ = true;
            return;
        }
        error_ = GetLastError();
        holder_ = GetOpenClipboardWindow();
        if (GetTickCount64() - start >= kClipboardOpenWaitMs)
            return;
        Sleep(kClipboardRetryStepMs);
    }
}

ClipboardSession::~ClipboardSession()
{
    if (open_)
        CloseClipboard();
}

std::string ClipboardSession::FailureText() const
{
    std::string text = "cannot open the clipboard within " + std::to_string(kClipboardOpenWaitMs) + " ms";
    char className[64] = {};
    if (holder_ && GetClassNameA(holder_, className, sizeof className) > 0)
        text += std::string(" (held by a window of class ") + TraceQuote(className) + ")";
    return text + ": " + ErrorText(error_);
}

} // namespace tavro
