// MidiIO: construction and destruction, the port table, the clock and the
// dispatch table. The store, queue and timers are in MidiIOEvents.cpp.
#include "midiio/MidiIOCtrl.h"

#include "ocx/Resources.h"
#include "ports/MidiPortMM.h"
#include "ports/MidiPortVirtual.h"
#include "TAVRO_h.h"
#include "tools/Wildcard.h"

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
    &CLSID_MidiIO, &DIID__DMidiIO, &DIID__DMidiIOEvents, L"TAVRO.MidiIOCtrl.1", tavro::MakeDispatchTable(kDispatch),
    tavro::kControlMiscStatus, IDD_ABOUTBOX_MIDIIO, &CLSID_MidiIOPropPage,
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
        m_inPorts.push_back(std::make_unique<CMidiPortMM>(this, static_cast<uint32_t>(m_inPorts.size() + 1), i, true));
    for (UINT i = 0; i < midiOutGetNumDevs(); ++i)
        m_outPorts.push_back(
            std::make_unique<CMidiPortMM>(this, static_cast<uint32_t>(m_outPorts.size() + 1), i, false));

    // The master clock comes from DirectMusic.
    HRESULT hr = CoInitialize(nullptr);
    m_comInitialized = SUCCEEDED(hr);
    if (SUCCEEDED(CoCreateInstance(CLSID_DirectMusic, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IDirectMusic8, reinterpret_cast<void**>(&m_pDirectMusic)))
        && m_pDirectMusic) {
        m_pDirectMusic->SetDirectSound(nullptr, m_notifyWnd.GetSafeHwnd());
        m_pDirectMusic->GetMasterClock(nullptr, &m_pMasterClock);
    }

    // The 32 virtual pairs close both tables: input k, then output k.
    for (uint32_t k = 0; k < kVirtualPortCount; ++k) {
        m_inPorts.push_back(
            std::make_unique<CMidiPortVirtual>(this, static_cast<uint32_t>(m_inPorts.size() + 1), k, true));
        m_outPorts.push_back(
            std::make_unique<CMidiPortVirtual>(this, static_cast<uint32_t>(m_outPorts.size() + 1), k, false));
    }

    timeBeginPeriod(1);
}

CMidiIOCtrl::~CMidiIOCtrl()
{
    KillTimer();
    StopSendTimer();
    timeEndPeriod(1);

    // Ports close themselves; no callback runs after this.
    m_inPorts.clear();
    m_outPorts.clear();

    m_inStore.ClearMidiInBuffer(0);
    m_outQueue.ClearMidiOutBuffer(0);
    if (m_pMasterClock)
        m_pMasterClock->Release();
    if (m_pDirectMusic)
        m_pDirectMusic->Release();
    if (m_comInitialized)
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

CMidiPort* CMidiIOCtrl::InPort(long portID) const
{
    return portID >= 1 && static_cast<size_t>(portID) <= m_inPorts.size() ? m_inPorts[portID - 1].get() : nullptr;
}

CMidiPort* CMidiIOCtrl::OutPort(long portID) const
{
    return portID >= 1 && static_cast<size_t>(portID) <= m_outPorts.size() ? m_outPorts[portID - 1].get() : nullptr;
}

BOOL CMidiIOCtrl::OpenMidiInPort(long portID)
{
    CMidiPort* port = InPort(portID);
    return port && port->Open();
}

BOOL CMidiIOCtrl::OpenMidiOutPort(long portID)
{
    CMidiPort* port = OutPort(portID);
    return port && port->Open();
}

long CMidiIOCtrl::GetMidiInPortCount()
{
    return static_cast<long>(m_inPorts.size());
}

long CMidiIOCtrl::GetMidiOutPortCount()
{
    return static_cast<long>(m_outPorts.size());
}

std::string CMidiIOCtrl::GetMidiInPortName(long portID)
{
    CMidiPort* port = InPort(portID);
    return port ? port->GetName() : std::string();
}

std::string CMidiIOCtrl::GetMidiOutPortName(long portID)
{
    CMidiPort* port = OutPort(portID);
    return port ? port->GetName() : std::string();
}

BOOL CMidiIOCtrl::CloseMidiInPort(long portID)
{
    if (portID < 0 || static_cast<size_t>(portID) > m_inPorts.size())
        return FALSE;
    ClearMidiInBuffer(portID);
    if (portID == 0) {
        for (auto& port : m_inPorts)
            port->Close();
        return TRUE;
    }
    return InPort(portID)->Close();
}

BOOL CMidiIOCtrl::CloseMidiOutPort(long portID)
{
    if (portID < 0 || static_cast<size_t>(portID) > m_outPorts.size())
        return FALSE;
    // Queued messages of a closed port are never sent later.
    ClearMidiOutBuffer(portID);
    if (portID == 0) {
        for (auto& port : m_outPorts)
            port->Close();
        return TRUE;
    }
    return OutPort(portID)->Close();
}

BOOL CMidiIOCtrl::SetMidiInSysLen(long portID, long maxDataLen)
{
    CMidiPort* port = InPort(portID);
    return port && port->SetSysExSize(static_cast<uint32_t>(maxDataLen));
}

BOOL CMidiIOCtrl::SetMidiOutSysLen(long portID, long maxDataLen)
{
    CMidiPort* port = OutPort(portID);
    return port && port->SetSysExSize(static_cast<uint32_t>(maxDataLen));
}

long CMidiIOCtrl::GetMidiInPortType(long portID)
{
    CMidiPort* port = InPort(portID);
    return port ? static_cast<long>(port->GetKind()) : 0;
}

long CMidiIOCtrl::GetMidiOutPortType(long portID)
{
    CMidiPort* port = OutPort(portID);
    return port ? static_cast<long>(port->GetKind()) : 0;
}

long CMidiIOCtrl::FindPort(const std::vector<std::unique_ptr<CMidiPort>>& ports, const std::string& portName,
                           long portType)
{
    const uint32_t mask = portType >= 1 ? static_cast<uint32_t>(portType) : 7u;
    std::string pattern = portName;
    if (!pattern.empty())
        CharLowerBuffA(pattern.data(), static_cast<DWORD>(pattern.size()));
    for (const auto& port : ports) {
        if ((port->GetKind() & mask) != port->GetKind())
            continue;
        std::string name = port->GetName();
        if (!name.empty())
            CharLowerBuffA(name.data(), static_cast<DWORD>(name.size()));
        if (tavro::WildcardMatch(name.c_str(), pattern.c_str()))
            return static_cast<long>(port->portNumber);
    }
    return 0;
}

long CMidiIOCtrl::FindMidiInPort(const std::string& portName, long portType)
{
    return FindPort(m_inPorts, portName, portType);
}

long CMidiIOCtrl::FindMidiOutPort(const std::string& portName, long portType)
{
    return FindPort(m_outPorts, portName, portType);
}
