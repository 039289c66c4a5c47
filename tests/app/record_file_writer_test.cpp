// Our file writer, the end of a recording graph where the system's cannot
// serve: what it accepts, writing through IStream and through samples at
// their byte positions, and when its file is created, kept and let go.

#include "record/record_file_writer.h"

#include <control.h>
#include <evcode.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "shared/com_ref.h"
#include "tests/filter/support/fake_sample.h"

namespace pavix {
namespace {

std::string ReadWhole(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "(missing)";
    std::string data(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
    CloseHandle(file);
    data.resize(read);
    return data;
}

class RecordFileWriter : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        path_ = std::wstring(dir) + L"pavix-writer-test.avi";
        DeleteFileW(path_.c_str());
        writer_ = ComRef<IBaseFilter>(CRecordFileWriter::Create());
        ASSERT_TRUE(writer_);
        ASSERT_EQ(S_OK, writer_->FindPin(L"Input", pin_.Put()));
        stream_ = pin_.As<IStream>(IID_IStream);
        ASSERT_TRUE(stream_);
    }
    void TearDown() override {
        stream_.Reset();
        pin_.Reset();
        writer_.Reset();
        DeleteFileW(path_.c_str());
        CoUninitialize();
    }
    void Name(const std::wstring& path) {
        ComRef<IFileSinkFilter> sink = writer_.As<IFileSinkFilter>(IID_IFileSinkFilter);
        ASSERT_TRUE(sink);
        ASSERT_EQ(S_OK, sink->SetFileName(path.c_str(), nullptr));
    }

