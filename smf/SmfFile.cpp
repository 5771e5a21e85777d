// Reading and writing a whole MIDI file through the header and track chunks.
#include "smf/SmfFile.h"

#include "smf/SmfArchive.h"

#include <new>

namespace tavro {

void CSmfTrackList::Clear()
{
    while (CSmfTrack* t = head_.NextTrack())
        t->~CSmfTrack(); // takes it out of the list; its memory goes with the arena
    arena_.Release();
    last_ = &head_;
    cursor_ = nullptr;
    count_ = 0;
}

CSmfTrack* CSmfTrackList::Last()
{
    while (CSmfTrack* next = last_->NextTrack())
        last_ = next;
    return last_;
}

CSmfTrack* CSmfTrackList::Append(int32_t number)
{
    CSmfTrack* track = NewTrack(number);
    track->LinkAfter(Last());
    last_ = track;
    ++count_;
    return track;
}

CSmfTrack* CSmfTrackList::NewTrack(int32_t number)
{
    return new (arena_.Allocate(sizeof(CSmfTrack))) CSmfTrack(number, &arena_);
}

CSmfTrack* CSmfTrackList::Next()
{
    CSmfTrack* t = cursor_;
    if (t)
        cursor_ = t->NextTrack();
    return t;
}

int32_t CSmfTrackList::Read(SmfArchive& ar, uint64_t offset, SmfReadStatus* status)
{
    Clear();
    CSmfTrack* last = &head_;
    for (;;) {
        CSmfTrack* track = NewTrack(count_ + 1);
        const bool read = track->Read(ar);
        if (status && track->readStop != SmfReadStop::kEnd) {
            *status = {track->readStop, count_ + 1, offset + track->readBytes};
            status = nullptr; // only the first loss counts; after it the data has ended
        }
        offset += track->readBytes;
        if (!read) {
            track->~CSmfTrack();
            break;
        }
        track->LinkAfter(last);
        last = track;
        ++count_;
    }
    if (status)
        *status = {SmfReadStop::kEnd, count_, offset};
    last_ = last;
    return count_;
}

void CSmfFile::Reset()
{
    header_.format = 0;
    header_.trackCount = 0;
    header_.division = 0;
    tracks_.Clear();
    readStatus_ = {};
}

int32_t CSmfFile::GetTrackCount() const
{
    int32_t n = 0;
    for (CSmfTrack* t = tracks_.First(); t; t = t->NextTrack())
        ++n;
    return n;
}

void CSmfFile::Serialize(SmfArchive& ar)
{
    if (ar.IsStoring()) {
        Store(ar);
        return;
    }
    Reset();
    // Without a header there is no telling where tracks would start, and the
    // caller could not scale their times: such a stream reads as empty.
    if (!header_.Read(ar)) {
        Reset();
        readStatus_ = {header_.readStop, 0, 0};
        return;
    }
    tracks_.Read(ar, header_.readBytes, &readStatus_);
    if (header_.readStop != SmfReadStop::kEnd)
        readStatus_ = {header_.readStop, 0, 0};
}

void CSmfFile::Store(SmfArchive& ar)
{
    int32_t count = GetTrackCount();
    // The header holds the count modulo 65536; every track is written.
    header_.trackCount = static_cast<uint16_t>(count & 0xFFFF);
    header_.format = count > 1 ? 1 : 0;
    header_.Write(ar);
    for (CSmfTrack* t = tracks_.First(); t; t = t->NextTrack())
        t->Write(ar);
}

} // namespace tavro
