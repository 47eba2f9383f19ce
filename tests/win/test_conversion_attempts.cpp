// Import and export attempts in-process, against fixture converter copies:
// failing global memory, and what binding leaves behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include "app/progress_text.h"
#include "app/progress_window.h"
#include "common/converter_record.h"
#include "common/result_codes.h"
#include "conversion/conversion_state.h"
#include "conversion/converter_binding.h"
#include "conversion/export_conversion.h"
#include "conversion/import_conversion.h"
#include "converter_folder.h"

using namespace dvtest;

namespace {

typedef std::vector<std::string> Lines;

int g_allocs_left;  // allocations that still succeed; -1: all of them

HGLOBAL WINAPI failing_alloc(UINT flags, SIZE_T bytes) {
    if (g_allocs_left == 0) return NULL;
    if (g_allocs_left > 0) --g_allocs_left;
    return GlobalAlloc(flags, bytes);
}

HGLOBAL WINAPI refusing_realloc(HGLOBAL, SIZE_T, UINT) { return NULL; }

// The blocks as they are freed, told apart by size and first bytes, each
// with "+lib" while the converter library is still loaded.
Lines g_freed;
std::string g_watched_library;

std::string block_kind(HGLOBAL block) {
    const unsigned char *p = static_cast<const unsigned char *>(GlobalLock(block));
    SIZE_T size = GlobalSize(block);
    unsigned char head[4] = {0, 0, 0, 0};
    if (p && size >= 4) memcpy(head, p, 4);
    GlobalUnlock(block);
    static const unsigned char side_head[4] = {8, 0, 1, 0};
    if (size == 261) return "path";
    if (size == 32) return head[0] ? "class" : "blank";
    if (size == 8 && !memcmp(head, side_head, 4)) return "side";
    return "transfer";
}

HGLOBAL WINAPI recording_free(HGLOBAL block) {
    std::string what = block_kind(block);
    if (GetModuleHandleA(g_watched_library.c_str())) what += "+lib";
    g_freed.push_back(what);
    return GlobalFree(block);
}

class Attempt : public testing::Test {
  protected:
    ConverterFolder conv;
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");

    void TearDown() override {
        g_global_alloc = GlobalAlloc;
        g_global_realloc = GlobalReAlloc;
        g_global_free = GlobalFree;
        // Between attempts no stream is open and no transfer buffer exists.
        EXPECT_EQ(g_output_file, nullptr);
        EXPECT_EQ(g_input_file, nullptr);
        EXPECT_EQ(g_transfer_buffer, (HGLOBAL)NULL);
    }
    // The paths as docvane holds them: wide, from the ANSI code page.
    static std::wstring wide(const std::string &path) {
        wchar_t out[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, out, MAX_PATH);
        return out;
    }
    std::wstring wide_source = wide(source);
    std::wstring wide_destination = wide(destination);
    bool released(const std::string &name) { return GetModuleHandleA(conv.file(name).c_str()) == NULL; }
    int import_through(const std::string &name) {
        ConversionParams params = {source.c_str(), destination.c_str(), 0, wide_source.c_str(),
                                   wide_destination.c_str()};
        return import_attempt("Alpha", conv.file(name).c_str(), "doc", 0, 1, 0, NOT_HANDLED, &params);
    }
    int export_through(const std::string &name) {
        ConversionParams params = {source.c_str(), destination.c_str(), 0, wide_source.c_str(),
                                   wide_destination.c_str()};
        return export_attempt("Alpha", conv.file(name).c_str(), "wri", 0, 1, 1, NOT_HANDLED, &params);
    }
};

TEST_F(Attempt, ImportWithoutGlobalMemoryIsNotTaken) {
    conv.add("conv_a.cnv", "op1=text 50 {}");
    ASSERT_TRUE(write_file(destination, "old"));
    // Path handle, class-name handle, blank handle, transfer buffer.
    for (int succeeding = 0; succeeding < 4; ++succeeding) {
        SCOPED_TRACE(succeeding);
        g_allocs_left = succeeding;
        g_global_alloc = failing_alloc;
        EXPECT_EQ(import_through("conv_a.cnv"), NOT_HANDLED);
        EXPECT_TRUE(released("conv_a.cnv"));
        EXPECT_EQ(read_file(destination), "old");
        Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
        EXPECT_TRUE(lines_starting(log, "ForeignToRtf32").empty());
        // Released after whatever it had been handed was freed.
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "detach");
    }
    g_allocs_left = 4;
    EXPECT_EQ(import_through("conv_a.cnv"), 0);
    EXPECT_EQ(read_file(destination), "{}");
}

