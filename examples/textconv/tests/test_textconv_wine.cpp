// The example converter under Wine: its entry points called the way a host
// calls them, and round trips through docvane.exe with it registered.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "conversion/converter_api.h"
#include "win_test_support.h"

using namespace dvtest;

namespace {

std::string library_path() { return fixture_dir() + "\\textconv.cnv"; }

// Text with every kind of byte the converter escapes, long enough for
// several chunks.
std::string sample_text() {
    std::string text;
    for (int line = 0; line < 120; ++line) {
        text += "Zeile " + std::to_string(line) + ": {braces} \\back\\slash\\ \tTab \xE4\xF6\xFC\xDF \x80 \x93quoted\x94";
        text += "\r\n";
    }
    return text + "no line end at the end";
}

// ---- The entry points, called directly ------------------------------

// What the host's callbacks see, and what they answer.
HGLOBAL g_buffer;
std::vector<std::pair<std::string, long>> g_chunks;
size_t g_stop_at;
std::string g_rtf_in;
size_t g_rtf_at;

long __stdcall record_chunk(long count, long percent) {
    const char *p = static_cast<const char *>(GlobalLock(g_buffer));
    g_chunks.emplace_back(std::string(p, static_cast<size_t>(count)), percent);
    GlobalUnlock(g_buffer);
    return g_chunks.size() - 1 == g_stop_at ? 1 : 0;
}

// Hands out the RTF in pieces of 1000 bytes, growing the buffer first as a
// host does.
long __stdcall hand_rtf(long, long) {
    if (GlobalSize(g_buffer) < 2048) GlobalReAlloc(g_buffer, 2048, 0);
    size_t n = std::min<size_t>(1000, g_rtf_in.size() - g_rtf_at);
    memcpy(GlobalLock(g_buffer), g_rtf_in.data() + g_rtf_at, n);
    GlobalUnlock(g_buffer);
    g_rtf_at += n;
    return static_cast<long>(n);
}

class EntryPoints : public testing::Test {
  protected:
    LoadedConverter conv{library_path()};
    ScratchDir dir;
    void SetUp() override { ASSERT_NE(conv.module, (HMODULE)NULL) << library_path(); }

    short import(const std::string &source, size_t stop_at = SIZE_MAX) {
        auto foreign_to_rtf = conv.get<PFN_ForeignToRtf32>("ForeignToRtf32");
        HGLOBAL file = oem_path_handle(source);
        g_buffer = GlobalAlloc(GMEM_ZEROINIT, 2048);
        g_chunks.clear();
        g_stop_at = stop_at;
        short rc = foreign_to_rtf(file, NULL, g_buffer, NULL, NULL, record_chunk);
        GlobalFree(g_buffer);
        GlobalFree(file);
        return rc;
    }

    short export_rtf(const std::string &rtf, const std::string &destination) {
        auto rtf_to_foreign = conv.get<PFN_RtfToForeign32>("RtfToForeign32");
        HGLOBAL file = oem_path_handle(destination);
        g_buffer = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 8);
        g_rtf_in = rtf;
        g_rtf_at = 0;
        short rc = rtf_to_foreign(file, NULL, g_buffer, NULL, hand_rtf);
        GlobalFree(g_buffer);
        GlobalFree(file);
        return rc;
    }
};

TEST_F(EntryPoints, ExportedUndecoratedAndInitialise) {
    auto init = conv.get<PFN_InitConverter32>("InitConverter32");
    ASSERT_NE(init, nullptr);
    ASSERT_NE(conv.get<PFN_RegisterApp>("RegisterApp"), nullptr);
    EXPECT_NE(conv.get<PFN_IsFormatCorrect32>("IsFormatCorrect32"), nullptr);
    EXPECT_NE(conv.get<PFN_ForeignToRtf32>("ForeignToRtf32"), nullptr);
    EXPECT_NE(conv.get<PFN_RtfToForeign32>("RtfToForeign32"), nullptr);
    char module[40] = "host";
    EXPECT_NE(init(NULL, module) & 0xFFFF, 0);
}

TEST_F(EntryPoints, FormatTestDecidesByContent) {
    auto is_format_correct = conv.get<PFN_IsFormatCorrect32>("IsFormatCorrect32");
    struct {
        const char *name;
        std::string content;
        bool taken;
    } cases[] = {
        {"letter.doc", "Plain text, whatever the name says.\r\n", true},
        {"empty.txt", "", true},
        {"binary.txt", std::string("MZ\0\0binary", 10), false},
        {"already.txt", "{\\rtf1\\ansi text}", false},
    };
    for (auto &c : cases) {
        std::string path = dir.file(c.name);
        ASSERT_TRUE(write_file(path, c.content));
        HGLOBAL file = oem_path_handle(path);
        EXPECT_EQ(is_format_correct(file, NULL) != 0, c.taken) << c.name;
        GlobalFree(file);
    }
    HGLOBAL missing = oem_path_handle(dir.file("missing.txt"));
    EXPECT_EQ(is_format_correct(missing, NULL), 0);
    GlobalFree(missing);
}