    std::wstring path_;
    ComRef<IBaseFilter> writer_;
    ComRef<IPin> pin_;
    ComRef<IStream> stream_;
};

TEST_F(RecordFileWriter, AcceptsOnlyTheMultiplexersStream) {
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_Avi;
    EXPECT_EQ(S_OK, pin_->QueryAccept(&type));
    type.subtype = MEDIASUBTYPE_Asf;
    EXPECT_EQ(S_FALSE, pin_->QueryAccept(&type));
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    EXPECT_EQ(S_FALSE, pin_->QueryAccept(&type));
}

// Headers are written at the start after the data, as a multiplexer does
// when it stops; samples land at the byte position their start time names.
TEST_F(RecordFileWriter, WritesThroughItsStreamAndItsSamples) {
    Name(path_);
    EXPECT_EQ(STG_E_ACCESSDENIED, stream_->Write("x", 1, nullptr));  // no file before the pause
    ASSERT_EQ(S_OK, writer_->Pause());
    EXPECT_EQ("", ReadWhole(path_.c_str()));  // created, empty

    LARGE_INTEGER at;
    at.QuadPart = 8;
    ULARGE_INTEGER now = {};
    ASSERT_EQ(S_OK, stream_->Seek(at, STREAM_SEEK_SET, &now));
    EXPECT_EQ(8u, now.QuadPart);
    ULONG written = 0;
    ASSERT_EQ(S_OK, stream_->Write("movidata", 8, &written));
    EXPECT_EQ(8u, written);

    testing::FakeSample sample(4, 'S');
    REFERENCE_TIME start = 16, stop = 20;
    sample.SetTime(&start, &stop);
    ComRef<IMemInputPin> input = pin_.As<IMemInputPin>(IID_IMemInputPin);
    ASSERT_TRUE(input);
    ASSERT_EQ(S_OK, input->Receive(&sample));

    // Stopped, the file stays open: the multiplexer finishes it now.
    ASSERT_EQ(S_OK, writer_->Stop());
    EXPECT_EQ(VFW_E_WRONG_STATE, input->Receive(&sample));
    at.QuadPart = 0;
    ASSERT_EQ(S_OK, stream_->Seek(at, STREAM_SEEK_SET, nullptr));
    ASSERT_EQ(S_OK, stream_->Write("RIFFhead", 8, nullptr));
    at.QuadPart = 0;
    ASSERT_EQ(S_OK, stream_->Seek(at, STREAM_SEEK_END, &now));
    EXPECT_EQ(20u, now.QuadPart);

    STATSTG stat = {};
    ASSERT_EQ(S_OK, stream_->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(20u, stat.cbSize.QuadPart);
    ULARGE_INTEGER size;
    size.QuadPart = 18;
    ASSERT_EQ(S_OK, stream_->SetSize(size));

    // Let go with the filter.
    stream_.Reset();
    input.Reset();
    pin_.Reset();
    writer_.Reset();
    EXPECT_EQ(std::string("RIFFheadmovidataSS"), ReadWhole(path_.c_str()));
}

// The multiplexer writes its stream from one thread and samples may come
// from another: neither moves the other's place in the file.
TEST_F(RecordFileWriter, StreamWritesKeepTheirPlaceBetweenSamples) {
    Name(path_);
    ASSERT_EQ(S_OK, writer_->Pause());
    ComRef<IMemInputPin> input = pin_.As<IMemInputPin>(IID_IMemInputPin);
    ASSERT_TRUE(input);

    ASSERT_EQ(S_OK, stream_->Write("AB", 2, nullptr));
    testing::FakeSample placed(2, 'P');
    REFERENCE_TIME start = 10, stop = 12;
    placed.SetTime(&start, &stop);
    ASSERT_EQ(S_OK, input->Receive(&placed));
    ASSERT_EQ(S_OK, stream_->Write("CD", 2, nullptr));  // right after "AB"
    testing::FakeSample following(2, 'F');  // no time: after the last sample
    ASSERT_EQ(S_OK, input->Receive(&following));

    LARGE_INTEGER zero = {};
    ULARGE_INTEGER here = {};
    ASSERT_EQ(S_OK, stream_->Seek(zero, STREAM_SEEK_CUR, &here));
    EXPECT_EQ(4u, here.QuadPart);
    char back[4] = {};
    ASSERT_EQ(S_OK, stream_->Seek(zero, STREAM_SEEK_SET, nullptr));
    ULONG read = 0;
    ASSERT_EQ(S_OK, stream_->Read(back, 4, &read));
    EXPECT_EQ(std::string("ABCD"), std::string(back, read));
    // Past the end: a short read.
    LARGE_INTEGER at;
    at.QuadPart = 12;
    ASSERT_EQ(S_OK, stream_->Seek(at, STREAM_SEEK_SET, nullptr));
    EXPECT_EQ(S_FALSE, stream_->Read(back, 4, &read));
    EXPECT_EQ(2u, read);

    writer_->Stop();
    stream_.Reset();
    input.Reset();
    pin_.Reset();
    writer_.Reset();
    EXPECT_EQ(std::string("ABCD", 4) + std::string(6, '\0') + "PPFF", ReadWhole(path_.c_str()));
}

// The file belongs to the recording that opened it until the pin lets go.
TEST_F(RecordFileWriter, RefusesANewNameWhileItsFileIsOpen) {
    Name(path_);
    ComRef<IFileSinkFilter> sink = writer_.As<IFileSinkFilter>(IID_IFileSinkFilter);
    const std::wstring other = path_ + L".other";
    const struct {
        const char* state;
        HRESULT (*enter)(IBaseFilter*);
    } states[] = {
        {"paused", [](IBaseFilter* f) { return f->Pause(); }},
        {"stopped, file still open", [](IBaseFilter* f) { return f->Stop(); }},
    };
    for (const auto& s : states) {
        ASSERT_EQ(S_OK, s.enter(writer_.Get())) << s.state;
        EXPECT_EQ(VFW_E_WRONG_STATE, sink->SetFileName(other.c_str(), nullptr)) << s.state;
        LPOLESTR name = nullptr;
        ASSERT_EQ(S_OK, sink->GetCurFile(&name, nullptr));
        EXPECT_EQ(path_, std::wstring(name)) << s.state;
        CoTaskMemFree(name);
    }
    EXPECT_EQ(0xFFFFFFFFu, GetFileAttributesW(other.c_str()));
}

// A write the volume has no room for is refused, and the graph hears of it
// once; the writes after it (the multiplexer finishing the file) go on.
TEST_F(RecordFileWriter, TellsTheGraphOnceWhenTheRoomRunsOut) {
    ComRef<IGraphBuilder> graph;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                     graph.PutVoid()));
    ASSERT_EQ(S_OK, graph->AddFilter(writer_.Get(), L"File Writer"));
    ComRef<IMediaEvent> events = graph.As<IMediaEvent>(IID_IMediaEvent);
    ASSERT_TRUE(events);
    Name(path_);
    ASSERT_EQ(S_OK, writer_->Pause());

