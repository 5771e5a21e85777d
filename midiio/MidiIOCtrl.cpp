// MidiIO: construction and destruction, the port table, the clock and the
// dispatch table. The store, queue and timers are in MidiIOEvents.cpp.
#include "midiio/MidiIOCtrl.h"

#include "midiio/TimerResolution.h"
#include "module/Trace.h"
#include "interface/Resources.h"
#include "ports/MidiPortDM.h"
#include "ports/MidiPortMM.h"
#include "ports/MidiPortVirtual.h"
#include "ports/ThreadWait.h"
#include "TAVRO_h.h"
#include "common/Wildcard.h"

#include <dmusicc.h>
#include <olectl.h>

namespace {

const tavro::DispatchEntry kDispatch[] = {
    TAVRO_DISP(DISPID_ABOUTBOX, "AboutBox", VT_EMPTY, &CMidiIOCtrl::AboutBox),
    TAVRO_DISP(1, "OpenMidiInPort", VT_BOOL, &CMidiIOCtrl::OpenMidiInPort),
    TAVRO_DISP(2, "GetMidiInPortCount", VT_I4, &CMidiIOCtrl::GetMidiInPortCount),
    TAVRO_DISP(3, "GetMidiOutPortCount", VT_I4, &CMidiIOCtrl::GetMidiOutPortCount),
    TAVRO_DISP(4, "GetMidiInPortName", VT_BSTR, &CMidiIOCtrl::GetMidiInPortName),
    TAVRO_DISP(5, "GetMidiOutPortName", VT_BSTR, &CMidiIOCtrl::GetMidiOutPortName),
    TAVRO_DISP(6, "OpenMidiOutPort", VT_BOOL, &CMidiIOCtrl::OpenMidiOutPort),
    TAVRO_DISP(7, "CloseMidiInPort", VT_BOOL, &CMidiIOCtrl::CloseMidiInPort),
    TAVRO_DISP(8, "CloseMidiOutPort", VT_BOOL, &CMidiIOCtrl::CloseMidiOutPort),
    TAVRO_DISP(9, "GetNextEvent", VT_I4, &CMidiIOCtrl::GetNextEvent),
    TAVRO_DISP(10, "SendMidiEvent", VT_BOOL, &CMidiIOCtrl::SendMidiEvent),
    TAVRO_DISP(11, "SetMidiInSysLen", VT_BOOL, &CMidiIOCtrl::SetMidiInSysLen),
    TAVRO_DISP(12, "SetMidiOutSysLen", VT_BOOL, &CMidiIOCtrl::SetMidiOutSysLen),
    TAVRO_DISP(13, "GetSystemTime", VT_I4, &CMidiIOCtrl::GetSystemTime),
    TAVRO_DISP(14, "GetMasterClockTime", VT_I4, &CMidiIOCtrl::GetMasterClockTime),
    TAVRO_DISP(15, "FindMidiInPort", VT_I4, &CMidiIOCtrl::FindMidiInPort),
    TAVRO_DISP(16, "FindMidiOutPort", VT_I4, &CMidiIOCtrl::FindMidiOutPort),
    TAVRO_DISP(17, "CreateTimer", VT_BOOL, &CMidiIOCtrl::CreateTimer),
    TAVRO_DISP(18, "KillTimer", VT_EMPTY, &CMidiIOCtrl::KillTimer),
    TAVRO_DISP(19, "GetMidiInEventCount", VT_I4, &CMidiIOCtrl::GetMidiInEventCount),
    TAVRO_DISP(20, "GetMidiOutEventCount", VT_I4, &CMidiIOCtrl::GetMidiOutEventCount),
    TAVRO_DISP(21, "ClearMidiInBuffer", VT_EMPTY, &CMidiIOCtrl::ClearMidiInBuffer),
    TAVRO_DISP(22, "ClearMidiOutBuffer", VT_EMPTY, &CMidiIOCtrl::ClearMidiOutBuffer),
    TAVRO_DISP(23, "EnableMidiInEventHandler", VT_EMPTY, &CMidiIOCtrl::EnableMidiInEventHandler),
    TAVRO_DISP(24, "SetMidiInMaxEventCount", VT_EMPTY, &CMidiIOCtrl::SetMidiInMaxEventCount),
    TAVRO_DISP(25, "GetMidiInPortType", VT_I4, &CMidiIOCtrl::GetMidiInPortType),
    TAVRO_DISP(26, "GetMidiOutPortType", VT_I4, &CMidiIOCtrl::GetMidiOutPortType),
    TAVRO_DISP(27, "GetMidiInEvent", VT_I4, &CMidiIOCtrl::GetMidiInEvent),
    TAVRO_DISP(28, "DeleteMidiInEvents", VT_I4, &CMidiIOCtrl::DeleteMidiInEvents),
};

} // namespace

