// System MIDI ports: open with a callback, short and long messages through
// one prepared header, time stamps on the system millisecond clock.
#include "ports/MidiPortMM.h"

#include "module/Module.h"
#include "ports/ThreadWait.h"
#include "module/Trace.h"

std::atomic<DWORD> g_openTime{0};

namespace {
constexpr DWORD kCloseWaitMs = 4000;

// "midiOutOpen: <the multimedia system's text> (error 4)".
std::string MidiErrorText(bool isInput, const char* call, MMRESULT rc)
{
    char text[MAXERRORLENGTH] = {};
    if ((isInput ? midiInGetErrorTextA(rc, text, sizeof text) : midiOutGetErrorTextA(rc, text, sizeof text)) !=
            MMSYSERR_NOERROR ||
        !text[0])
        return std::string(call) + ": " + tavro::ErrorText(rc);
    return std::string(call) + ": " + text + " (error " + std::to_string(rc) + ")";
}

} // namespace

CMidiPortMM::CMidiPortMM(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput)
    : CMidiPort(owner, portNumber, deviceIndex, isInput, PORT_KIND_MM)
{
    // A failing query leaves the record zero: the name is empty.
    if (isInput)
        midiInGetDevCapsA(deviceIndex, &caps_.in, sizeof caps_.in);
    else
        midiOutGetDevCapsA(deviceIndex, &caps_.out, sizeof caps_.out);
}

CMidiPortMM::~CMidiPortMM()
{
    Close();
}

const std::string& CMidiPortMM::GetName()
{
    if (name.empty()) {
        const char* product = isInput ? caps_.in.szPname : caps_.out.szPname;
        name.assign(product, strnlen(product, MAXPNAMELEN));
    }
    return name;
}

void CMidiPortMM::Signal()
{
    if (event_)
        SetEvent(event_);
}

bool CMidiPortMM::Open()
{
    std::lock_guard<std::mutex> lock(openCloseLock_);
    CloseLocked();
    MMRESULT rc = isInput ? midiInOpen(&hIn_, deviceIndex, reinterpret_cast<DWORD_PTR>(&InputCallback),
                                       reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION)
                          : midiOutOpen(&hOut_, deviceIndex, reinterpret_cast<DWORD_PTR>(&OutputCallback),
                                        reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (rc != MMSYSERR_NOERROR) {
        hIn_ = nullptr;
        hOut_ = nullptr;
        TAVRO_NOTE(MidiErrorText(isInput, isInput ? "midiInOpen" : "midiOutOpen", rc));
        return false;
    }
    g_openTime = timeGetTime();

    if (sysExSize != 0) {
        header_ = MIDIHDR{};
        memory_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, sysExSize);
        data_ = memory_ ? static_cast<char*>(GlobalLock(memory_)) : nullptr;
        if (!data_) {
            TAVRO_NOTE("no memory for a system-exclusive buffer of " + std::to_string(sysExSize) + " bytes");
            CloseLocked();
            return false;
        }
        header_.lpData = data_;
        header_.dwBufferLength = sysExSize;
        if (isInput) {
            if ((rc = midiInPrepareHeader(hIn_, &header_, sizeof header_)) != MMSYSERR_NOERROR)
                TAVRO_NOTE(MidiErrorText(true, "midiInPrepareHeader", rc));
            else if ((rc = midiInAddBuffer(hIn_, &header_, sizeof header_)) != MMSYSERR_NOERROR)
                TAVRO_NOTE(MidiErrorText(true, "midiInAddBuffer", rc));
        } else if ((rc = midiOutPrepareHeader(hOut_, &header_, sizeof header_)) != MMSYSERR_NOERROR) {
            TAVRO_NOTE(MidiErrorText(false, "midiOutPrepareHeader", rc));
        }
        if (rc != MMSYSERR_NOERROR) {
            CloseLocked();
            return false;
        }
    }
    // Made after the open, so the open notification does not signal it.
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // Deliveries start once isOpen is set: set before the input starts, so
    // the first message is not lost. Sends see the handles set above.
    {
        std::lock_guard<std::mutex> sends(portLock_);
        isOpen = true;
    }
    if (isInput && (rc = midiInStart(hIn_)) != MMSYSERR_NOERROR) {
        TAVRO_NOTE(MidiErrorText(true, "midiInStart", rc));
        CloseLocked();
        return false;
    }
    return true;
}

bool CMidiPortMM::Close()
{
    std::lock_guard<std::mutex> lock(openCloseLock_);
    return CloseLocked();
}

bool CMidiPortMM::CloseLocked()
{
    if (!hIn_ && !hOut_)
        return true;
    {
        // From here on no send starts, and the callbacks deliver nothing and
        // give no buffer back.
        std::lock_guard<std::mutex> sends(portLock_);
        std::lock_guard<std::mutex> lock(requeueLock_);
        isOpen = false;
    }
    if (isInput) {
        midiInStop(hIn_);
        midiInReset(hIn_);
    } else {
        midiOutReset(hOut_);
    }
    if (data_) {
        if (event_ && (header_.dwFlags & MHDR_DONE))
            WaitAnsweringSent(event_, kCloseWaitMs);
        if (isInput)
            midiInUnprepareHeader(hIn_, &header_, sizeof header_);
        else
            midiOutUnprepareHeader(hOut_, &header_, sizeof header_);
    }
    if (memory_) {
        GlobalUnlock(memory_);
        GlobalFree(memory_);
    }
    data_ = nullptr;
    memory_ = nullptr;
    if (isInput)
        midiInClose(hIn_);
    else
        midiOutClose(hOut_);
    if (event_) {
        WaitAnsweringSent(event_, kCloseWaitMs); // the close notification
        CloseHandle(event_);
        event_ = nullptr;
    }
    hIn_ = nullptr;
    hOut_ = nullptr;
    return true;
}

