// The MidiFile control through IDispatch, with script arrays that scripts
// cannot build: by-reference arrays, lower bounds other than 0, garbage in
// every level, and a clipboard without the format.
#include "smf/MidiFileCtrl.h"
#include "smf/SmfArchive.h"
#include "smf/SmfClipboard.h"
#include "tests/wine/test_util.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

using namespace wt;

VARIANT I4(long v)
{
    return Long(v);
}
VARIANT Msg(const std::vector<int>& values, LONG lower = 0)
{
    return MakeArray(values, lower);
}
// Two zero elements of type `element` in `dims` dimensions, labelled `vt`.
VARIANT Raw(VARTYPE vt, VARTYPE element, UINT dims = 1)
{
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    VARIANT r = Of(vt);
    r.parray = SafeArrayCreate(element, dims, bounds);
    return r;
}
VARIANT Row(long time, const std::vector<int>& message)
{
    return Arr({I4(time), Msg(message)});
}
VARIANT Row(VARIANT time, VARIANT message)
{
    return Arr({time, message});
}

// Arrays referenced by VT_BYREF elements live here until the test ends.
std::deque<VARIANT> referenced;
VARIANT RefTo(VARIANT array)
{
    referenced.push_back(array);
    VARIANT r = Of(VT_BYREF | VT_ARRAY | VT_VARIANT);
    r.pparray = &referenced.back().parray;
    return r;
}

// ---- reading script arrays back ----

// Nested arrays as "[a,b,...]" and VT_I4 as its value; other types and
// lower bounds other than 0 are marked.
std::string SongText(const VARIANT& v)
{
    if (v.vt == VT_I4)
        return std::to_string(v.lVal);
    if (v.vt != (VT_ARRAY | VT_VARIANT) || SafeArrayGetDim(v.parray) != 1)
        return "(vt " + std::to_string(v.vt) + ")";
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    std::string out = lo == 0 ? "[" : "(lower bound " + std::to_string(lo) + ")[";
    VARIANT* data = nullptr;
    SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data));
    for (LONG i = 0; i <= hi - lo; ++i)
        out += (i ? "," : "") + SongText(data[i]);
    SafeArrayUnaccessData(v.parray);
    return out + "]";
}

// ---- calling the control as a script engine does ----

class MidiFile : public ::testing::Test {
protected:
    MidiFile() : dir_("midifile"), control_(static_cast<IDispatch*>(CMidiFileCtrl::Create())) {}
    ~MidiFile() override
    {
        control_->Release();
        for (VARIANT& v : referenced)
            VariantClear(&v);
        referenced.clear();
    }

    std::string Path(const std::string& name) const { return dir_ / name; }
    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // WriteMidiFilePPQ and ReadMidiFilePPQ, checking the result types.
    bool Write(const std::string& name, VARIANT* song, long ppq)
    {
        Call call(control_, 4);
        EXPECT_EQ(call.Text(name).Ref(song).Long(ppq).Run(), S_OK);
        EXPECT_EQ(call.result->vt, VT_BOOL);
        return call.result->boolVal != VARIANT_FALSE;
    }
    long Read(const std::string& name, VARIANT* song, long ppq)
    {
        Call call(control_, 3);
        EXPECT_EQ(call.Ref(song).Text(name).Long(ppq).Run(), S_OK);
        EXPECT_EQ(call.result->vt, VT_I4);
        return call.result->lVal;
    }
    // Writes the song (then clears it) to a new file and reads it back at
    // the file's own base: "" when the write fails, checking that neither the
    // file nor the clipboard write took it.
    std::string RoundTrip(VARIANT song, long ppq = 960)
    {
        const std::string path = Path("song" + std::to_string(serial_++) + ".mid");
        const VARTYPE vt = song.vt;
        const bool written = Write(path, &song, ppq);
        EXPECT_EQ(song.vt, vt) << "the argument is left as it was";
        EXPECT_TRUE(written || !Write("", &song, ppq)) << "the clipboard write refuses it too";
        VariantClear(&song);
        if (!written) {
            EXPECT_FALSE(Exists(path)) << "a refused write created the file";
            return "";
        }
        VARIANT back = Of(VT_EMPTY);
        EXPECT_EQ(Read(path, &back, 0), ppq == 0 ? 960 : ppq);
        const std::string text = SongText(back);
        VariantClear(&back);
        return text;
    }

    ScratchFolder dir_;
    IDispatch* control_;
    int serial_ = 0;
};