const tavro::ControlClass CMidiIOCtrl::kClass = {
    &CLSID_MidiIO,
    &DIID__DMidiIO,
    &DIID__DMidiIOEvents,
    L"TAVRO.MidiIOCtrl.1",
    tavro::MakeDispatchTable(kDispatch),
    tavro::kControlMiscStatus,
    IDD_ABOUTBOX_MIDIIO,
    &CLSID_MidiIOPropPage,
};

IUnknown* CMidiIOCtrl::Create()
{
    return static_cast<IDispatch*>(new CMidiIOCtrl);
}

CMidiIOCtrl::CMidiIOCtrl() : ControlBase(kClass)
{
    // The window already exists (a member); it reaches the control from now on.
    m_notifyWnd.SetOwner(this);

    // System ports; the device count is asked again after each port.
    for (UINT i = 0; i < midiInGetNumDevs(); ++i)
        AddPort<CMidiPortMM>(kIn, i);
    for (UINT i = 0; i < midiOutGetNumDevs(); ++i)
        AddPort<CMidiPortMM>(kOut, i);

    // The master clock comes from DirectMusic.
    HRESULT hr = CoInitialize(nullptr);
    comInitialized_ = SUCCEEDED(hr);
    if (SUCCEEDED(CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IDirectMusic8, reinterpret_cast<void**>(&m_pDirectMusic))) &&
        m_pDirectMusic) {
        m_pDirectMusic->SetDirectSound(nullptr, m_notifyWnd.GetSafeHwnd());
        m_pDirectMusic->GetMasterClock(nullptr, &m_pMasterClock);
        // Its ports in enumeration order, inputs to the input table and every
        // other class to the output table. A failing enumeration only leaves
        // them out: the clock stays.
        for (DWORD index = 0;; ++index) {
            DMUS_PORTCAPS caps = {};
            caps.dwSize = sizeof caps;
            if (m_pDirectMusic->EnumPort(index, &caps) != S_OK)
                break;
            AddPort<CMidiPortDM>(caps.dwClass == DMUS_PC_INPUTCLASS ? kIn : kOut, index, m_pDirectMusic);
        }
    }

    // The 32 virtual pairs close both tables: input k, then output k.
    for (uint32_t k = 0; k < kVirtualPortCount; ++k) {
        AddPort<CMidiPortVirtual>(kIn, k);
        AddPort<CMidiPortVirtual>(kOut, k);
    }

    tavro::BeginTimerResolution();
}

CMidiIOCtrl::~CMidiIOCtrl()
{
    // Nothing sent to the window reaches the control from here on (waits
    // below answer sent messages, and the window outlives this body).
    m_notifyWnd.SetOwner(nullptr);
    KillTimer();
    StopSendTimer();
    outQueue_.ClearMidiOutBuffer(0);
    // A tick that found the control before its timer stopped may still be
    // sending, perhaps to this thread's window: answer while waiting. A tick
    // is bounded by the ports' delivery timeouts.
    WaitUntilAnsweringSent([this] { return ticksRunning_ == 0; }, INFINITE);
    tavro::EndTimerResolution();

    // Ports close themselves; no callback runs after this.
    ports_[kIn].clear();
    ports_[kOut].clear();

    inStore_.ClearMidiInBuffer(0);
    outQueue_.ClearMidiOutBuffer(0);
    if (m_pMasterClock)
        m_pMasterClock->Release();
    if (m_pDirectMusic)
        m_pDirectMusic->Release();
    if (comInitialized_)
        CoUninitialize();
}

// ---- Clock --------------------------------------------------------------

int64_t CMidiIOCtrl::ReadMasterClock()
{
    REFERENCE_TIME now = 0;
    if (!m_pMasterClock || FAILED(m_pMasterClock->GetTime(&now)))
        return 0;
    return now;
}

long CMidiIOCtrl::GetSystemTime()
{
    return static_cast<long>(timeGetTime());
}

long CMidiIOCtrl::GetMasterClockTime()
{
    return tavro::ScriptTimeFromReference(ReadMasterClock());
}

// ---- Ports --------------------------------------------------------------

template <class Port, class... Extra>
void CMidiIOCtrl::AddPort(Direction dir, uint32_t deviceIndex, Extra... extra)
{
    auto& table = ports_[dir];
    table.push_back(
        std::make_unique<Port>(this, static_cast<uint32_t>(table.size() + 1), deviceIndex, dir == kIn, extra...));
}

CMidiPort* CMidiIOCtrl::Port(Direction dir, long portID) const
{
    return portID != 0 && IsAllOrPortId(dir, portID) ? ports_[dir][portID - 1].get() : nullptr;
}

bool CMidiIOCtrl::IsAllOrPortId(Direction dir, long portID) const
{
    return portID >= 0 && static_cast<size_t>(portID) <= ports_[dir].size();
}

