// Export end to end: docvane.exe hands an RTF file to the fixture converter
// at the requested index; what the converter received and what docvane
// created, deleted and returned.
#include <gtest/gtest.h>

#include <vector>

#include "converter_folder.h"
#include "win_test_support.h"

using namespace dvtest;

namespace {

typedef std::vector<std::string> Lines;

const DWORD EXIT_NOT_TAKEN = 4294967281u;     // -15
const DWORD EXIT_CANNOT_START = 4294967280u;  // -16
const DWORD EXIT_NOT_CREATED = 4294967284u;   // -12

const char INIT_WITHOUT_WINDOW[] = "InitConverter32 hwnd=null module=set";
const char REGISTER_APP[] = "RegisterApp flags=1 lp=null";

std::string rtf_to_foreign(const std::string &destination, const std::string &name) {
    return "RtfToForeign32 file=261m stg=null buff=8m class=32m cb=set path=\"" + escaped(oem(destination)) +
           "\" class_bytes=" + class_hex(name);
}

// The side block (8 and 1 as 16-bit values) and what follows its handle in
// the transfer buffer: 4 zero bytes where a handle takes 4.
std::string side_line() {
    return std::string("side=8m side_bytes=0800010000000000 buff_rest=") + (sizeof(HGLOBAL) == 4 ? "00000000" : "");
}

std::string in_line(long ret, unsigned long before, unsigned long after, int shown) {
    return "in ret=" + std::to_string(ret) + " size=" + std::to_string(before) + ">" + std::to_string(after) +
           " title=\"" + progress(shown) + "\" visible=0";
}

class Export : public testing::Test {
  protected:
    RegistryScope reg;
    ConverterFolder conv;