TEST_F(MidiFile, ShapesOfTheScriptArray)
{
    const long kMax = 0x7FFFFFFF;
    const struct {
        const char* what;
        VARIANT song;
        const char* expected;
    } cases[] = {
        {"number", I4(5), ""},
        {"string", Text(L"song"), ""},
        {"empty", Of(VT_EMPTY), ""},
        {"null", Of(VT_NULL), ""},
        {"null array", Of(VT_ARRAY | VT_VARIANT), ""},
        {"null array reference", Of(VT_BYREF | VT_ARRAY | VT_VARIANT), ""},
        {"two-dimensional song", Raw(VT_ARRAY | VT_VARIANT, VT_VARIANT, 2), ""},
        {"array of longs", Raw(VT_ARRAY | VT_I4, VT_I4), ""},
        // An array of longs labelled as one of VARIANTs must not be read as VARIANTs.
        {"longs labelled as VARIANTs", Raw(VT_ARRAY | VT_VARIANT, VT_I4), ""},
        {"two-dimensional track is no track",
         Arr({Raw(VT_ARRAY | VT_VARIANT, VT_VARIANT, 2), Arr({Row(1, {144, 1, 1})})}), "[[[1,[144,1,1]]]]"},
        {"song by reference", RefTo(Arr({Arr({Row(1, {144, 60, 100})})})), "[[[1,[144,60,100]]]]"},
        {"track, row and message by reference", Arr({RefTo(Arr({RefTo(Arr({I4(2), RefTo(Msg({128, 60, 0}))}))}))}),
         "[[[2,[128,60,0]]]]"},
        {"song from 1: index 0 does not exist", Arr({Arr({Row(1, {144, 1, 1})}), Arr({})}, 1), "[[[1,[144,1,1]]],[]]"},
        {"song from -1: element -1 unread", Arr({Arr({Row(1, {144, 1, 1})}), Arr({Row(2, {144, 2, 2})})}, -1),
         "[[[2,[144,2,2]]]]"},
        {"track ending at the largest index",
         Arr({Arr({Row(1, {144, 1, 1}), Row(2, {144, 2, 2}), Row(3, {144, 3, 3})}, kMax - 2)}),
         "[[[1,[144,1,1]],[2,[144,2,2]],[3,[144,3,3]]]]"},
        {"message from -1: read from 0", Arr({Arr({Row(I4(4), Msg({9, 144, 5, 6}, -1))})}), "[[[4,[144,5,6]]]]"},
        {"row from 1: no time at 0", Arr({Arr({Arr({I4(0), Msg({144, 1, 1})}, 1)})}), ""},
        {"message from 1: no status at 0", Arr({Arr({Row(I4(0), Msg({144, 1, 1}, 1))})}), ""},
        {"message at the largest index", Arr({Arr({Row(I4(0), Msg({144, 1, 1}, kMax - 2))})}), ""},
        {"empty time and byte are 0", Arr({Arr({Row(Of(VT_EMPTY), Arr({I4(144), Of(VT_EMPTY), I4(7)}))})}),
         "[[[0,[144,0,7]]]]"},
        {"null byte", Arr({Arr({Row(I4(0), Arr({I4(144), Of(VT_NULL), I4(7)}))})}), ""},
        {"time too large for 32 bits", Arr({Arr({Row(Dbl(1e20), Msg({144, 1, 1}))})}), ""},
        {"fractions round to even", Arr({Arr({Row(Dbl(2.5), Msg({144, 1, 1})), Row(Dbl(3.5), Msg({144, 1, 1}))})}),
         "[[[2,[144,1,1]],[4,[144,1,1]]]]"},
        {"null object as time", Arr({Arr({Row(Of(VT_DISPATCH), Msg({144, 1, 1}))})}), ""},
        {"array as time", Arr({Arr({Row(Msg({1}), Msg({144, 1, 1}))})}), ""},
        {"garbage tracks and rows skipped",
         Arr({I4(5), Text(L"x"), Of(VT_NULL),
              Arr({I4(1), Arr({}), Arr({I4(3)}), Row(I4(1), I4(9)), Row(I4(1), Msg({144})), Row(5, {144, 1, 1})})}),
         "[[[5,[144,1,1]]]]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RoundTrip(c.song), c.expected);
    }
}

// Failed reads empty the variable: a missing file, division 0 (PPQ 65536)
// and a clipboard without a MIDI file. A variable that cannot be cleared is
// left alone and the read fails.
TEST_F(MidiFile, FailedReads)
{
    for (long ppq : {960L, 65536L}) {
        VARIANT song = Arr({Arr({Row(7, {144, 1, 1})})});
        EXPECT_TRUE(Write(Path(std::to_string(ppq) + ".mid"), &song, ppq));
        VariantClear(&song);
    }
    // The reader refuses a file held open for writing, not one held for
    // reading; the writer holds its file for itself alone.
    for (DWORD access : {DWORD(GENERIC_WRITE), DWORD(GENERIC_READ)}) {
        HANDLE h = CreateFileA(Path("960.mid").c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        VARIANT song;
        VariantInit(&song);
        EXPECT_EQ(Read(Path("960.mid"), &song, 0), access == GENERIC_READ ? 960 : 0) << access;
        VariantClear(&song);
        CloseHandle(h);
    }
    {
        tavro::SmfFileSink sink(Path("held.mid"));
        HANDLE h = CreateFileA(Path("held.mid").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "the file being written was opened";
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    VARIANT odd = Of(0x7FFF);
    EXPECT_EQ(Read(Path("960.mid"), &odd, 0), 0);
    EXPECT_EQ(odd.vt, 0x7FFF);

    const UINT smf = RegisterClipboardFormatA(tavro::kSmfClipboardFormat);
    const struct {
        std::string name;
        UINT format; // 0: an empty clipboard
        std::string bytes;
    } cases[] = {
        {Path("missing.mid"), 0, ""},
        {Path("65536.mid"), 0, ""},
        {"", 0, ""},
        {"", CF_TEXT, "MThd"},
        {"", smf, "plain words"},
        {"", smf, std::string("MThd\0\0\0\6\0\0\0\0\3\xC0", 14)}, // a header without tracks
    };
    for (const auto& c : cases) {
        if (c.name.empty()) {
            ASSERT_TRUE(OpenClipboard(nullptr));
            EmptyClipboard();
            if (c.format) {
                HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, c.bytes.size() + 1);
                memcpy(GlobalLock(h), c.bytes.c_str(), c.bytes.size() + 1);
                GlobalUnlock(h);
                SetClipboardData(c.format, h);
            }
            CloseClipboard();
        }
        VARIANT v = I4(3);
        EXPECT_EQ(Read(c.name, &v, 480), 0) << c.name << " " << c.bytes;
        EXPECT_EQ(v.vt, VT_EMPTY) << c.name << " " << c.bytes;
    }
}

} // namespace