TEST_F(Attempt, ExportWithoutGlobalMemoryCannotStart) {
    conv.add("conv_a.cnv", "op1=readall");
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    ASSERT_TRUE(write_file(destination, "old"));
    // Path handle, class-name handle, side block, transfer buffer: every
    // block is taken before the destination is touched.
    for (int succeeding = 0; succeeding < 4; ++succeeding) {
        SCOPED_TRACE(succeeding);
        g_allocs_left = succeeding;
        g_global_alloc = failing_alloc;
        EXPECT_EQ(export_through("conv_a.cnv"), RESULT_EXPORT_CANNOT_START);
        EXPECT_TRUE(released("conv_a.cnv"));
        EXPECT_EQ(read_file(source), "{\\rtf1 }");
        EXPECT_EQ(read_file(destination), "old");
        Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
        EXPECT_TRUE(lines_starting(log, "RtfToForeign32").empty());
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "detach");
    }
    g_allocs_left = 4;
    EXPECT_EQ(export_through("conv_a.cnv"), 0);
}

TEST_F(Attempt, TransferBufferThatCannotGrowEndsTheExport) {
    conv.add("conv_a.cnv", "op1=readall\r\nop2=writedest");
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    g_global_realloc = refusing_realloc;
    EXPECT_EQ(export_through("conv_a.cnv"), RESULT_EXPORT_CANNOT_START);
    EXPECT_FALSE(file_exists(destination));
    EXPECT_TRUE(released("conv_a.cnv"));
    // Nothing was read into the 8-byte block.
    Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
    ASSERT_EQ(lines_starting(log, "in ").size(), 1u);
    EXPECT_EQ(lines_starting(log, "in ")[0], "in ret=0 size=8>8 nowindow");
    EXPECT_EQ(log.back(), "detach");
}

TEST_F(Attempt, BlocksAreReleasedInOrderBeforeTheLibrary) {
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    const Lines import_order = {"transfer+lib", "blank+lib", "path+lib", "class+lib"};
    const Lines export_order = {"transfer+lib", "side+lib", "path+lib", "class+lib"};
    struct Case {
        bool exporting;
        const char *settings;
        Lines freed;
    } cases[] = {
        {false, "op1=text 50 {}", import_order},
        {false, "result=-3", import_order},
        {false, "accept=0", {"path+lib", "class+lib"}},
        {true, "op1=readall\r\nop2=writedest", export_order},
        {true, "result=-3", export_order},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings);
        conv.add("conv_a.cnv", c.settings);
        g_watched_library = conv.file("conv_a.cnv");
        g_freed.clear();
        g_global_free = recording_free;
        if (c.exporting)
            export_through("conv_a.cnv");
        else
            import_through("conv_a.cnv");
        g_global_free = GlobalFree;
        EXPECT_EQ(g_freed, c.freed);
        EXPECT_TRUE(released("conv_a.cnv"));
        conv.take_log();
    }
}

TEST_F(Attempt, BindingSetsTheProgressFormatOnceALibraryLoads) {
    conv.add("conv_a.cnv", "", "fixture_no_init.dll");
    g_progress_format[0] = '\0';
    EXPECT_EQ(import_through("missing.cnv"), NOT_HANDLED);
    EXPECT_STREQ(g_progress_format, "");

    EXPECT_EQ(import_through("conv_a.cnv"), NOT_HANDLED);
    EXPECT_TRUE(released("conv_a.cnv"));
    EXPECT_STREQ(g_progress_format, PROGRESS_FORMAT_LITERAL);
    EXPECT_EQ(conv.take_log(), (Lines{"conv_a.cnv attach", "conv_a.cnv detach"}));
}

}  // namespace
