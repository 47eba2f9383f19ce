// wordperfect.cnv under Wine: its entry points called the way a host calls
// them, on real WordPerfect documents (wp2x's test inputs), damaged copies of
// them and other files; and imports through docvane.exe with the converter
// registered. The RTF of each real document is left in WPD_RTF_OUT, where
// wordperfect_text (a native test) compares its text with libwpd's own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "conversion/converter_api.h"
#include "win_test_support.h"
#include "wordperfect_results.h"

using namespace dvtest;

namespace {

const char *const DOCUMENTS[] = {"simple.wp", "simple-iso.wp", "wp.wp"};

std::string env_path(const char *name) {
    const char *value = getenv(name);
    return value ? windows_path(value) : std::string();
}
std::string document(const std::string &name) { return env_path("WPD_DOCUMENTS") + "\\" + name; }
std::string library_path() { return fixture_dir() + "\\wordperfect.cnv"; }
std::string textconv_path() { return fixture_dir() + "\\textconv.cnv"; }


// What the host's callback sees, and what it answers.
struct Call {
    long count;
    long percent;
};
HGLOBAL g_buffer;
std::vector<Call> g_calls;
std::string g_rtf;
size_t g_stop_at;
long g_stop_answer;

long __stdcall record_chunk(long count, long percent) {
    const char *p = static_cast<const char *>(GlobalLock(g_buffer));
    g_rtf.append(p, static_cast<size_t>(count));
    GlobalUnlock(g_buffer);
    g_calls.push_back({count, percent});
    return g_calls.size() - 1 == g_stop_at ? g_stop_answer : 0;
}

class EntryPoints : public testing::Test {
  protected:
    LoadedConverter conv{library_path()};
    ScratchDir dir;
    void SetUp() override { ASSERT_NE(conv.module, (HMODULE)NULL) << library_path(); }