TEST_F(EntryPoints, ImportDeliversChunksWithRealPercentages) {
    std::string source = dir.file("sample.txt");
    ASSERT_TRUE(write_file(source, sample_text()));
    ASSERT_EQ(import(source), 0);
    ASSERT_GE(g_chunks.size(), 3u);
    std::string rtf;
    long last = 0;
    bool between = false;
    for (auto &c : g_chunks) {
        EXPECT_LE(c.first.size(), 2048u);
        EXPECT_GE(c.second, last);
        between |= c.second > 0 && c.second < 100;
        last = c.second;
        rtf += c.first;
    }
    EXPECT_TRUE(between);
    EXPECT_EQ(last, 100);
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
    EXPECT_NE(rtf.find("Zeile 0: \\{braces\\} \\\\back\\\\slash\\\\ \\tab Tab \\'e4\\'f6\\'fc\\'df \\'80"),
              std::string::npos);

    // A non-zero answer stops the conversion with a negative result.
    ASSERT_LT(import(source, 1), 0);
    EXPECT_EQ(g_chunks.size(), 2u);
}

TEST_F(EntryPoints, ExportWritesTextOrFails) {
    std::string destination = dir.file("out.txt");
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\*\\generator x;}" + std::string(3000, 'a') +
                      "\\par \\u8364\\'80 {\\b x}\\tab y}";
    ASSERT_EQ(export_rtf(rtf, destination), 0);
    EXPECT_EQ(read_file(destination), std::string(3000, 'a') + "\r\n\x80 x\ty");
    EXPECT_LT(export_rtf("{\\rtf1 never closed", destination), 0);
    EXPECT_LT(export_rtf("not rtf at all", destination), 0);
}

// ---- Through docvane.exe ---------------------------------------------

const char DISPLAY_NAME[] = "Plain Text (example)";

class RoundTrip : public testing::Test {
  protected:
    RegistryScope reg;
    ScratchDir dir;
    void SetUp() override {
        reg.add_converter(false, "TextConv", DISPLAY_NAME, library_path(), "txt");
        reg.add_converter(true, "TextConv", DISPLAY_NAME, library_path(), "txt");
    }
    DWORD run_request(const std::string &name, const std::string &content) {
        std::string req = dir.file(name);
        EXPECT_TRUE(write_file(req, content));
        return run_docvane_tail(req);
    }
};

TEST_F(RoundTrip, ImportThenExportGivesTheTextBack) {
    std::string text = dir.file("letter.txt"), rtf = dir.file("letter.rtf"), back = dir.file("back.txt");
    ASSERT_TRUE(write_file(text, sample_text()));

    EXPECT_EQ(run_request("import.req", text + "\r\n" + rtf + "\r\nX\r\n"), 0u);
    EXPECT_EQ(read_file(dir.file("import.req")), "Datei wird generiert (100%)...\n0\n");
    EXPECT_EQ(read_file(rtf).rfind("{\\rtf1", 0), 0u);

    EXPECT_EQ(run_request("export.req", rtf + "\r\n" + back + "\r\nX\r\n0\r\n"), 0u);
    EXPECT_EQ(read_file(dir.file("export.req")), "Datei wird generiert (100%)...\n0\n");
    EXPECT_EQ(read_file(back), sample_text());
}

TEST_F(RoundTrip, RefusedAndMalformedSourcesEndNegative) {
    // The converter does not take RTF for import: nobody does.
    std::string rtf = dir.file("doc.rtf"), out = dir.file("out.rtf");
    ASSERT_TRUE(write_file(rtf, "{\\rtf1 already}"));
    EXPECT_EQ(run_request("import.req", rtf + "\r\n" + out + "\r\nY\r\n"), static_cast<DWORD>(-15));
    EXPECT_FALSE(file_exists(out));

    // A malformed document: the converter's -9, and no destination left.
    std::string broken = dir.file("broken.rtf"), text = dir.file("broken.txt");
    ASSERT_TRUE(write_file(broken, "{\\rtf1 cut short \\'4"));
    EXPECT_EQ(run_request("export.req", broken + "\r\n" + text + "\r\nX\r\n0\r\n"), static_cast<DWORD>(-9));
    EXPECT_EQ(read_file(dir.file("export.req")), "Datei wird generiert (100%)...\n-9\n");
    EXPECT_FALSE(file_exists(text));
}

}  // namespace
