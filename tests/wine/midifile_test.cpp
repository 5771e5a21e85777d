// The MidiFile control through IDispatch, with script arrays that scripts
// cannot build: by-reference arrays, lower bounds other than 0, garbage in
// every level, huge time bases, and a clipboard without the format.
#include "smf/MidiFileCtrl.h"
#include "smf/SmfClipboard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

using tavro::Variant;

// ---- building script arrays (independent of the control's own builder) ----

VARIANT I4(long v)
{
    VARIANT r;
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}

VARIANT Text(const wchar_t* s)
{
    VARIANT r;
    r.vt = VT_BSTR;
    r.bstrVal = SysAllocString(s);
    return r;
}

VARIANT R8(double v)
{
    VARIANT r;
    r.vt = VT_R8;
    r.dblVal = v;
    return r;
}

// A VARIANT of type vt with a zero value (a null pointer for objects).
VARIANT Of(VARTYPE vt)
{
    VARIANT r = {};
    r.vt = vt;
    return r;
}

// An array VARIANT owning `elements`, indexed from `lower`.
VARIANT Arr(std::vector<VARIANT> elements, LONG lower = 0)
{
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, lower, static_cast<ULONG>(elements.size()));
    VARIANT* data = nullptr;
    SafeArrayAccessData(a, reinterpret_cast<void**>(&data));
    for (size_t i = 0; i < elements.size(); ++i)
        data[i] = elements[i]; // moved: the array frees them
    SafeArrayUnaccessData(a);
    VARIANT r;
    r.vt = VT_ARRAY | VT_VARIANT;
    r.parray = a;
    return r;
}

VARIANT Bytes(std::vector<long> values, LONG lower = 0)
{
    std::vector<VARIANT> e;
    for (long v : values)
        e.push_back(I4(v));
    return Arr(e, lower);
}

VARIANT Row(long time, std::vector<long> message) { return Arr({I4(time), Bytes(message)}); }
VARIANT Row(VARIANT time, VARIANT message) { return Arr({time, message}); }

// Arrays referenced by VT_BYREF elements live here until the test ends.
std::deque<VARIANT> referenced;

VARIANT RefTo(VARIANT array)
{
    referenced.push_back(array);
    VARIANT r;
    r.vt = VT_BYREF | VT_ARRAY | VT_VARIANT;
    r.pparray = &referenced.back().parray;
    return r;
}

// ---- reading script arrays back ----

// "[t:a,b,c | t:...][...]"; anything not VT_I4 or not based at 0 is marked.
std::string SongText(const VARIANT& song)
{
    auto items = [](const VARIANT& v, std::string& out) -> std::vector<VARIANT> {
        std::vector<VARIANT> r;
        if (v.vt != (VT_ARRAY | VT_VARIANT) || SafeArrayGetDim(v.parray) != 1) {
            out += "(not an array)";
            return r;
        }
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        if (lo != 0)
            out += "(lower bound " + std::to_string(lo) + ")";
        VARIANT* data = nullptr;
        SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data));
        r.assign(data, data + (hi - lo + 1));
        SafeArrayUnaccessData(v.parray);
        return r;
    };
    auto number = [](const VARIANT& v) {
        return v.vt == VT_I4 ? std::to_string(v.lVal) : "(vt " + std::to_string(v.vt) + ")";
    };
    if (song.vt == VT_EMPTY)
        return "(empty)";
    std::string out;
    for (const VARIANT& track : items(song, out)) {
        out += "[";
        bool first = true;
        for (const VARIANT& row : items(track, out)) {
            std::vector<VARIANT> fields = items(row, out);
            if (fields.size() != 2) {
                out += "(row of " + std::to_string(fields.size()) + ")";
                continue;
            }
            out += (first ? "" : " | ") + number(fields[0]) + ":";
            first = false;
            bool firstByte = true;
            for (const VARIANT& b : items(fields[1], out)) {
                out += (firstByte ? "" : ",") + number(b);
                firstByte = false;
            }
        }
        out += "]";
    }
    return out;
}

// ---- calling the control as a script engine does ----

class MidiFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        control_ = static_cast<IDispatch*>(CMidiFileCtrl::Create());
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "tavro_midifile_" + std::to_string(GetCurrentProcessId()) + "_"
               + std::to_string(serial_++);
        CreateDirectoryA(dir_.c_str(), nullptr);
    }
    void TearDown() override
    {
        for (const std::string& f : files_)
            DeleteFileA(f.c_str());
        RemoveDirectoryA(dir_.c_str());
        control_->Release();
        for (VARIANT& v : referenced)
            VariantClear(&v);
        referenced.clear();
        CoUninitialize();
    }

    std::string Path(const std::string& name)
    {
        files_.push_back(dir_ + "\\" + name);
        return files_.back();
    }
    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // Invokes `id` with the arguments first to last; a VARIANT* argument is
    // passed by reference, as VBScript passes variables.
    // Results are VT_BOOL or VT_I4: nothing to free.
    VARIANT CallRaw(DISPID id, std::vector<VARIANT> args)
    {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        Variant result;
        EXCEPINFO excep = {};
        UINT argErr = 0;
        HRESULT hr = control_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), &excep, &argErr);
        EXPECT_EQ(hr, S_OK) << "Invoke " << id;
        for (VARIANT& v : args) {
            if (!(v.vt & VT_BYREF))
                VariantClear(&v);
        }
        return result.release();
    }
    static VARIANT ByRef(VARIANT* target)
    {
        VARIANT r;
        r.vt = VT_BYREF | VT_VARIANT;
        r.pvarVal = target;
        return r;
    }
    static VARIANT Name(const std::string& s) { return Text(std::wstring(s.begin(), s.end()).c_str()); }

    // WriteMidiFilePPQ; the result as a C++ bool, checking its VT_BOOL type.
    bool Write(const std::string& name, VARIANT* song, long ppq)
    {
        VARIANT r = CallRaw(4, {Name(name), ByRef(song), I4(ppq)});
        EXPECT_EQ(r.vt, VT_BOOL);
        return r.boolVal != VARIANT_FALSE;
    }
    long Read(const std::string& name, VARIANT* song, long ppq)
    {
        VARIANT r = CallRaw(3, {ByRef(song), Name(name), I4(ppq)});
        EXPECT_EQ(r.vt, VT_I4);
        return r.lVal;
    }

    IDispatch* control_ = nullptr;
    std::string dir_;
    std::vector<std::string> files_;
    static int serial_;
};
int MidiFile::serial_ = 0;

