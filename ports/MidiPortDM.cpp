// DirectMusic ports: opened by their enumeration index, one event buffer
// per port, sending by writing one event straight into the buffer's memory,
// receiving on a reader thread woken by DirectMusic's read notification.
#include "ports/MidiPortDM.h"

#include "module/ComUtil.h"
#include "module/Module.h"
#include "module/Trace.h"

#include <cstring>
#include <cwchar>

namespace {

// The event header of a DirectMusic buffer: size, channel group, time
// offset, flags; the message bytes follow it.
constexpr DWORD kEventHeaderSize = 20;
static_assert(offsetof(DMUS_EVENTHEADER, dwFlags) + sizeof(DWORD) == kEventHeaderSize, "event header layout");
static_assert(sizeof(DMUS_PORTCAPS) == 308 && sizeof(DMUS_PORTPARAMS8) == 36 && sizeof(DMUS_BUFFERDESC) == 28,
              "DirectMusic record sizes");

template <class I>
void ReleaseAndClear(I*& p)
{
    if (p)
        p->Release();
    p = nullptr;
}

void CloseAndClear(HANDLE& h)
{
    if (h)
        CloseHandle(h);
    h = nullptr;
}

// What the reader thread needs, with its own references: a close that gave
// up waiting for it cannot pull the port or the buffer from under it.
struct ReaderArgs {
    CMidiPortDM* self;
    IDirectMusicPort* port;
    IDirectMusicBuffer* buffer;
    HANDLE notify;
    HANDLE exit;
};

} // namespace

CMidiPortDM::CMidiPortDM(MidiPortOwner* owner, uint32_t portNumber, uint32_t deviceIndex, bool isInput,
                         IDirectMusic8* directMusic)
    : CMidiPort(owner, portNumber, deviceIndex, isInput, PORT_KIND_DM), directMusic_(directMusic)
{
    caps_.dwSize = sizeof caps_;
    if (directMusic_)
        directMusic_->EnumPort(deviceIndex, &caps_);
}

CMidiPortDM::~CMidiPortDM()
{
    Close();
}

DWORD CMidiPortDM::BufferCapacity(uint32_t sysExSize)
{
    if (sysExSize + kEventHeaderSize < 64)
        return 64;
    return (sysExSize + 7) & ~7u;
}

const std::string& CMidiPortDM::GetName()
{
    if (name.empty())
        name = tavro::ToAnsi(caps_.wszDescription, wcsnlen(caps_.wszDescription, DMUS_MAX_DESCRIPTION));
    return name;
}

BSTR CMidiPortDM::GetNameBSTR()
{
    // Straight from the wide description: no character is lost to the
    // ANSI code page.
    return SysAllocStringLen(caps_.wszDescription,
                             static_cast<UINT>(wcsnlen(caps_.wszDescription, DMUS_MAX_DESCRIPTION)));
}

bool CMidiPortDM::Open()
{
    std::lock_guard<std::mutex> lock(portLock_);
    CloseLocked();
    if (!directMusic_) {
        TAVRO_NOTE("DirectMusic is not available");
        return false;
    }
    caps_ = DMUS_PORTCAPS{};
    caps_.dwSize = sizeof caps_;
    HRESULT hr = directMusic_->EnumPort(deviceIndex, &caps_);
    if (hr != S_OK) {
        TAVRO_NOTE("DirectMusic no longer lists the port: " + tavro::HresultText(hr));
        return false;
    }
    params_ = DMUS_PORTPARAMS8{};
    params_.dwSize = sizeof params_;
    hr = directMusic_->CreatePort(caps_.guidPort, reinterpret_cast<DMUS_PORTPARAMS*>(&params_), &port_, nullptr);
    if (FAILED(hr) || !port_) {
        port_ = nullptr;
        TAVRO_NOTE("IDirectMusic8::CreatePort: " + tavro::HresultText(hr));
        return false;
    }
    bufferDesc_ = DMUS_BUFFERDESC{};
    bufferDesc_.dwSize = sizeof bufferDesc_;
    bufferDesc_.cbBuffer = BufferCapacity(sysExSize);
    if (FAILED(hr = directMusic_->CreateMusicBuffer(&bufferDesc_, &buffer_, nullptr)) || !buffer_)
        return OpenFailed("IDirectMusic8::CreateMusicBuffer", hr);
    if (FAILED(hr = port_->Activate(TRUE)))
        return OpenFailed("IDirectMusicPort::Activate", hr);
    if (FAILED(hr = directMusic_->GetMasterClock(nullptr, &clock_)))
        return OpenFailed("IDirectMusic8::GetMasterClock", hr);
    if (!isInput) {
        isOpen = true;
        return true;
    }

    notifyEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    exitEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!notifyEvent_ || !exitEvent_)
        return OpenFailed("CreateEvent", HRESULT_FROM_WIN32(GetLastError()));
    if (FAILED(hr = port_->SetReadNotificationHandle(notifyEvent_)))
        return OpenFailed("IDirectMusicPort::SetReadNotificationHandle", hr);
    isOpen = true;
    auto* args = new ReaderArgs{this, port_, buffer_, notifyEvent_, exitEvent_};
    port_->AddRef();
    buffer_->AddRef();
    thread_ = CreateThread(nullptr, 0, &ReaderThread, args, 0, &threadId_);
    if (!thread_) {
        hr = HRESULT_FROM_WIN32(GetLastError());
        port_->Release();
        buffer_->Release();
        delete args;
        return OpenFailed("CreateThread", hr);
    }
    return true;
}