    void register_export(const std::string &subkey, const std::string &name, const std::string &file) {
        reg.add_converter(true, subkey, name, conv.file(file), "wri");
    }
    DWORD run_request(const std::string &source, const std::string &destination, const std::string &index,
                      std::string *status_out) {
        return run_request_file(conv.file("export.req"),
                                source + "\r\n" + destination + "\r\nX\r\n" + index + "\r\n", status_out);
    }
};

TEST_F(Export, SourceOf5000BytesPassesInThreePieces) {
    std::string source = conv.file("in.rtf");
    std::string destination = conv.file("out.wri");
    std::string rtf = pattern_bytes(7, 5000);
    ASSERT_TRUE(write_file(source, rtf));
    conv.add("conv_a.cnv", "");
    conv.add("conv_b.cnv", "op1=readall\r\nop2=writedest");
    register_export("c1", "Alpha", "conv_a.cnv");
    register_export("c2", "Beta", "conv_b.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "1", &status_file), 0u);
    EXPECT_EQ(status_file, status(progress(100), 0));
    // The converter found the file from the path it was given.
    EXPECT_EQ(read_file(destination), rtf);
    EXPECT_EQ(read_file(source), rtf);

    // Only the converter at index 1 is loaded. The transfer buffer grows
    // from 8 to 2048 bytes on the first call only.
    Lines expected = {
        "conv_b.cnv attach",
        "conv_b.cnv " + std::string(INIT_WITHOUT_WINDOW),
        "conv_b.cnv " + std::string(REGISTER_APP),
        "conv_b.cnv " + rtf_to_foreign(destination, "Beta"),
        "conv_b.cnv " + side_line(),
        "conv_b.cnv " + in_line(2048, 8, 2048, 40),
        "conv_b.cnv " + in_line(2048, 2048, 2048, 81),
        "conv_b.cnv " + in_line(904, 2048, 2048, 100),
        "conv_b.cnv " + in_line(0, 2048, 2048, 100),
        "conv_b.cnv writedest ok=1",
        "conv_b.cnv received n=5000 fnv=" + fnv_hex(rtf),
        "conv_b.cnv return 0",
        "conv_b.cnv detach",
    };
    EXPECT_EQ(conv.take_log(), expected);
}

TEST_F(Export, IndexChoosesTheConverterOrNoneIsTaken) {
    std::string source = conv.file("in.rtf");
    std::string destination = conv.file("out.wri");
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    conv.add("conv_a.cnv", "op1=readall");
    conv.add("conv_b.cnv", "op1=readall");
    register_export("c1", "Alpha", "conv_a.cnv");
    register_export("c2", "Beta", "conv_b.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "0", &status_file), 0u);
    EXPECT_EQ(status_file, status(progress(100), 0));
    EXPECT_EQ(read_file(destination), "");
    Lines log = conv.take_log();
    EXPECT_EQ(ConverterFolder::of(log, "conv_a.cnv").size(), 10u);
    EXPECT_TRUE(ConverterFolder::of(log, "conv_b.cnv").empty());
    DeleteFileA(destination.c_str());

    for (const char *index : {"-1", "2", "-2147483648"}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(run_request(source, destination, index, &status_file), EXIT_NOT_TAKEN);
        EXPECT_EQ(status_file, status("", -15));
        EXPECT_FALSE(file_exists(destination));
        EXPECT_EQ(conv.take_log(), Lines{});
    }
}

TEST_F(Export, WordPadConverterOnTheCommandLine) {
    std::string source = conv.file("in.rtf");
    std::string destination = conv.file("out.doc");
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    conv.add("MSWD6_32.WPC", "result=2\r\nop1=readall");
    conv.add("WRITE32.WPC", "");  // never an export converter
    reg.set_wordpad_command(conv.file("wordpad.exe") + " %1");

    EXPECT_EQ(run_docvane_tail(source + " " + destination + " 0"), 2u);
    EXPECT_TRUE(file_exists(destination));
    Lines log = conv.take_log();
    EXPECT_EQ(lines_starting(ConverterFolder::of(log, "MSWD6_32.WPC"), "RtfToForeign32 "),
              Lines{rtf_to_foreign(destination, "Word f\xFCr Windows 6.0")});
    EXPECT_EQ(ConverterFolder::of(log, "MSWD6_32.WPC").back(), "detach");

    DeleteFileA(destination.c_str());
    EXPECT_EQ(run_docvane_tail(source + " " + destination + " 1"), EXIT_NOT_TAKEN);
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(conv.take_log(), Lines{});
}

TEST_F(Export, MissingSourceLeavesAnExistingDestinationAlone) {
    std::string destination = conv.file("out.wri");
    ASSERT_TRUE(write_file(destination, "keep me"));
    conv.add("conv_a.cnv", "op1=readall");
    register_export("c1", "Alpha", "conv_a.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(conv.file("missing.rtf"), destination, "0", &status_file), EXIT_CANNOT_START);
    EXPECT_EQ(status_file, status("", -16));
    EXPECT_EQ(read_file(destination), "keep me");
    Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
    EXPECT_TRUE(lines_starting(log, "RtfToForeign32 ").empty());
    EXPECT_EQ(log.back(), "detach");

    // Without an existing destination none is created.
    DeleteFileA(destination.c_str());
    EXPECT_EQ(run_request(conv.file("missing.rtf"), destination, "0", &status_file), EXIT_CANNOT_START);
    EXPECT_FALSE(file_exists(destination));
}

TEST_F(Export, DestinationThatCannotBeCreated) {
    std::string source = conv.file("in.rtf");
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    conv.add("conv_a.cnv", "op1=readall");
    register_export("c1", "Alpha", "conv_a.cnv");
    std::string stem = conv.path() + "\\";

    // In a folder that does not exist, and longer than the path handle holds.
    for (const std::string &destination :
         {conv.file("nofolder\\out.wri"), stem + std::string(261 - stem.size(), 'd')}) {
        SCOPED_TRACE(destination);
        std::string status_file;
        EXPECT_EQ(run_request(source, destination, "0", &status_file), EXIT_NOT_CREATED);
        EXPECT_EQ(status_file, status("", -12));
        EXPECT_FALSE(file_exists(destination));
        EXPECT_EQ(read_file(source), "{\\rtf1 }");
        Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
        EXPECT_TRUE(lines_starting(log, "RtfToForeign32 ").empty());
        EXPECT_EQ(log.back(), "detach");
    }
    EXPECT_FALSE(file_exists(conv.file("nofolder")));

    // 260 characters still fit.
    std::string fits = stem + std::string(260 - stem.size(), 'e');
    std::string status_file;
    EXPECT_EQ(run_request(source, fits, "0", &status_file), 0u);
    EXPECT_EQ(lines_starting(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), "RtfToForeign32 "),
              Lines{rtf_to_foreign(fits, "Alpha")});
}

TEST_F(Export, FailingConverterLosesItsDestinationAndKeptOnesAreTruncated) {
    std::string source = conv.file("in.rtf");
    std::string destination = conv.file("out.wri");
    ASSERT_TRUE(write_file(source, "{\\rtf1 failing}"));
    conv.add("conv_a.cnv", "result=-3\r\nop1=readall\r\nop2=writedest");
    register_export("c1", "Alpha", "conv_a.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "0", &status_file), 4294967293u);
    EXPECT_EQ(status_file, status(progress(100), -3));
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(lines_starting(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), "writedest "),
              Lines{"writedest ok=1"});

    // A converter that succeeds without writing leaves the destination
    // docvane created: empty, an old one truncated.
    ASSERT_TRUE(write_file(destination, "old content"));
    conv.configure("conv_a.cnv", "op1=readall");
    EXPECT_EQ(run_request(source, destination, "0", &status_file), 0u);
    bool exists = false;
    EXPECT_EQ(read_file(destination, &exists), "");
    EXPECT_TRUE(exists);
}

TEST_F(Export, EmptySourceShowsAHundredPercent) {
    std::string source = conv.file("empty.rtf");
    std::string destination = conv.file("out.wri");
    ASSERT_TRUE(write_file(source, ""));
    conv.add("conv_a.cnv", "op1=readall");
    register_export("c1", "Alpha", "conv_a.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "0", &status_file), 0u);
    EXPECT_EQ(status_file, status(progress(100), 0));
    EXPECT_EQ(lines_starting(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), "in "),
              Lines{in_line(0, 8, 2048, 100)});
}

TEST_F(Export, ReadErrorFailsTheExportAndDeletesTheDestination) {
    std::string source = conv.file("in.rtf");
    std::string destination = conv.file("out.wri");
    ASSERT_TRUE(write_file(source, pattern_bytes(0, 10000)));
    // The converter writes what it got and claims success.
    conv.add("conv_a.cnv", "op1=read\r\nop2=break_read " + source + "\r\nop3=readall\r\nop4=writedest");
    register_export("c1", "Alpha", "conv_a.cnv");

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "0", &status_file), EXIT_CANNOT_START);
    EXPECT_FALSE(file_exists(destination));
    EXPECT_EQ(read_file(source), pattern_bytes(0, 10000));
    Lines log = ConverterFolder::of(conv.take_log(), "conv_a.cnv");
    EXPECT_EQ(lines_starting(log, "break "), Lines{"break ok=1"});
    Lines in = lines_starting(log, "in ");
    ASSERT_GE(in.size(), 2u);
    EXPECT_EQ(in.front(), in_line(2048, 8, 2048, 20));
    EXPECT_EQ(in.back().substr(0, 9), "in ret=0 ");
    std::string last_title = in.back().substr(in.back().find("title=\"") + 7);
    last_title = last_title.substr(0, last_title.find('"'));
    EXPECT_NE(last_title, progress(100));
    EXPECT_EQ(status_file, status(last_title, -16));
}

TEST_F(Export, DestinationNamingTheSourceIsNeverCreated) {
    std::string source = conv.file("LongSourceName.richtext");
    ASSERT_TRUE(write_file(source, "{\\rtf1 precious}"));
    conv.add("conv_a.cnv", "op1=readall");
    register_export("c1", "Alpha", "conv_a.cnv");

    for (const std::string &destination : conv.other_spellings("LongSourceName.richtext")) {
        SCOPED_TRACE(destination);
        std::string status_file;
        EXPECT_EQ(run_request(source, destination, "0", &status_file), EXIT_NOT_CREATED);
        EXPECT_EQ(status_file, status("", -12));
        EXPECT_EQ(read_file(source), "{\\rtf1 precious}");
        EXPECT_TRUE(lines_starting(ConverterFolder::of(conv.take_log(), "conv_a.cnv"), "RtfToForeign32 ").empty());
    }
}

TEST_F(Export, BindingFailuresCannotStart) {
    std::string source = conv.file("in.rtf");
    std::string destination = conv.file("out.wri");
    ASSERT_TRUE(write_file(source, "{\\rtf1 }"));
    conv.add("c1.cnv", "", "fixture_no_init.dll");
    conv.add("c2.cnv", "init=0");
    conv.add("c3.cnv", "init=65536");  // zero in the low 16 bits
    conv.add("c4.cnv", "", "fixture_no_rtf_to_foreign.dll");
    conv.add("c5.cnv", "op1=readall", "fixture_no_register_app.dll");
    for (const char *c : {"c1", "c2", "c3", "c4", "c5"}) register_export(c, c, std::string(c) + ".cnv");

    const Lines attach_only = {"attach", "detach"};
    const Lines refused = {"attach", INIT_WITHOUT_WINDOW, "detach"};
    const Lines *expected[] = {&attach_only, &refused, &refused, &attach_only};
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        std::string status_file;
        EXPECT_EQ(run_request(source, destination, std::to_string(index), &status_file), EXIT_CANNOT_START);
        EXPECT_EQ(status_file, status("", -16));
        EXPECT_FALSE(file_exists(destination));
        std::string name = "c" + std::to_string(index + 1) + ".cnv";
        Lines log = conv.take_log();
        EXPECT_EQ(ConverterFolder::of(log, name), *expected[index]);
        EXPECT_EQ(log.size(), expected[index]->size());
    }

    std::string status_file;
    EXPECT_EQ(run_request(source, destination, "4", &status_file), 0u);
    EXPECT_EQ(status_file, status(progress(100), 0));
    Lines log = ConverterFolder::of(conv.take_log(), "c5.cnv");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], INIT_WITHOUT_WINDOW);
    EXPECT_EQ(log[2], rtf_to_foreign(destination, "c5"));
}

}  // namespace