// Each song is written to a new file and read back at the file's own time
// base; "" expects the write to fail without creating the file.
TEST_F(MidiFile, ShapesOfTheScriptArray)
{
    const long kMax = 0x7FFFFFFF;
    struct Case {
        const char* what;
        VARIANT song;
        const char* expected;
    };
    std::vector<Case> cases = {
        {"plain", Arr({Arr({Row(1, {144, 60, 100})})}), "[1:144,60,100]"},
        {"song by reference", RefTo(Arr({Arr({Row(1, {144, 60, 100})})})), "[1:144,60,100]"},
        {"track, row and message by reference",
         Arr({RefTo(Arr({RefTo(Arr({I4(2), RefTo(Bytes({128, 60, 0}))}))}))}), "[2:128,60,0]"},
        {"song from 1: index 0 does not exist", Arr({Arr({Row(1, {144, 1, 1})}), Arr({})}, 1), "[1:144,1,1][]"},
        {"song from -1: element -1 unread", Arr({Arr({Row(1, {144, 1, 1})}), Arr({Row(2, {144, 2, 2})})}, -1),
         "[2:144,2,2]"},
        {"track from 2", Arr({Arr({Row(1, {144, 1, 1}), Row(2, {144, 2, 2})}, 2)}), "[1:144,1,1 | 2:144,2,2]"},
        {"track ending at the largest index",
         Arr({Arr({Row(1, {144, 1, 1}), Row(2, {144, 2, 2}), Row(3, {144, 3, 3})}, kMax - 2)}),
         "[1:144,1,1 | 2:144,2,2 | 3:144,3,3]"},
        {"message from -1: read from 0", Arr({Arr({Row(I4(4), Bytes({9, 144, 5, 6}, -1))})}), "[4:144,5,6]"},
        {"row from 1: no time at 0", Arr({Arr({Arr({I4(0), Bytes({144, 1, 1})}, 1)})}), ""},
        {"message from 1: no status at 0", Arr({Arr({Row(I4(0), Bytes({144, 1, 1}, 1))})}), ""},
        {"message at the largest index", Arr({Arr({Row(I4(0), Bytes({144, 1, 1}, kMax - 2))})}), ""},
        {"empty time and byte are 0", Arr({Arr({Row(Of(VT_EMPTY), Arr({I4(144), Of(VT_EMPTY), I4(7)}))})}),
         "[0:144,0,7]"},
        {"string time", Arr({Arr({Row(Text(L"12"), Bytes({144, 1, 1}))})}), "[12:144,1,1]"},
        {"null byte", Arr({Arr({Row(I4(0), Arr({I4(144), Of(VT_NULL), I4(7)}))})}), ""},
        {"null time", Arr({Arr({Row(Of(VT_NULL), Bytes({144, 1, 1}))})}), ""},
        {"time too large for 32 bits", Arr({Arr({Row(R8(1e20), Bytes({144, 1, 1}))})}), ""},
        {"fraction rounds", Arr({Arr({Row(R8(2.5), Bytes({144, 1, 1})), Row(R8(3.5), Bytes({144, 1, 1}))})}),
         "[2:144,1,1 | 4:144,1,1]"},
        {"null object as time", Arr({Arr({Row(Of(VT_DISPATCH), Bytes({144, 1, 1}))})}), ""},
        {"array as time", Arr({Arr({Row(Bytes({1}), Bytes({144, 1, 1}))})}), ""},
        {"garbage tracks and rows skipped",
         Arr({I4(5), Text(L"x"), Of(VT_NULL), Arr({I4(1), Arr({}), Arr({I4(3)}), Row(I4(1), I4(9)),
                                                  Row(I4(1), Bytes({144})), Row(5, {144, 1, 1})})}),
         "[5:144,1,1]"},
        {"empty message skipped", Arr({Arr({Row(I4(1), Arr({})), Row(2, {144, 1, 1})})}), "[2:144,1,1]"},
    };
    int n = 0;
    for (Case& c : cases) {
        const std::string path = Path("shape" + std::to_string(n++) + ".mid");
        const bool written = Write(path, &c.song, 960);
        VARIANT back;
        VariantInit(&back);
        const long ppq = written ? Read(path, &back, 0) : 0;
        const std::string got = written ? SongText(back) : "";
        EXPECT_EQ(got, c.expected) << c.what << ": written " << written << ", read with " << ppq;
        if (!*c.expected) {
            EXPECT_FALSE(Exists(path)) << c.what << ": a refused write created the file";
        }
        VariantClear(&back);
        VariantClear(&c.song);
    }
}

// The write-then-read property: any song of valid rows, written at any time
// base from 1 to 65535, reads back at its own base as exactly that song.
TEST_F(MidiFile, RandomSongsRoundTrip)
{
    std::mt19937 rng(20261205);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        const long ppq = round == 0 ? 1 : round == 1 ? 65535 : pick(1, 65535);
        std::vector<VARIANT> tracks;
        std::string expected;
        const int trackCount = pick(1, 3);
        for (int t = 0; t < trackCount; ++t) {
            std::vector<VARIANT> rows;
            expected += "[";
            const int rowCount = pick(0, 12);
            for (int r = 0; r < rowCount; ++r) {
                const long time = pick(0, 3) == 0 ? pick(0, 0x0FFFFFFF) : pick(0, 200);
                std::vector<long> msg;
                switch (pick(0, 2)) {
                case 0: { // channel; 0xCn/0xDn keep one data byte
                    const long status = pick(0x80, 0xEF);
                    const bool oneByte = (status & 0xE0) == 0xC0;
                    msg = {status, pick(0, 255), pick(0, 255)};
                    rows.push_back(Row(time, msg));
                    if (oneByte)
                        msg[2] = 0;
                    break;
                }
                case 1: { // meta
                    const int length = pick(0, pick(0, 1) ? 5 : 255);
                    msg = {0xFF, pick(0, 255), length};
                    for (int i = 0; i < length; ++i)
                        msg.push_back(pick(0, 255));
                    rows.push_back(Row(time, msg));
                    break;
                }
                default: { // system exclusive: at least 2 data bytes
                    msg = {0xF0};
                    for (int i = pick(2, 40); i > 0; --i)
                        msg.push_back(pick(0, 255));
                    rows.push_back(Row(time, msg));
                    break;
                }
                }
                expected += (r ? " | " : "") + std::to_string(time) + ":";
                for (size_t k = 0; k < msg.size(); ++k)
                    expected += (k ? "," : "") + std::to_string(msg[k]);
            }
            expected += "]";
            tracks.push_back(Arr(rows));
        }
        VARIANT song = Arr(tracks);
        const std::string path = Path("random" + std::to_string(round) + ".mid");
        ASSERT_TRUE(Write(path, &song, ppq)) << "round " << round << ": " << expected;
        VARIANT back;
        VariantInit(&back);
        EXPECT_EQ(Read(path, &back, 0), ppq) << "round " << round;
        EXPECT_EQ(SongText(back), expected) << "round " << round << " at " << ppq;
        VariantClear(&back);
        VariantClear(&song);
    }
}