bool CMidiPortMM::CanSend()
{
    return !isInput && hOut_ && isOpen;
}

bool CMidiPortMM::SendBytes(const std::vector<uint8_t>& bytes)
{
    if (isInput)
        return false;
    std::lock_guard<std::mutex> lock(portLock_);
    if (!isOpen || !hOut_) {
        TAVRO_NOTE("the port is not open");
        return false;
    }
    if (bytes.size() == 3) {
        DWORD packed = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16);
        const MMRESULT rc = midiOutShortMsg(hOut_, packed);
        if (rc != MMSYSERR_NOERROR) {
            TAVRO_NOTE(MidiErrorText(false, "midiOutShortMsg", rc));
            return false;
        }
        return true;
    }
    return SendLong(bytes);
}

bool CMidiPortMM::SendLong(const std::vector<uint8_t>& bytes)
{
    if (!data_ || bytes.size() > sysExSize) {
        TAVRO_NOTE("a message of " + std::to_string(bytes.size()) + " bytes does not fit the port's buffer (" +
                   std::to_string(sysExSize) + " bytes, SetMidiOutSysLen)");
        return false;
    }
    // Fails while the previous long message is still being played.
    MMRESULT rc = midiOutUnprepareHeader(hOut_, &header_, sizeof header_);
    if (rc != MMSYSERR_NOERROR) {
        TAVRO_NOTE(MidiErrorText(false, "midiOutUnprepareHeader (the previous long message still plays)", rc));
        return false;
    }
    header_.dwBufferLength = static_cast<DWORD>(bytes.size());
    if (!bytes.empty())
        memcpy(data_, bytes.data(), bytes.size());
    if ((rc = midiOutPrepareHeader(hOut_, &header_, sizeof header_)) != MMSYSERR_NOERROR) {
        TAVRO_NOTE(MidiErrorText(false, "midiOutPrepareHeader", rc));
        return false;
    }
    if ((rc = midiOutLongMsg(hOut_, &header_, sizeof header_)) != MMSYSERR_NOERROR) {
        TAVRO_NOTE(MidiErrorText(false, "midiOutLongMsg", rc));
        return false;
    }
    return true;
}

void CALLBACK CMidiPortMM::InputCallback(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    tavro::ModuleCodeScope running;
    reinterpret_cast<CMidiPortMM*>(instance)->OnInput(msg, param1, param2);
}

void CMidiPortMM::OnInput(UINT msg, DWORD_PTR param1, DWORD_PTR param2)
{
    switch (msg) {
    case MIM_OPEN:
    case MIM_CLOSE:
        Signal();
        break;
    case MIM_DATA:
    case MIM_MOREDATA:
        if (isOpen) {
            int64_t now = owner->ReadMasterClock();
            int64_t stamp =
                (static_cast<int64_t>(g_openTime.load()) + static_cast<int64_t>(param2 & 0xFFFFFFFF)) * 10000;
            const uint8_t bytes[3] = {static_cast<uint8_t>(param1), static_cast<uint8_t>(param1 >> 8),
                                      static_cast<uint8_t>(param1 >> 16)};
            owner->AddInputEvent(this, now, stamp, 3, bytes);
        }
        break;
    case MIM_LONGDATA: {
        bool requeued = false;
        if (isOpen && header_.dwBytesRecorded != 0) {
            int64_t now = owner->ReadMasterClock();
            int64_t stamp =
                (static_cast<int64_t>(g_openTime.load()) + static_cast<int64_t>(param2 & 0xFFFFFFFF)) * 10000;
            owner->AddInputEvent(this, now, stamp, header_.dwBytesRecorded,
                                 reinterpret_cast<const uint8_t*>(header_.lpData));
            header_.dwBytesRecorded = 0;
            // A close that began meanwhile has reset the device already: the
            // buffer stays here and the close is told it is done (below).
            std::lock_guard<std::mutex> lock(requeueLock_);
            if (isOpen)
                requeued = midiInAddBuffer(hIn_, &header_, sizeof header_) == MMSYSERR_NOERROR;
        }
        if (!requeued && !isOpen && (header_.dwFlags & MHDR_DONE))
            Signal();
        break;
    }
    default:
        break;
    }
}

void CALLBACK CMidiPortMM::OutputCallback(HMIDIOUT, UINT msg, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    tavro::ModuleCodeScope running;
    auto* port = reinterpret_cast<CMidiPortMM*>(instance);
    if (msg == MOM_CLOSE)
        port->Signal();
    else if (msg == MOM_DONE && port->isOpen && (port->header_.dwFlags & MHDR_DONE))
        port->Signal();
}