    // A petabyte on: more than any volume here has free.
    constexpr LONGLONG kBeyondAnyVolume = 1ll << 50;
    const struct {
        const char* what;
        LONGLONG at;
        HRESULT result;
        bool told;
    } writes[] = {
        {"no room", kBeyondAnyVolume, STG_E_MEDIUMFULL, true},
        {"a finishing write", 0, S_OK, false},
    };
    for (const auto& w : writes) {
        LARGE_INTEGER at;
        at.QuadPart = w.at;
        ASSERT_EQ(S_OK, stream_->Seek(at, STREAM_SEEK_SET, nullptr));
        EXPECT_EQ(w.result, stream_->Write("data", 4, nullptr)) << w.what;
        long code = 0;
        LONG_PTR first = 0, second = 0;
        const HRESULT got = events->GetEvent(&code, &first, &second, 0);
        if (w.told) {
            ASSERT_EQ(S_OK, got) << w.what;
            EXPECT_EQ(EC_ERRORABORT, code) << w.what;
            EXPECT_EQ(STG_E_MEDIUMFULL, static_cast<HRESULT>(first)) << w.what;
            events->FreeEventParams(code, first, second);
        } else {
            EXPECT_EQ(E_ABORT, got) << w.what << " told the graph again";
        }
    }
    writer_->Stop();
    graph->RemoveFilter(writer_.Get());
}

TEST(RecordFileRoom, KeepsTheFinishingRoomFree) {
    constexpr std::uint64_t kRoom = kRecordFinishingRoom;
    constexpr std::uint64_t kNoLimit = ~0ull;
    constexpr std::uint64_t kFat32 = 0xFFFFFFFFull;
    const struct {
        const char* what;
        FileRoom room;
        std::uint64_t fileEnd, writeEnd;
        bool allowed;
    } cases[] = {
        {"plenty of room", {1ull << 30, kNoLimit}, 1000, 2000, true},
        {"growth that leaves exactly the room", {kRoom + 1000, kNoLimit}, 0, 1000, true},
        {"one byte into the room", {kRoom + 1000, kNoLimit}, 0, 1001, false},
        {"less free than the room", {kRoom - 1, kNoLimit}, 0, 1, false},
        {"an overwrite on a full volume", {0, kNoLimit}, 5000, 4000, true},
        {"an overwrite up to the end", {0, kNoLimit}, 5000, 5000, true},
        {"below the FAT32 file limit", {1ull << 40, kFat32}, 0, kFat32 - kRoom, true},
        {"into the room below the FAT32 limit", {1ull << 40, kFat32}, 0, kFat32 - kRoom + 1, false},
        {"a file system with a tiny limit", {1ull << 40, kRoom - 1}, 0, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.allowed, LeavesFinishingRoom(c.room, c.fileEnd, c.writeEnd)) << c.what;
    }
}

TEST_F(RecordFileWriter, AFileThatCannotBeMadeFailsThePause) {
    Name(L"C:\\no-such-folder-pavix\\x.avi");
    EXPECT_TRUE(FAILED(writer_->Pause()));
    writer_->Stop();
}

TEST_F(RecordFileWriter, NoFileNameNoPause) {
    EXPECT_TRUE(FAILED(writer_->Pause()));
    writer_->Stop();
}

}  // namespace
}  // namespace pavix