// Time bases of the write (PPQ 0 is 960, only the low 16 bits are kept)
// and of the read (scaled per event, saturated, division 0 refused).
TEST_F(MidiFile, TimeBases)
{
    struct Case {
        long writePpq;
        long time;
        long readPpq;
        long expectedResult; // 0: the read fails with an empty array
        const char* expected;
    };
    const Case cases[] = {
        {0, 480, 0, 960, "[480:144,1,1]"},
        {70000, 480, 0, 4464, "[480:144,1,1]"},
        {-1, 480, 0, 65535, "[480:144,1,1]"},
        {65536, 480, 0, 0, "(empty)"}, // division 0
        {65536, 480, 960, 0, "(empty)"},
        {1, 0x0FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, "[2147483647:144,1,1]"},
        {1, 3, 0x7FFFFFFF, 0x7FFFFFFF, "[2147483647:144,1,1]"},
        {65535, 0x0FFFFFFF, 1, 1, "[4096:144,1,1]"},
        {960, 5, 96, 96, "[0:144,1,1]"},
        {960, 959, 1, 1, "[0:144,1,1]"},
        {960, 960, 1, 1, "[1:144,1,1]"},
        {3, 1, 10, 10, "[3:144,1,1]"},
    };
    int n = 0;
    for (const Case& c : cases) {
        VARIANT song = Arr({Arr({Row(c.time, {144, 1, 1})})});
        const std::string path = Path("ppq" + std::to_string(n++) + ".mid");
        EXPECT_TRUE(Write(path, &song, c.writePpq));
        VARIANT back;
        back.vt = VT_I4; // cleared by the read whatever happens
        back.lVal = 1;
        EXPECT_EQ(Read(path, &back, c.readPpq), c.expectedResult)
            << "written at " << c.writePpq << ", read at " << c.readPpq;
        EXPECT_EQ(SongText(back), c.expected) << "written at " << c.writePpq << ", read at " << c.readPpq;
        VariantClear(&back);
        VariantClear(&song);
    }
}