    short import(const std::string &source, size_t stop_at = SIZE_MAX, long answer = 0) {
        auto foreign_to_rtf = conv.get<PFN_ForeignToRtf32>("ForeignToRtf32");
        HGLOBAL file = oem_path_handle(source);
        g_buffer = GlobalAlloc(GMEM_ZEROINIT, 2048);
        g_calls.clear();
        g_rtf.clear();
        g_stop_at = stop_at;
        g_stop_answer = answer;
        short rc = foreign_to_rtf(file, NULL, g_buffer, NULL, NULL, record_chunk);
        GlobalFree(g_buffer);
        GlobalFree(file);
        return rc;
    }
    bool recognises(const std::string &path) {
        auto is_format_correct = conv.get<PFN_IsFormatCorrect32>("IsFormatCorrect32");
        HGLOBAL file = oem_path_handle(path);
        bool taken = is_format_correct(file, NULL) != 0;
        GlobalFree(file);
        return taken;
    }
};

TEST_F(EntryPoints, ExportedUndecoratedImportOnly) {
    auto init = conv.get<PFN_InitConverter32>("InitConverter32");
    ASSERT_NE(init, nullptr);
    EXPECT_NE(conv.get<PFN_RegisterApp>("RegisterApp"), nullptr);
    EXPECT_NE(conv.get<PFN_IsFormatCorrect32>("IsFormatCorrect32"), nullptr);
    EXPECT_NE(conv.get<PFN_ForeignToRtf32>("ForeignToRtf32"), nullptr);
    EXPECT_EQ(conv.get<PFN_RtfToForeign32>("RtfToForeign32"), nullptr);
    char module[40] = "docvane";
    EXPECT_NE(init(NULL, module) & 0xFFFF, 0);
}

TEST_F(EntryPoints, FormatTestTakesWordPerfectOnly) {
    std::string wp = read_file(document("wp.wp"));
    ASSERT_GT(wp.size(), 1000u);
    struct {
        const char *name;
        std::string content;
        bool taken;
    } cases[] = {
        {"paper.txt", wp, true},  // the content decides, not the name
        {"text.wp", "Plain text, whatever the name says.\r\n", false},
        {"doc.wpd", "{\\rtf1\\ansi text}", false},
        {"zeros.wp", std::string(4096, '\0'), false},
        {"empty.wp", "", false},
        // Bytes libwpd's content-based 4.2 detection alone would take:
        // Windows text with typographic quotes, the start of a PNG file.
        {"quotes.txt", "It\x92s \x93quoted\x94 \x96 and dashed.\r\nTwo lines.\r\n", false},
        {"picture.wp", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0\x90\x91h6", 33),
         false},
        // A 4.2 document of text and bold codes only, paragraphs ending in
        // LF as WordPerfect writes them: still taken.
        {"bold.wp", "Some \x9d" "bold\x9c text.\nA second paragraph.\n", true},
        // Detection reads the header only: a document cut after it is
        // taken, and its conversion then says "damaged", not "not mine".
        {"header-only.wp", wp.substr(0, 16), true},
    };
    for (auto &c : cases) {
        std::string path = dir.file(c.name);
        ASSERT_TRUE(write_file(path, c.content));
        EXPECT_EQ(recognises(path), c.taken) << c.name;
    }
    for (const char *name : DOCUMENTS) EXPECT_TRUE(recognises(document(name))) << name;
    EXPECT_FALSE(recognises(dir.file("missing.wp")));
}

TEST_F(EntryPoints, ImportDeliversChunksWithRisingProgress) {
    ASSERT_EQ(import(document("wp.wp")), 0);
    ASSERT_GE(g_calls.size(), 5u);
    long last = -1;
    bool parsing = false, delivering = false;
    for (auto &c : g_calls) {
        EXPECT_GE(c.count, 0);
        EXPECT_LE(c.count, 2048);
        EXPECT_GE(c.percent, last);
        parsing |= c.count == 0 && c.percent > 0 && c.percent < 90;
        delivering |= c.count > 0 && c.percent > 90 && c.percent < 100;
        last = c.percent;
    }
    EXPECT_TRUE(parsing) << "progress moves while parsing";
    EXPECT_TRUE(delivering) << "and while delivering";
    EXPECT_EQ(last, 100);
    EXPECT_EQ(g_rtf.rfind("{\\rtf1\\ansi", 0), 0u);
    EXPECT_EQ(g_rtf.back(), '}');
    EXPECT_NE(g_rtf.find("Preparing a document for submission"), std::string::npos);
}

// The callback's answer ends the conversion at once: a negative low word is
// the result as it is, anything else non-zero the converter's own "stopped".
TEST_F(EntryPoints, CallbackStopEndsAtOnce) {
    ASSERT_EQ(import(document("wp.wp")), 0);
    size_t first_chunk = 0;
    while (g_calls[first_chunk].count == 0) ++first_chunk;
    struct {
        size_t at;
        long answer;
        short result;
    } cases[] = {
        {0, -4, -4},                          // while parsing
        {first_chunk, -4, -4},                // the first chunk of RTF
        {first_chunk + 1, -7, -7},            // a later one
        {first_chunk, 1, WP_RESULT_STOPPED},  // non-zero, not negative
        {first_chunk, 0x7FFF0000 | 0xFFF0, -16},
        {first_chunk, -65536, WP_RESULT_STOPPED},
    };
    for (auto &c : cases) {
        EXPECT_EQ(import(document("wp.wp"), c.at, c.answer), c.result) << c.at << " " << c.answer;
        EXPECT_EQ(g_calls.size(), c.at + 1) << "no call after the stop";
    }
}

// Damaged copies of every document, cut at many lengths and with bytes
// changed: each ends with a complete RTF or the converter's "damaged"
// result, never a crash, a hang or another failure.
TEST_F(EntryPoints, DamagedDocumentsEndCompleteOrDamaged) {
    std::string path = dir.file("damaged.wp");
    int complete = 0, damaged = 0;
    auto check = [&](const std::string &content, const std::string &what) {
        ASSERT_TRUE(write_file(path, content));
        short rc = import(path);
        if (rc == 0) {
            ++complete;
            EXPECT_EQ(g_rtf.rfind("{\\rtf1", 0), 0u) << what;
            EXPECT_EQ(g_rtf.back(), '}') << what;
        } else {
            ++damaged;
            EXPECT_TRUE(rc == WP_RESULT_DAMAGED || rc == WP_RESULT_PASSWORD) << what << ": " << rc;
        }
    };
    for (const char *name : DOCUMENTS) {
        std::string doc = read_file(document(name));
        ASSERT_FALSE(doc.empty()) << name;
        for (size_t cut = 0; cut < doc.size(); cut += 1 + doc.size() / 40)
            check(doc.substr(0, cut), std::string(name) + " cut at " + std::to_string(cut));
        unsigned seed = 1;
        for (int round = 0; round < 40; ++round) {
            std::string changed = doc;
            for (int k = 0; k < 1 + round % 8; ++k) {
                seed = seed * 1103515245u + 12345u;
                size_t at = (seed >> 8) % changed.size();
                changed[at] = static_cast<char>(seed >> 24);
            }
            check(changed, std::string(name) + " changed, round " + std::to_string(round));
        }
    }
    EXPECT_GT(complete, 0);
    EXPECT_GT(damaged, 0);
}

TEST_F(EntryPoints, EachFailureHasItsOwnResult) {
    EXPECT_EQ(import(dir.file("missing.wp")), WP_RESULT_UNREADABLE);
    EXPECT_TRUE(g_calls.empty());
    std::string wp = read_file(document("wp.wp"));
    std::string cut = dir.file("cut.wp");
    ASSERT_TRUE(write_file(cut, wp.substr(0, 16)));
    EXPECT_EQ(import(cut), WP_RESULT_DAMAGED);
    EXPECT_TRUE(g_rtf.empty());
    // The header's encryption key set: a password-protected document, which
    // the format test takes so that the user learns why it fails.
    std::string locked = dir.file("locked.wp");
    wp[12] = '\x12';
    wp[13] = '\x34';
    ASSERT_TRUE(write_file(locked, wp));
    EXPECT_TRUE(recognises(locked));
    EXPECT_EQ(import(locked), WP_RESULT_PASSWORD);
    EXPECT_TRUE(g_rtf.empty());
    // A damaged document for which libwpd asks for 2.4 GB at once: refused
    // on both architectures, and the run ends as out of memory.
    EXPECT_EQ(import(env_path("WPD_FUZZ_SEEDS") + "\\regression-huge-allocation"), WP_RESULT_NO_MEMORY);
    EXPECT_TRUE(g_rtf.empty());
}

// ---- Through docvane.exe ---------------------------------------------

class ThroughDocvane : public testing::Test {
  protected:
    RegistryScope reg;
    ScratchDir dir;
    void SetUp() override {
        // Enumerated in this order: the WordPerfect converter first.
        reg.add_converter(false, "docvane WordPerfect", "WordPerfect (docvane)", library_path(),
                          "wpd wp wp5 wp6");
        reg.add_converter(false, "TextConv", "Plain Text (example)", textconv_path(), "txt");
    }
    DWORD import(const std::string &source, const std::string &destination, std::string *status) {
        return run_request_file(dir.file("import.req"), source + "\r\n" + destination + "\r\nX\r\n", status);
    }
};

TEST_F(ThroughDocvane, RealDocumentsImport) {
    std::string out_dir = env_path("WPD_RTF_OUT");
    for (const char *name : DOCUMENTS) {
        std::string rtf = out_dir.empty() ? dir.file("out.rtf") : out_dir + "\\" + name + ".rtf";
        std::string status;
        EXPECT_EQ(import(document(name), rtf, &status), 0u) << name;
        EXPECT_EQ(status, "Datei wird generiert (100%)...\n0\n") << name;
        std::string content = read_file(rtf);
        EXPECT_EQ(content.rfind("{\\rtf1\\ansi", 0), 0u) << name;
        EXPECT_GT(content.size(), 200u) << name;
    }
}

TEST_F(ThroughDocvane, OtherFilesGoToTheNextConverter) {
    std::string text = dir.file("letter.wp"), rtf = dir.file("letter.rtf"), status;
    // Windows text with a typographic quote, which libwpd alone would take
    // as WordPerfect 4.2: the text converter gets it, quotes and all.
    ASSERT_TRUE(write_file(text, "Not WordPerfect, \x93plain\x94 text.\r\n"));
    EXPECT_EQ(import(text, rtf, &status), 0u);
    EXPECT_NE(read_file(rtf).find("Not WordPerfect, \\'93plain\\'94 text."), std::string::npos);
}

TEST_F(ThroughDocvane, DamagedDocumentEndsWithItsResult) {
    // Half a document: libwpd finds its end missing.
    std::string doc = read_file(document("wp.wp"));
    ASSERT_FALSE(doc.empty());
    std::string path = dir.file("cut.wp"), rtf = dir.file("cut.rtf"), status;
    ASSERT_TRUE(write_file(path, doc.substr(0, doc.size() / 2)));
    EXPECT_EQ(import(path, rtf, &status), static_cast<DWORD>(WP_RESULT_DAMAGED));
    EXPECT_EQ(status.substr(status.find('\n') + 1), "-101\n");
    EXPECT_FALSE(file_exists(rtf));
}

// dvinfo.exe (beside docvane.exe) judges the registered converter as
// docvane's loader will meet it: "ok".
TEST_F(ThroughDocvane, DvinfoReportsItOk) {
    std::string dvinfo = docvane_exe().substr(0, docvane_exe().rfind('\\') + 1) + "dvinfo.exe";
    std::string out_path = dir.file("dvinfo.tsv");
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    std::string cmd = "\"" + dvinfo + "\" --tsv";
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) << cmd;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(out);
    std::string tsv = read_file(out_path);
    size_t at = tsv.find("\twordperfect.cnv");
    if (at == std::string::npos) at = tsv.find("\\wordperfect.cnv\t");
    ASSERT_NE(at, std::string::npos) << tsv;
    std::string line = tsv.substr(tsv.rfind('\n', at) + 1);
    line = line.substr(0, line.find('\r'));
    std::vector<std::string> fields;
    for (size_t from = 0;;) {
        size_t tab = line.find('\t', from);
        fields.push_back(line.substr(from, tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    ASSERT_EQ(fields.size(), 10u) << line;
    EXPECT_EQ(fields[0], "import") << line;
    EXPECT_EQ(fields[5], "WordPerfect (docvane)") << line;
    EXPECT_EQ(fields[8], "ok") << line;
}

}  // namespace
