// Import end to end: docvane.exe drives fixture converters registered in the
// registry or found beside WordPad; what each converter received, in which
// order, and what docvane wrote and returned.
#include <gtest/gtest.h>

#include <vector>

#include "converter_folder.h"
#include "win_test_support.h"

using namespace dvtest;

namespace {

typedef std::vector<std::string> Lines;

const DWORD EXIT_NOT_TAKEN = 4294967281u;  // -15
const DWORD EXIT_WRITE_FAILED = 4294967292u;  // -4

const char INIT_WITH_WINDOW[] = "InitConverter32 hwnd=window class=QzDocvane visible=0 progress=1 module=set";
const char REGISTER_APP[] = "RegisterApp flags=1 lp=null";
const char FOREIGN_TO_RTF[] =
    "ForeignToRtf32 file=261f same_file=1 stg=null buff=2048f class=null subset=32f subset_zero=1 cb=set";

std::string is_format_correct(const std::string &source, const std::string &name) {
    return "IsFormatCorrect32 file=261f class=32f path=\"" + escaped(oem(source)) +
           "\" class_bytes=" + class_hex(name);
}

std::string out_line(long count, long percent, long ret, const std::string &title) {
    return "out count=" + std::to_string(count) + " pct=" + std::to_string(percent) + " ret=" +
           std::to_string(ret) + " title=\"" + title + "\" visible=0";
}
std::string out_line(long count, long percent, long ret, int shown) {
    return out_line(count, percent, ret, progress(shown));
}

class Import : public testing::Test {
  protected:
    RegistryScope reg;
    ConverterFolder conv;

