// Our file writer, the end of a recording graph where the system's cannot
// serve: what it accepts, writing through IStream and through samples at
// their byte positions, and when its file is created, kept and let go.

#include "record/record_file_writer.h"

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
