// MidiTools.SendKeys: a key string becomes one batch of keyboard input for
// whatever window has the focus. Parsing and event planning are portable.
#include "tools/MidiToolsCtrl.h"
#include "tools/KeyString.h"

#include "module/Trace.h"

#include <vector>

void CMidiToolsCtrl::SendKeys(const std::string& strKeys)
{
    const tavro::SendKeysPlan plan =
        tavro::PlanSendKeys(strKeys, [](char c) { return static_cast<int16_t>(VkKeyScanA(c)); });
    if (plan.failed)
        throw tavro::DispatchException{TOOLS_ERR_SENDKEYS, plan.errorText};
    if (plan.events.empty()) {
        // An empty string, or a batch that would not have fitted.
        if (!strKeys.empty())
            TAVRO_TRACE("MidiTools", "SendKeys", tavro::TraceQuote(strKeys),
                        "the keys make too many input events for one batch; nothing was sent");
        return;
    }

    std::vector<INPUT> inputs(plan.events.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        INPUT& in = inputs[i];
        ZeroMemory(&in, sizeof(in));
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = plan.events[i].virtualKey;
        in.ki.dwFlags = plan.events[i].flags;
    }
    // One call, so no other input interleaves; its count only reaches the trace.
    const UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size())
        TAVRO_TRACE("MidiTools", "SendKeys", tavro::TraceQuote(strKeys),
                    "the system took " + std::to_string(sent) + " of " + std::to_string(inputs.size()) +
                        " input events: " + tavro::LastErrorText());
}