bool CMidiPortDM::OpenFailed(const char* call, HRESULT hr)
{
    TAVRO_NOTE(std::string(call) + ": " + tavro::HresultText(hr));
    CloseLocked();
    return false;
}

bool CMidiPortDM::Close()
{
    std::lock_guard<std::mutex> lock(portLock_);
    return CloseLocked();
}

bool CMidiPortDM::CloseLocked()
{
    if (isOpen) {
        isOpen = false;
        if (isInput && port_) {
            port_->SetReadNotificationHandle(nullptr);
            // Wakes the reader, which sees isOpen cleared and ends.
            if (notifyEvent_)
                SetEvent(notifyEvent_);
            if (exitEvent_)
                WaitForSingleObject(exitEvent_, kCloseWaitMs);
        }
    }
    // Closed only now: the reader may still be about to wait on it.
    CloseAndClear(notifyEvent_);
    CloseAndClear(exitEvent_);
    CloseAndClear(thread_);
    threadId_ = 0;
    if (port_) {
        port_->Activate(FALSE);
        ReleaseAndClear(port_);
    }
    ReleaseAndClear(clock_);
    ReleaseAndClear(buffer_);
    return true;
}

bool CMidiPortDM::CanSend()
{
    return !isInput && port_ && isOpen;
}

bool CMidiPortDM::SendBytes(const std::vector<uint8_t>& bytes)
{
    if (isInput)
        return false;
    std::lock_guard<std::mutex> lock(portLock_);
    if (!port_ || !buffer_ || !isOpen) {
        TAVRO_NOTE("the port is not open");
        return false;
    }
    BYTE* raw = nullptr;
    HRESULT hr;
    if (FAILED(hr = buffer_->Flush()) || FAILED(hr = buffer_->GetRawBufferPtr(&raw)) || !raw ||
        FAILED(hr = buffer_->SetStartTime(0))) {
        TAVRO_NOTE("the DirectMusic buffer cannot be filled: " + tavro::HresultText(hr));
        return false;
    }
    const DWORD length = static_cast<DWORD>(bytes.size());
    // Refused when the event does not fit the buffer.
    if (FAILED(hr = buffer_->SetUsedBytes((length + kEventHeaderSize + 7) & ~7u))) {
        TAVRO_NOTE("a message of " + std::to_string(length) + " bytes does not fit the port's buffer (" +
                   std::to_string(sysExSize) + " bytes, SetMidiOutSysLen): " + tavro::HresultText(hr));
        return false;
    }
    DMUS_EVENTHEADER header = {};
    header.cbEvent = length;
    header.dwChannelGroup = 1;
    header.rtDelta = 0;
    header.dwFlags = length == 3 ? 0 : 1; // 1 marks a long message
    memcpy(raw, &header, kEventHeaderSize);
    if (length)
        memcpy(raw + kEventHeaderSize, bytes.data(), length);
    hr = port_->PlayBuffer(buffer_);
    if (hr != S_OK) {
        TAVRO_NOTE("IDirectMusicPort::PlayBuffer: " + tavro::HresultText(hr));
        return false;
    }
    return true;
}

DWORD WINAPI CMidiPortDM::ReaderThread(void* param)
{
    tavro::ModuleCodeScope running; // until the return, after the exit signal
    ReaderArgs args = *static_cast<ReaderArgs*>(param);
    delete static_cast<ReaderArgs*>(param);
    args.self->ReadEvents(args.port, args.buffer, args.notify);
    args.port->Release();
    args.buffer->Release();
    SetEvent(args.exit); // the last act: Close waits for it
    return 0;
}

void CMidiPortDM::ReadEvents(IDirectMusicPort* port, IDirectMusicBuffer* buffer, HANDLE notify)
{
    while (isOpen) {
        WaitForSingleObject(notify, INFINITE);
        // Only S_OK means events were read: S_FALSE is an empty port, and a
        // failure (a port that cannot read at all) must not spin.
        while (isOpen && port->Read(buffer) == S_OK) {
            buffer->ResetReadPtr();
            while (isOpen) {
                REFERENCE_TIME time = 0;
                DWORD group = 0, length = 0;
                BYTE* data = nullptr;
                if (buffer->GetNextEvent(&time, &group, &length, &data) != S_OK || !data)
                    break;
                // Without a system-exclusive buffer only 3-byte messages pass.
                if (length == 3 || sysExSize != 0)
                    owner->AddInputEvent(this, owner->ReadMasterClock(), time, length, data);
            }
        }
    }
}