std::string CMidiIOCtrl::NoPort(Direction dir, long portID) const
{
    const char* kind = dir == kIn ? "input" : "output";
    const size_t n = ports_[dir].size();
    return "no " + std::string(kind) + " port " + std::to_string(portID) +
           (n ? " (ports are 1 to " + std::to_string(n) + ")" : " (there are none)");
}

BOOL CMidiIOCtrl::OpenPort(Direction dir, long portID)
{
    const char* method = dir == kIn ? "OpenMidiInPort" : "OpenMidiOutPort";
    CMidiPort* port = Port(dir, portID);
    if (!port) {
        TAVRO_TRACE("MidiIO", method, std::to_string(portID), NoPort(dir, portID));
        return FALSE;
    }
    TAVRO_NOTE(std::string()); // no earlier call's note may pass for this one's
    if (!port->Open()) {
        TAVRO_TRACE("MidiIO", method, std::to_string(portID),
                    tavro::TraceQuote(port->GetName()) + " did not open: " + tavro::TakeFailure("no reason given"));
        return FALSE;
    }
    return TRUE;
}

long CMidiIOCtrl::PortCount(Direction dir) const
{
    return static_cast<long>(ports_[dir].size());
}

BSTR CMidiIOCtrl::PortName(Direction dir, long portID)
{
    CMidiPort* port = Port(dir, portID);
    if (!port) {
        TAVRO_TRACE("MidiIO", dir == kIn ? "GetMidiInPortName" : "GetMidiOutPortName", std::to_string(portID),
                    NoPort(dir, portID));
        return nullptr;
    }
    return port->GetNameBSTR();
}

BOOL CMidiIOCtrl::ClosePort(Direction dir, long portID)
{
    const char* method = dir == kIn ? "CloseMidiInPort" : "CloseMidiOutPort";
    if (!IsAllOrPortId(dir, portID)) {
        TAVRO_TRACE("MidiIO", method, std::to_string(portID), NoPort(dir, portID));
        return FALSE;
    }
    // Queued output of a closed port is never sent later; input stored until
    // the port has closed (it may arrive while the close waits) is discarded.
    if (dir == kOut)
        ClearMidiOutBuffer(portID);
    BOOL closed = TRUE;
    if (portID == 0) {
        for (auto& port : ports_[dir])
            port->Close();
    } else {
        TAVRO_NOTE(std::string());
        closed = Port(dir, portID)->Close();
        if (!closed)
            TAVRO_TRACE("MidiIO", method, std::to_string(portID), tavro::TakeFailure("the port did not close"));
    }
    if (dir == kIn)
        ClearMidiInBuffer(portID);
    return closed;
}

BOOL CMidiIOCtrl::SetSysLen(Direction dir, long portID, long maxDataLen)
{
    const char* method = dir == kIn ? "SetMidiInSysLen" : "SetMidiOutSysLen";
    CMidiPort* port = Port(dir, portID);
    if (!port) {
        TAVRO_TRACE("MidiIO", method, std::to_string(portID) + ", " + std::to_string(maxDataLen), NoPort(dir, portID));
        return FALSE;
    }
    if (!port->SetSysExSize(static_cast<uint32_t>(maxDataLen))) {
        TAVRO_TRACE("MidiIO", method, std::to_string(portID) + ", " + std::to_string(maxDataLen),
                    "a length of " + std::to_string(maxDataLen) + " is refused (0 to 65535, or -1 for 512)");
        return FALSE;
    }
    return TRUE;
}

long CMidiIOCtrl::PortType(Direction dir, long portID)
{
    CMidiPort* port = Port(dir, portID);
    if (!port) {
        TAVRO_TRACE("MidiIO", dir == kIn ? "GetMidiInPortType" : "GetMidiOutPortType", std::to_string(portID),
                    NoPort(dir, portID));
        return 0;
    }
    return static_cast<long>(port->GetKind());
}

long CMidiIOCtrl::FindPort(Direction dir, const std::string& portName, long portType)
{
    const uint32_t mask = portType >= 1 ? static_cast<uint32_t>(portType) : 7u;
    std::string pattern = portName;
    if (!pattern.empty())
        CharLowerBuffA(pattern.data(), static_cast<DWORD>(pattern.size()));
    for (const auto& port : ports_[dir]) {
        if ((port->GetKind() & mask) != port->GetKind())
            continue;
        std::string name = port->GetName();
        if (!name.empty())
            CharLowerBuffA(name.data(), static_cast<DWORD>(name.size()));
        if (tavro::WildcardMatch(name.c_str(), pattern.c_str()))
            return static_cast<long>(port->portNumber);
    }
    TAVRO_TRACE("MidiIO", dir == kIn ? "FindMidiInPort" : "FindMidiOutPort",
                tavro::TraceQuote(portName) + ", " + std::to_string(portType),
                "no " + std::string(dir == kIn ? "input" : "output") + " port of the kinds " + std::to_string(mask) +
                    " matches the pattern");
    return 0;
}