    void register_import(const std::string &subkey, const std::string &name, const std::string &file) {
        reg.add_converter(false, subkey, name, conv.file(file), "doc");
    }
    // A request file "source, destination, selector" in CR LF lines.
    DWORD run_request(const std::string &source, const std::string &destination, const char *selector,
                      std::string *status_out) {
        return run_request_file(conv.file("import.req"), source + "\r\n" + destination + "\r\n" + selector + "\r\n",
                                status_out);
    }
};

TEST_F(Import, SecondConverterTakesTheSourceAfterTheFirstIsReleased) {
    // Docvane never opens the source, so its name need not be one the file
    // system can hold: the path handle shows it in the OEM code page.
    std::string source = conv.file("br\xFC" "cke.doc");
    std::string destination = conv.file("out.rtf");
    ASSERT_TRUE(write_file(destination, "old destination"));
    conv.add("conv_a.cnv", "accept=0\r\nwatch=" + destination);
    conv.add("conv_b.cnv",
             "watch=" + destination +
                 "\r\nop1=text 10 {\\\\rtf1\r\nop2=chunk 2048 2048 60\r\nop3=chunk 0 0 80\r\nop4=text 100 }\\r\\n");
    register_import("c1", "Alpha", "conv_a.cnv");
    register_import("c2", "Beta", "conv_b.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "X", &status_file), 0u);
    EXPECT_EQ(status_file, status(progress(100), 0));
    EXPECT_EQ(read_file(destination), "{\\rtf1" + pattern_bytes(0, 2048) + "}\r\n");

    // The first library is gone before the second loads; the destination
    // keeps its content until a converter takes the source, and is empty
    // when the conversion starts. A count of 0 writes nothing but shows.
    Lines expected = {
        "conv_a.cnv attach",
        "conv_a.cnv " + std::string(INIT_WITH_WINDOW),
        "conv_a.cnv " + std::string(REGISTER_APP),
        "conv_a.cnv watch size=15",
        "conv_a.cnv " + is_format_correct(source, "Alpha"),
        "conv_a.cnv detach",
        "conv_b.cnv attach",
        "conv_b.cnv " + std::string(INIT_WITH_WINDOW),
        "conv_b.cnv " + std::string(REGISTER_APP),
        "conv_b.cnv watch size=15",
        "conv_b.cnv " + is_format_correct(source, "Beta"),
        "conv_b.cnv watch size=0",
        "conv_b.cnv " + std::string(FOREIGN_TO_RTF),
        "conv_b.cnv " + out_line(6, 10, 0, 10),
        "conv_b.cnv " + out_line(2048, 60, 0, 60),
        "conv_b.cnv " + out_line(0, 80, 0, 80),
        "conv_b.cnv " + out_line(3, 100, 0, 100),
        "conv_b.cnv return 0",
        "conv_b.cnv detach",
    };
    EXPECT_EQ(conv.take_log(), expected);
}

TEST_F(Import, WordPadConvertersOnTheCommandLineOnly) {
    std::string source = conv.file("letter.wri");
    std::string destination = conv.file("letter.rtf");
    conv.add("MSWD6_32.WPC", "accept=0");
    conv.add("WRITE32.WPC", "result=3\r\nop1=text 55 {\\\\rtf1 }");
    // The command line consults WordPad's converters alone.
    conv.add("conv_r.cnv", "");
    register_import("c1", "Registered", "conv_r.cnv");
    reg.set_wordpad_command("\"" + conv.file("WORDPAD.EXE") + "\" \"%1\"");

    EXPECT_EQ(run_docvane_tail(source + " " + destination), 3u);
    EXPECT_EQ(read_file(destination), "{\\rtf1 }");
    EXPECT_FALSE(file_exists(conv.file("import.req")));

    Lines log = conv.take_log();
    EXPECT_EQ(ConverterFolder::of(log, "MSWD6_32.WPC"),
              (Lines{"attach", INIT_WITH_WINDOW, REGISTER_APP, is_format_correct(source, "Word f\xFCr Windows 6.0"),
                     "detach"}));
    EXPECT_EQ(ConverterFolder::of(log, "WRITE32.WPC"),
              (Lines{"attach", INIT_WITH_WINDOW, REGISTER_APP, is_format_correct(source, "Windows Write"),
                     FOREIGN_TO_RTF, out_line(8, 55, 0, 55), "return 3", "detach"}));
    EXPECT_TRUE(ConverterFolder::of(log, "conv_r.cnv").empty());
}

TEST_F(Import, NegativeResultDeletesTheDestinationAndEndsTheWalk) {
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");
    ASSERT_TRUE(write_file(destination, "old"));
    conv.add("conv_a.cnv", "result=-7\r\nop1=chunk 100 100 50");
    conv.add("conv_b.cnv", "");
    register_import("c1", "Alpha", "conv_a.cnv");
    register_import("c2", "Beta", "conv_b.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "y", &status_file), 4294967289u);
    EXPECT_EQ(status_file, status(progress(50), -7));
    EXPECT_FALSE(file_exists(destination));
    Lines log = conv.take_log();
    EXPECT_EQ(ConverterFolder::of(log, "conv_a.cnv").back(), "detach");
    EXPECT_TRUE(ConverterFolder::of(log, "conv_b.cnv").empty());
}

TEST_F(Import, NoConverterTakesTheSourceAndClassNamesAreCut) {
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");
    ASSERT_TRUE(write_file(destination, "untouched"));
    const std::string name31 = "Thirty-one characters in a name";
    const std::string name10 = "Converter1";
    const std::string name40 = "A display name of exactly forty letters.";
    ASSERT_EQ(name31.size(), 31u);
    ASSERT_EQ(name40.size(), 40u);
    conv.add("conv_a.cnv", "accept=0");
    conv.add("conv_b.cnv", "accept=0");
    conv.add("conv_c.cnv", "accept=0");
    register_import("c1", name31, "conv_a.cnv");
    register_import("c2", name10, "conv_b.cnv");
    register_import("c3", name40, "conv_c.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "X", &status_file), EXIT_NOT_TAKEN);
    EXPECT_EQ(status_file, status("", -15));
    EXPECT_EQ(read_file(destination), "untouched");

    // A name of 32 characters or more is cut to 31, so it stays terminated.
    Lines log = conv.take_log();
    EXPECT_EQ(lines_starting(ConverterFolder::of(log, "conv_a.cnv"), "IsFormatCorrect32 "),
              Lines{is_format_correct(source, name31)});
    EXPECT_EQ(lines_starting(ConverterFolder::of(log, "conv_b.cnv"), "IsFormatCorrect32 "),
              Lines{is_format_correct(source, name10)});
    EXPECT_EQ(lines_starting(ConverterFolder::of(log, "conv_c.cnv"), "IsFormatCorrect32 "),
              Lines{is_format_correct(source, name40.substr(0, 31))});
}

TEST_F(Import, BindingFailuresPassTheSourceToTheNextConverter) {
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");
    conv.add("c1.cnv", "", "fixture_no_init.dll");
    conv.add("c2.cnv", "init=0");
    conv.add("c3.cnv", "init=65536");  // zero in the low 16 bits
    conv.add("c4.cnv", "", "fixture_no_is_format_correct.dll");
    conv.add("c5.cnv", "", "fixture_no_foreign_to_rtf.dll");
    conv.add("c6.cnv", "op1=text 100 {}", "fixture_no_register_app.dll");
    for (const char *c : {"c1", "c2", "c3", "c4", "c5", "c6"}) register_import(c, c, std::string(c) + ".cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "X", &status_file), 0u);
    EXPECT_EQ(status_file, status(progress(100), 0));
    EXPECT_EQ(read_file(destination), "{}");
    Lines expected = {
        "c1.cnv attach",
        "c1.cnv detach",
        "c2.cnv attach",
        "c2.cnv " + std::string(INIT_WITH_WINDOW),
        "c2.cnv detach",
        "c3.cnv attach",
        "c3.cnv " + std::string(INIT_WITH_WINDOW),
        "c3.cnv detach",
        "c4.cnv attach",
        "c4.cnv detach",
        "c5.cnv attach",
        "c5.cnv detach",
        "c6.cnv attach",
        "c6.cnv " + std::string(INIT_WITH_WINDOW),
        "c6.cnv " + is_format_correct(source, "c6"),
        "c6.cnv " + std::string(FOREIGN_TO_RTF),
        "c6.cnv " + out_line(2, 100, 0, 100),
        "c6.cnv return 0",
        "c6.cnv detach",
    };
    EXPECT_EQ(conv.take_log(), expected);
}

TEST_F(Import, RefusedCountsAnswerMinus4AndFailTheImport) {
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");
    // The converter ignores each -4 and ends with success all the same.
    conv.add("conv_a.cnv", "ignore_minus4=1\r\n"
                           "op1=chunk 10 10 20\r\n"
                           "op2=chunk 0 -1 30\r\n"
                           "op3=chunk 0 2049 40\r\n"
                           "op4=chunk 0 40000 45\r\n"  // negative in 16 bits
                           "op5=chunk 16 65552 65586");  // low 16 bits: 16 and 50
    register_import("c1", "Alpha", "conv_a.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "X", &status_file), EXIT_WRITE_FAILED);
    EXPECT_EQ(status_file, status(progress(50), -4));
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(lines_starting(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), "out "),
              (Lines{out_line(10, 20, 0, 20), out_line(-1, 30, -4, 20), out_line(2049, 40, -4, 20),
                     out_line(40000, 45, -4, 20), out_line(65552, 65586, 0, 50)}));
}

TEST_F(Import, CountsAreBoundByTheTransferBufferAsItIsNow) {
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");
    register_import("c1", "Alpha", "conv_a.cnv");

    // Shrunk: a count within the new size is written, one past it refused.
    conv.add("conv_a.cnv", "op1=resize 100\r\nop2=chunk 100 100 30\r\nop3=chunk 101 101 40");
    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "X", &status_file), EXIT_WRITE_FAILED);
    EXPECT_EQ(status_file, status(progress(30), -4));
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(ConverterFolder::of(conv.take_log(), "conv_a.cnv"),
              (Lines{"attach", INIT_WITH_WINDOW, REGISTER_APP, is_format_correct(source, "Alpha"), FOREIGN_TO_RTF,
                     "resize ok=1 size=100", out_line(100, 30, 0, 30), out_line(101, 40, -4, 30), "stop",
                     "return 0", "detach"}));

    // Grown: accepted up to the new size, if the heap lets the fixed block
    // grow where it stands; otherwise the count is past the block.
    conv.configure("conv_a.cnv", "op1=resize 4096\r\nop2=chunk 4096 4096 70");
    DWORD code = run_request(source, destination, "X", &status_file);
    Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
    ASSERT_GE(log.size(), 7u);
    if (log[5] == "resize ok=1 size=4096") {
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(log[6], out_line(4096, 70, 0, 70));
        EXPECT_EQ(read_file(destination), pattern_bytes(0, 4096));
    } else {
        EXPECT_EQ(log[5], "resize ok=0 size=2048");
        EXPECT_EQ(code, EXIT_WRITE_FAILED);
        EXPECT_EQ(log[6], out_line(4096, 70, -4, ""));
        EXPECT_FALSE(file_exists(destination));
    }
}

TEST_F(Import, FailedWriteFailsTheImportWhateverTheConverterSays) {
    std::string source = conv.file("in.doc");
    std::string destination = conv.file("out.rtf");
    register_import("c1", "Alpha", "conv_a.cnv");

    // The stream fails while chunks still come: the callback answers -4,
    // leaves the title, and the converter stops but claims success.
    conv.add("conv_a.cnv", "op1=chunk 2048 2048 10\r\nop2=break_write " + destination +
                               "\r\nop3=chunk 2048 2048 20\r\nop4=chunk 2048 2048 30\r\n"
                               "op5=chunk 2048 2048 40\r\nop6=chunk 2048 2048 50");
    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "X", &status_file), EXIT_WRITE_FAILED);
    EXPECT_FALSE(file_exists(destination));
    Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
    EXPECT_EQ(lines_starting(log, "break "), Lines{"break ok=1"});
    Lines out = lines_starting(log, "out ");
    ASSERT_GE(out.size(), 2u);
    size_t failed = out.size() - 1;
    EXPECT_NE(out[failed].find(" ret=-4 "), std::string::npos) << out[failed];
    EXPECT_EQ(out[failed].substr(out[failed].find(" title=")), out[failed - 1].substr(out[failed - 1].find(" title=")));
    std::string last_title = out[failed - 1].substr(out[failed - 1].find("title=\"") + 7);
    last_title = last_title.substr(0, last_title.find('"'));
    EXPECT_EQ(status_file, status(last_title, -4));

    // The very first write fails: nothing is written and the title was
    // never set.
    conv.configure("conv_a.cnv", "op1=break_write " + destination + "\r\nop2=chunk 100 100 100");
    EXPECT_EQ(run_request(source, destination, "X", &status_file), EXIT_WRITE_FAILED);
    EXPECT_EQ(status_file, status("", -4));
    EXPECT_FALSE(file_exists(destination));
    log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
    EXPECT_EQ(lines_starting(log, "break "), Lines{"break ok=1"});
    out = lines_starting(log, "out ");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NE(out[0].find("count=100 pct=100 ret=-4 "), std::string::npos) << out[0];
}

TEST_F(Import, DestinationNamingTheSourceIsNeverOpened) {
    std::string source = conv.file("LongSourceName.document");
    ASSERT_TRUE(write_file(source, "precious"));
    conv.add("conv_a.cnv", "op1=text 100 {}");
    register_import("c1", "Alpha", "conv_a.cnv");

    for (const std::string &destination : conv.other_spellings("LongSourceName.document")) {
        SCOPED_TRACE(destination);
        std::string status_file;
        EXPECT_EQ(run_request(source, destination, "X", &status_file), EXIT_NOT_TAKEN);
        EXPECT_EQ(status_file, status("", -15));
        EXPECT_EQ(read_file(source), "precious");
        Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
        EXPECT_EQ(lines_starting(log, "IsFormatCorrect32 ").size(), 1u);
        EXPECT_TRUE(lines_starting(log, "ForeignToRtf32 ").empty());
    }
}

TEST_F(Import, SourcePathLongerThanThePathHandleIsNotTaken) {
    std::string destination = conv.file("out.rtf");
    conv.add("conv_a.cnv", "accept=0");
    register_import("c1", "Alpha", "conv_a.cnv");
    std::string stem = conv.path() + "\\";

    // 260 characters still fit the handle with its zero byte.
    std::string fits = stem + std::string(260 - stem.size(), 'f');
    std::string status_file;
    EXPECT_EQ(run_request(fits, destination, "X", &status_file), EXIT_NOT_TAKEN);
    EXPECT_EQ(lines_starting(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), "IsFormatCorrect32 "),
              Lines{is_format_correct(fits, "Alpha")});

    conv.configure("conv_a.cnv", "op1=text 100 {}");
    std::string too_long = stem + std::string(261 - stem.size(), 'g');
    EXPECT_EQ(run_request(too_long, destination, "X", &status_file), EXIT_NOT_TAKEN);
    EXPECT_EQ(status_file, status("", -15));
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), (Lines{"attach", INIT_WITH_WINDOW, "detach"}));
}

}  // namespace