TEST_F(MidiFile, WriteRefusesWhatIsNotASongArray)
{
    const std::string path = Path("refused.mid");
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
    VARIANT twoDims;
    twoDims.vt = VT_ARRAY | VT_VARIANT;
    twoDims.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT longs;
    longs.vt = VT_ARRAY | VT_I4;
    longs.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    // An array of longs labelled as one of VARIANTs must not be read as VARIANTs.
    VARIANT mislabelled;
    mislabelled.vt = VT_ARRAY | VT_VARIANT;
    mislabelled.parray = SafeArrayCreateVector(VT_I4, 0, 4);
    VARIANT nullArray = Of(VT_ARRAY | VT_VARIANT);
    VARIANT nullRef = Of(VT_BYREF | VT_ARRAY | VT_VARIANT);
    VARIANT bad[] = {I4(5), Text(L"song"), Of(VT_EMPTY), Of(VT_NULL), twoDims, longs, mislabelled, nullArray, nullRef};
    for (VARIANT& v : bad) {
        const VARTYPE vt = v.vt;
        EXPECT_FALSE(Write(path, &v, 960)) << "vt " << vt;
        EXPECT_FALSE(Write("", &v, 960)) << "vt " << vt << " to the clipboard";
        EXPECT_EQ(v.vt, vt) << "the argument is left as it was";
        EXPECT_FALSE(Exists(path)) << "vt " << vt;
        if (!(v.vt & VT_BYREF))
            VariantClear(&v);
    }
    // A two-dimensional track is no track; the song still writes.
    twoDims.vt = VT_ARRAY | VT_VARIANT;
    twoDims.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT song = Arr({twoDims, Arr({Row(1, {144, 1, 1})})});
    EXPECT_TRUE(Write(path, &song, 960));
    VARIANT back = Of(VT_EMPTY);
    EXPECT_EQ(Read(path, &back, 0), 960);
    EXPECT_EQ(SongText(back), "[1:144,1,1]");
    VariantClear(&back);
    VariantClear(&song);
}

TEST_F(MidiFile, ReadFailuresLeaveTheArrayEmpty)
{
    // A variable that cannot be cleared is left alone and the read fails.
    VARIANT odd = Of(0x7FFF);
    EXPECT_EQ(Read(Path("none.mid"), &odd, 0), 0);
    EXPECT_EQ(odd.vt, 0x7FFF);

    VARIANT v = Text(L"previous");
    EXPECT_EQ(Read(Path("missing.mid"), &v, 480), 0);
    EXPECT_EQ(v.vt, VT_EMPTY);

    // ReadMidiFile and WriteMidiFile are the PPQ forms at 960, with Booleans.
    VARIANT song = Arr({Arr({Row(7, {144, 1, 1})})});
    const std::string path = Path("bool.mid");
    VARIANT w = CallRaw(2, {Name(path), ByRef(&song)});
    EXPECT_EQ(w.vt, VT_BOOL);
    EXPECT_EQ(w.boolVal, VARIANT_TRUE);
    VARIANT again = CallRaw(2, {Name(path), ByRef(&song)});
    EXPECT_EQ(again.boolVal, VARIANT_FALSE) << "an existing file is never overwritten";
    VARIANT back = Of(VT_EMPTY);
    VARIANT r = CallRaw(1, {ByRef(&back), Name(path)});
    EXPECT_EQ(r.vt, VT_BOOL);
    EXPECT_EQ(r.boolVal, VARIANT_TRUE);
    EXPECT_EQ(SongText(back), "[7:144,1,1]");
    VariantClear(&back);
    VariantClear(&song);
}

// Puts `bytes` on the clipboard in `format` (0: empties it).
void SetClipboardBytes(UINT format, const std::string& bytes)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    if (format) {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
        memcpy(GlobalLock(h), bytes.c_str(), bytes.size() + 1);
        GlobalUnlock(h);
        SetClipboardData(format, h);
    }
    CloseClipboard();
}

TEST_F(MidiFile, ClipboardWithoutAFile)
{
    const UINT smf = RegisterClipboardFormatA(tavro::kSmfClipboardFormat);
    struct Case {
        const char* what;
        UINT format;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty clipboard", 0, ""},
        {"only text", CF_TEXT, "MThd"},
        {"not a MIDI file", smf, "plain words"},
        {"header without tracks", smf, std::string("MThd\0\0\0\6\0\0\0\0\3\xC0", 14)},
    };
    for (const Case& c : cases) {
        SetClipboardBytes(c.format, c.bytes);
        VARIANT v = I4(3);
        EXPECT_EQ(Read("", &v, 0), 0) << c.what;
        EXPECT_EQ(v.vt, VT_EMPTY) << c.what;
    }
    // Trailing bytes after the last track are an unknown chunk that ends it.
    SetClipboardBytes(smf, std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\4\0\x90\1\2junk", 30));
    VARIANT v = Of(VT_EMPTY);
    EXPECT_EQ(Read("", &v, 0), 0x60);
    EXPECT_EQ(SongText(v), "[0:144,1,2]");
    VariantClear(&v);
}

} // namespace
