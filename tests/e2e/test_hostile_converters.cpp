// Faulty and hostile converters end to end: for each behaviour, the exit
// code, the status file, what became of a destination that existed before,
// that the source is intact, and that the library was released with every
// global block freed, or, when it faulted, that the run ended at once
// without running its shutdown code.
#include <gtest/gtest.h>

#include <ctype.h>
#include <limits.h>
#include <string.h>

#include <vector>

#include "converter_folder.h"
#include "win_test_support.h"

using namespace dvtest;

namespace {

typedef std::vector<std::string> Lines;

const int NO_TITLE = INT_MIN;  // no data callback ever ran: empty progress text
// HELD: left behind, with the given bytes, by a converter that faulted while
// it still held the file open. LEFT: left behind, with the given bytes,
// because no handle docvane holds could be trusted to delete it.
enum Destination { UNTOUCHED, ABSENT, EMPTY, BYTES, HELD, LEFT };

const char FULL[] = "fixture_converter.dll";
const std::string OLD_DESTINATION = "what the caller had\r\n";
const std::string IMPORT_SOURCE = "foreign bytes the converter reads itself";
// 2048 + 952 bytes: the title shows 68 after the first read.
const std::string EXPORT_SOURCE = pattern_bytes(3, 3000);

// Exception codes as results. Under qemu-i386, the 32-bit test route, a page
// fault arrives as an illegal instruction; on Windows it is an access
// violation on both architectures.
const int ACCESS_VIOLATION = static_cast<int>(sizeof(void *) == 4 ? 0xC000001Du : 0xC0000005u);
const int OWN_EXCEPTION = static_cast<int>(0xE0441234u);
// A code that is not negative gives this instead.
const int POSITIVE_EXCEPTION_RESULT = -65536;
// Converter code ended the process or docvane's thread.
const int ENDED_RUN = -65537;
// Under qemu-i386 a stack overflow arrives as this or, depending on where the
// recursion meets the guard page (how deep docvane's own frames go), as the
// emulator's page fault 0xC000001D.
const int STACK_OVERFLOW = static_cast<int>(0xC00000FDu);
// A file docvane holds no longer names the file it opened.
const int OWN_FILE_CHANGED = -65538;
const std::string DECOY = "the converter's own file";
const std::string PROBE_CLEAN = "probe errormode=0x8003 crtmode=1 dlldir=host planted=0";

// How the converter's log ends.
enum Ending {
    RELEASED,  // freed with FreeLibrary after every block it was handed
    FAULTED,   // its fault was its last act: none of its shutdown code ran
    EXITED,    // it ended the process: at most its detach at exit followed
};

struct Row {
    const char *what;
    bool exporting;
    const char *variant;
    const char *settings;  // the [fixture] section, lines separated by "|"
    int result;            // exit code and second status line
    int title;             // percentage of the status file's first line
    Destination destination;
    std::string bytes;  // for BYTES
    Lines log_has;      // lines the converter's log must hold
    Ending ending = RELEASED;
    // Request file and paths relative to the folder docvane starts in,
    // which the converter moves away from ("chdir=elsewhere").
    bool relative = false;
    // Settings of a converter ("conv0.cnv", beside) walked before this one,
    // which declines the source; import only.
    const char *first = nullptr;
    // Names of the source and the destination, in the ANSI code page, when
    // not the usual ones.
    const char *source_name = nullptr;
    const char *destination_name = nullptr;
    // A folder beside the others that this converter is copied into.
    const char *converter_folder = nullptr;
};

// gtest shows a failing row by its description.
void PrintTo(const Row &row, std::ostream *os) { *os << row.what; }

std::string out_line(long count, long percent, long ret, int shown) {
    return "out count=" + std::to_string(count) + " pct=" + std::to_string(percent) + " ret=" +
           std::to_string(ret) + " title=\"" + progress(shown) + "\" visible=0";
}

const Row ROWS[] = {
    // Import: whatever ends before a converter takes the source leaves the
    // destination as it was and ends as "not taken".
    {"import InitConverter32 refuses", false, FULL, "init=0", -15, NO_TITLE, UNTOUCHED, "", {}},
    {"import without InitConverter32", false, "fixture_no_init.dll", "", -15, NO_TITLE, UNTOUCHED, "", {}},
    {"import without IsFormatCorrect32", false, "fixture_no_is_format_correct.dll", "", -15, NO_TITLE, UNTOUCHED,
     "", {}},
    {"import without ForeignToRtf32", false, "fixture_no_foreign_to_rtf.dll", "", -15, NO_TITLE, UNTOUCHED, "", {}},
    {"import IsFormatCorrect32 always no", false, FULL, "accept=0|op1=text 100 {}", -15, NO_TITLE, UNTOUCHED, "",
     {}},
    // Only the low word answers.
    {"import IsFormatCorrect32 yes above the low word only", false, FULL, "accept=0x10000|op1=text 100 {}", -15,
     NO_TITLE, UNTOUCHED, "", {}},
    {"import IsFormatCorrect32 always yes", false, FULL, "accept=0xFFFF|op1=text 100 {}", 0, 100, BYTES, "{}", {}},
    // Taken: the old destination is gone from here on. With no chunk it
    // stays empty on success and no title was ever set.
    {"import no callback and success", false, FULL, "", 0, NO_TITLE, EMPTY, "", {}},
    {"import no callback and failure", false, FULL, "result=-5", -5, NO_TITLE, ABSENT, "", {}},
    {"import most negative result", false, FULL, "result=-32768|op1=chunk 10 10 30", -32768, 30, ABSENT, "", {}},
    {"import negative result in the low word", false, FULL, "result=0x2FFFE|op1=chunk 10 10 30", -2, 30, ABSENT,
     "", {}},
    {"import positive result in the low word", false, FULL, "result=0x10005|op1=chunk 10 10 30", 5, 30, BYTES,
     pattern_bytes(0, 10), {}},
    {"import largest positive result", false, FULL, "result=32767|op1=chunk 10 10 30", 32767, 30, BYTES,
     pattern_bytes(0, 10), {}},
    // -4 goes on to the converter; its own failure outranks it.
    {"import minus 4 ignored then success", false, FULL,
     "ignore_minus4=1|op1=chunk 10 10 20|op2=chunk 10 -1 30|op3=chunk 10 10 60", -4, 60, ABSENT, "",
     {out_line(-1, 30, -4, 20), out_line(10, 60, 0, 60)}},
    {"import minus 4 ignored then failure", false, FULL,
     "ignore_minus4=1|result=-9|op1=chunk 10 -1 30|op2=chunk 10 10 60", -9, 60, ABSENT, "", {}},
    // A refused count leaves the title as it was.
    {"import stops at minus 4 and claims success", false, FULL,
     "op1=chunk 10 10 20|op2=chunk 10 -5 30|op3=chunk 10 10 40", -4, 20, ABSENT, "",
     {out_line(-5, 30, -4, 20), "stop"}},
    {"import count 0 only", false, FULL, "op1=chunk 10 0 40", 0, 40, EMPTY, "", {}},
    // A count is its low word: 0x10000 is 0, written as nothing.
    {"import count above the low word only", false, FULL, "op1=chunk 10 65536 50", 0, 50, EMPTY, "", {}},
    {"import count past the block", false, FULL, "op1=chunk 2048 2049 70", -4, NO_TITLE, ABSENT, "", {}},
    // Past even the grown size, whether or not the fixed block could grow
    // where it stands.
    {"import count past a grown block", false, FULL, "op1=resize 4096|op2=chunk 4096 4097 70", -4, NO_TITLE,
     ABSENT, "", {}},
    // Shown as received; 65636 is 100 in the low word.
    {"import percentages out of range", false, FULL,
     "op1=chunk 1 1 250|op2=chunk 1 1 -7|op3=chunk 1 1 65636", 0, 100, BYTES, "abc",
     {out_line(1, 250, 0, 250), out_line(1, -7, 0, -7)}},

    // Export: whatever ends before the destination is created leaves it as
    // it was.
    {"export InitConverter32 refuses", true, FULL, "init=0x10000", -16, NO_TITLE, UNTOUCHED, "", {}},
    {"export without InitConverter32", true, "fixture_no_init.dll", "", -16, NO_TITLE, UNTOUCHED, "", {}},
    {"export without RtfToForeign32", true, "fixture_no_rtf_to_foreign.dll", "", -16, NO_TITLE, UNTOUCHED, "", {}},
    {"export needs no import entry points", true, "fixture_no_foreign_to_rtf.dll", "op1=readall|op2=writedest", 0,
     100, BYTES, EXPORT_SOURCE, {}},
    {"export needs no IsFormatCorrect32", true, "fixture_no_is_format_correct.dll", "op1=readall|op2=writedest", 0,
     100, BYTES, EXPORT_SOURCE, {}},
    // Created empty before the converter runs: a converter that writes
    // nothing and succeeds leaves it so.
    {"export no callback and no destination written", true, FULL, "", 0, NO_TITLE, EMPTY, "", {}},
    // A failure deletes what docvane created over the old destination.
    {"export no callback and failure", true, FULL, "result=-2", -2, NO_TITLE, ABSENT, "", {}},
    {"export most negative result in the low word", true, FULL, "result=0x18000|op1=readall|op2=writedest", -32768,
     100, ABSENT, "", {}},
    {"export positive result in the low word", true, FULL, "result=0x10001|op1=readall|op2=writedest", 1, 100,
     BYTES, EXPORT_SOURCE, {}},
    // Never more than 2048 bytes a read, however large the block.
    {"export buffer grown before the first read", true, FULL, "op1=resize 4096|op2=readall|op3=writedest", 0, 100,
     BYTES, EXPORT_SOURCE,
     {"resize ok=1 size=4096", "in ret=2048 size=4096>4096 title=\"" + progress(68) + "\" visible=0"}},
    {"export buffer shrunk between reads", true, FULL, "op1=read|op2=resize 16|op3=readall|op4=writedest", 0, 100,
     BYTES, EXPORT_SOURCE, {"in ret=952 size=16>2048 title=\"" + progress(100) + "\" visible=0"}},

    // The initialisation buffer is still ours while the converter converts.
    {"import initialisation buffer outlives InitConverter32", false, FULL, "keep_module=1", 0, NO_TITLE, EMPTY,
     "", {"module_later=\"docvane\""}},
    {"export initialisation buffer outlives InitConverter32", true, FULL, "keep_module=1", 0, NO_TITLE, EMPTY, "",
     {"module_later=\"docvane\""}},
    // No dialog can stop the run, and a library loaded by bare name never
    // comes from the caller's current directory.
    {"error mode and DLL search path as a converter sees them", false, FULL, "probe=1", 0, NO_TITLE, EMPTY, "",
     {PROBE_CLEAN}},

    // Faults: the status file still tells, the run ends with the exception
    // code, and a destination docvane made is gone; one the fault came
    // before stays as it was.
    {"import fault in InitConverter32", false, FULL, "fault_at=init", ACCESS_VIOLATION, NO_TITLE, UNTOUCHED, "",
     {}, FAULTED},
    {"import own exception in IsFormatCorrect32", false, FULL, "fault_at=accept|fault=0xE0441234", OWN_EXCEPTION,
     NO_TITLE, UNTOUCHED, "", {}, FAULTED},
    {"import fault after chunks", false, FULL, "op1=chunk 10 10 30|op2=chunk 10 10 60|op3=fault", ACCESS_VIOLATION,
     60, ABSENT, "", {}, FAULTED},
    {"import own exception after a chunk", false, FULL, "fault=0xE0441234|op1=chunk 10 10 30|op2=fault",
     OWN_EXCEPTION, 30, ABSENT, "", {}, FAULTED},
    {"import exception with a positive code", false, FULL, "fault=0x20441234|op1=chunk 10 10 30|op2=fault",
     POSITIVE_EXCEPTION_RESULT, 30, ABSENT, "", {}, FAULTED},
    {"import fault after the converter put its own filter in place", false, FULL,
     "replace_filter=attach|op1=chunk 10 10 30|op2=fault", ACCESS_VIOLATION, 30, ABSENT, "", {}, FAULTED},
    {"export fault in InitConverter32", true, FULL, "fault_at=init", ACCESS_VIOLATION, NO_TITLE, UNTOUCHED, "", {},
     FAULTED},
    {"export fault after reads with the destination closed", true, FULL, "op1=read|op2=writedest|op3=fault",
     ACCESS_VIOLATION, 68, ABSENT, "", {}, FAULTED},
    {"export own exception with the destination still held", true, FULL,
     "fault=0xE0441234|op1=readall|op2=holddest|op3=fault", OWN_EXCEPTION, 100, HELD, EXPORT_SOURCE, {}, FAULTED},
    {"export fault after the converter put its own filter in place", true, FULL,
     "replace_filter=attach|op1=read|op2=fault", ACCESS_VIOLATION, 68, ABSENT, "", {}, FAULTED},
    // Put in place by an entry point: the guard is armed again before the
    // next one.
    {"import fault after IsFormatCorrect32 put its own filter in place", false, FULL,
     "replace_filter=accept|op1=chunk 10 10 30|op2=fault", ACCESS_VIOLATION, 30, ABSENT, "", {}, FAULTED},
    // The guard writes and deletes through handles it opened before: the
    // heap it would otherwise need is gone.
    {"import heap damaged then a fault", false, FULL, "fault=heap|op1=chunk 10 10 30|op2=fault", ACCESS_VIOLATION,
     30, ABSENT, "", {}, FAULTED},
    {"import stack overflow after a chunk", false, FULL, "fault=overflow|op1=chunk 10 10 30|op2=fault",
     STACK_OVERFLOW, 30, ABSENT, "", {}, FAULTED},

    // Converter code that ends the process or docvane's thread ends the run
    // as a fault does, with its own result.
    {"import abort after a chunk", false, FULL, "fault=abort|op1=chunk 10 10 30|op2=fault", ENDED_RUN, 30, ABSENT,
     "", {}, FAULTED},
    {"import failed assertion after a chunk", false, FULL, "fault=assert|op1=chunk 10 10 30|op2=fault", ENDED_RUN,
     30, ABSENT, "", {}, FAULTED},
    {"import exit in IsFormatCorrect32", false, FULL, "fault_at=accept|fault=exit", ENDED_RUN, NO_TITLE, UNTOUCHED,
     "", {}, EXITED},
    {"import ExitThread after a chunk", false, FULL, "fault=exitthread|op1=chunk 10 10 30|op2=fault", ENDED_RUN,
     30, ABSENT, "", {}, FAULTED},
    {"export _exit in InitConverter32", true, FULL, "fault_at=init|fault=_exit", ENDED_RUN, NO_TITLE, UNTOUCHED, "",
     {}, EXITED},
    {"export ExitProcess after reads with the destination written", true, FULL,
     "fault=exitprocess|op1=read|op2=writedest|op3=fault", ENDED_RUN, 68, ABSENT, "", {}, EXITED},

    // The loader catches a fault in a library's load or unload code: one
    // that cannot load is passed over, and one that faults on its way out
    // leaves the result as it was.
    {"export fault in the converter's load code", true, FULL, "fault_at=attach", -16, NO_TITLE, UNTOUCHED, "", {},
     RELEASED},
    {"import fault in the converter's unload code", false, FULL, "fault_at=detach|op1=text 100 {}", 0, 100, BYTES,
     "{}", {}, FAULTED},

    // Docvane's own files stay where the caller's current directory put
    // them; converters are still told the paths as given.
    {"import relative paths while the converter moves the current directory", false, FULL,
     "chdir=elsewhere|op1=text 100 {}", 0, 100, BYTES, "{}", {"chdir ok=1"}, RELEASED, true},
    {"export relative paths while the converter moves the current directory", true, FULL,
     "chdir=elsewhere|op1=readall", 0, 100, EMPTY, "", {"chdir ok=1"}, RELEASED, true},

    // Process-wide state that converter code changes between docvane's own
    // steps. The file functions read the caller's ANSI names as OEM from
    // here on; docvane's own files go through wide names converted at the
    // start.
    {"import file functions switched to OEM with non-ASCII names", false, FULL, "file_apis=oem|op1=text 100 {}", 0,
     100, BYTES, "{}", {}, RELEASED, false, nullptr, "\xfc" "ber.doc", "r\xe9sum\xe9.rtf"},
    {"export file functions switched to OEM with non-ASCII names", true, FULL,
     "file_apis=oem|op1=readall|op2=writedest", 0, 100, BYTES, EXPORT_SOURCE, {}, RELEASED, false, nullptr,
     "\xfc" "ber.rtf", "r\xe9sum\xe9.wri"},
    // It loads, and takes the source: its settings file is beyond its reach
    // now (the profile functions read its ANSI name as ANSI), so it
    // converts with none.
    {"import converter in a non-ASCII folder after another switched to OEM", false, FULL, "", 0, NO_TITLE, EMPTY, "",
     {}, RELEASED, false, "file_apis=oem|accept=0", nullptr, nullptr, "\xdc" "ber"},
    // Handles docvane holds: a double close is refused; a converter that
    // lifts the protection and gets the value back for a file of its own
    // gets nothing written, read or deleted through it, and the run fails.
    {"import destination closed twice", false, FULL,
     "op1=chunk 10 10 30|op2=steal out.rtf decoy.txt|op3=chunk 10 10 60", 0, 60, BYTES, pattern_bytes(0, 20),
     {"steal closed=0 reused=0"}},
    {"import destination closed and its value reused", false, FULL,
     "op1=chunk 10 10 30|op2=force out.rtf decoy.txt|op3=chunk 10 10 60", OWN_FILE_CHANGED, 30, ABSENT, "",
     {"steal closed=1 reused=1", "stop"}},
    {"import request file closed and its value reused", false, FULL,
     "op1=chunk 10 10 30|op2=force job.req decoy.txt|op3=chunk 10 10 60", OWN_FILE_CHANGED, 60, ABSENT, "",
     {"steal closed=1 reused=1"}},
    {"export request file closed and its value reused", true, FULL,
     "op1=readall|op2=writedest|op3=force job.req decoy.txt", OWN_FILE_CHANGED, 100, ABSENT, "",
     {"steal closed=1 reused=1"}},
    // The folder handle the destination is deleted through, its value
    // reused for another folder holding a file of the same name.
    {"import destination folder closed and its value reused then a fault", false, FULL,
     "op1=chunk 10 10 30|op2=force . other|op3=fault", OWN_FILE_CHANGED, 30, ABSENT, "",
     {"steal closed=1 reused=1"}, FAULTED},
    {"import destination folder closed and its value reused then failure", false, FULL,
     "result=-3|op1=chunk 10 10 30|op2=force . other", OWN_FILE_CHANGED, 30, ABSENT, "",
     {"steal closed=1 reused=1"}},
    {"export destination folder closed and its value reused then failure", true, FULL,
     "result=-3|op1=readall|op2=writedest|op3=force . other", OWN_FILE_CHANGED, 100, LEFT, EXPORT_SOURCE,
     {"steal closed=1 reused=1"}},
    // An export converter may write a file of its own and put it in the
    // destination's place.
    {"export destination replaced by the converter's own file", true, FULL,
     "op1=readall|op2=replacedest", 0, 100, BYTES, EXPORT_SOURCE, {"replacedest ok=1"}},
    // The C runtime it shares with docvane: no stream of docvane's to close.
    {"import _fcloseall then a file opened after it", false, FULL,
     "op1=chunk 100 100 30|op2=fcloseall decoy.txt|op3=chunk 100 100 60", 0, 60, BYTES, pattern_bytes(0, 200),
     {"fcloseall opened=1"}},
    // The DLL search path as docvane set it, before every load.
    {"import DLL directory reset by an earlier converter", false, FULL, "probe=1", 0, NO_TITLE, EMPTY, "",
     {PROBE_CLEAN}, RELEASED, false, "dlldir=null|accept=0"},
    {"import current directory put on PATH by an earlier converter", false, FULL, "probe=1", 0, NO_TITLE, EMPTY, "",
     {PROBE_CLEAN}, RELEASED, false, "path_dot=1|accept=0"},
    // Put back before every entry point and in every data callback.
    {"import error mode cleared by an earlier converter", false, FULL, "probe=1", 0, NO_TITLE, EMPTY, "",
     {PROBE_CLEAN}, RELEASED, false, "errormode=0|accept=0"},
    {"import error mode cleared inside the conversion then a fault", false, FULL,
     "op1=errormode 0|op2=chunk 10 10 30|op3=probe|op4=fault", ACCESS_VIOLATION, 30, ABSENT, "", {PROBE_CLEAN},
     FAULTED},
    {"import own filter set inside the conversion then chunks then a fault", false, FULL,
     "op1=chunk 10 10 30|op2=filter|op3=chunk 10 10 60|op4=fault", ACCESS_VIOLATION, 60, ABSENT, "", {}, FAULTED},
    {"export own filter set inside the conversion then reads then a fault", true, FULL,
     "op1=filter|op2=read|op3=fault", ACCESS_VIOLATION, 68, ABSENT, "", {}, FAULTED},
};

std::string test_name(const testing::TestParamInfo<Row> &info) {
    std::string name;
    bool upper = true;
    for (const char *c = info.param.what; *c; ++c) {
        if (!isalnum(static_cast<unsigned char>(*c))) {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(toupper(static_cast<unsigned char>(*c))) : *c;
        upper = false;
    }
    return name;
}

std::string settings_text(const char *settings) {
    std::string out = settings;
    for (size_t at; (at = out.find('|')) != std::string::npos;) out.replace(at, 1, "\r\n");
    return out;
}

size_t count(const Lines &lines, const std::string &line) {
    size_t n = 0;
    for (const std::string &l : lines) n += l == line;
    return n;
}

class Hostile : public testing::TestWithParam<Row> {
  protected:
    RegistryScope reg;
    ConverterFolder conv;
};

// The file that the ANSI name's bytes name when they are read as OEM.
bool exists_read_as_oem(const std::string &folder, const std::string &name) {
    std::string path = folder + "\\" + name;
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_OEMCP, 0, path.c_str(), -1, wide, MAX_PATH)) return false;
    return GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}

TEST_P(Hostile, ExitStatusDestinationAndRelease) {
    const Row &row = GetParam();
    const std::string source_bytes = row.exporting ? EXPORT_SOURCE : IMPORT_SOURCE;
    const std::string source_name = row.source_name ? row.source_name : row.exporting ? "in.rtf" : "in.doc";
    const std::string destination_name =
        row.destination_name ? row.destination_name : row.exporting ? "out.wri" : "out.rtf";
    std::string source = conv.file(source_name);
    std::string destination = conv.file(destination_name);
    // Non-ASCII names need a Linux locale that can spell them (the test
    // runs with LC_ALL=C.UTF-8).
    ASSERT_TRUE(write_file(source, source_bytes)) << source;
    ASSERT_TRUE(write_file(destination, OLD_DESTINATION));
    std::string library = "conv.cnv";
    if (row.converter_folder) {
        ASSERT_TRUE(CreateDirectoryA(conv.file(row.converter_folder).c_str(), NULL));
        library = std::string(row.converter_folder) + "\\conv.cnv";
    }
    conv.add(library, settings_text(row.settings), row.variant);
    if (row.first) {
        conv.add("conv0.cnv", settings_text(row.first));
        reg.add_converter(false, "c0", "First", conv.file("conv0.cnv"), "doc");
    }
    // Planted where a library loaded by bare name must not come from: the
    // current directory docvane is started in.
    conv.add("fixture_planted.dll", "");
    reg.add_converter(row.exporting, "c1", "Alpha", conv.file(library), row.exporting ? "wri" : "doc");
    // Files of the converter's own that a handle of docvane's may come to
    // name: they must never receive docvane's bytes nor be deleted.
    ASSERT_TRUE(CreateDirectoryA(conv.file("other").c_str(), NULL));
    ASSERT_TRUE(write_file(conv.file("other\\" + destination_name), DECOY));

    std::string request = conv.file("job.req");
    std::string source_word = row.relative ? source_name : source;
    std::string destination_word = row.relative ? destination_name : destination;
    ASSERT_TRUE(write_file(request, source_word + "\r\n" + destination_word + "\r\nX\r\n" +
                                        (row.exporting ? "0\r\n" : "")));
    EXPECT_EQ(run_program(docvane_exe().c_str(),
                          "\"" + docvane_exe() + "\" " + (row.relative ? "job.req" : request), conv.path().c_str()),
              static_cast<DWORD>(row.result));
    EXPECT_EQ(read_file(request), status(row.title == NO_TITLE ? "" : progress(row.title), row.result));
    // No failure may end as success, nor the reverse.
    EXPECT_EQ(row.result < 0, row.destination == ABSENT || row.destination == UNTOUCHED ||
                                  row.destination == HELD || row.destination == LEFT)
        << "row is inconsistent";

    bool exists = false;
    std::string now = read_file(destination, &exists);
    switch (row.destination) {
    case UNTOUCHED: EXPECT_EQ(now, OLD_DESTINATION); break;
    case ABSENT: EXPECT_FALSE(exists); break;
    case EMPTY: EXPECT_TRUE(exists); EXPECT_EQ(now, ""); break;
    case BYTES:
    case HELD:
    case LEFT: EXPECT_EQ(now, row.bytes); break;
    }
    EXPECT_EQ(read_file(source), source_bytes);
    EXPECT_EQ(read_file(conv.file("other\\" + destination_name)), DECOY);
    // Created by the converter, written by nobody.
    EXPECT_EQ(read_file(conv.file("decoy.txt")), "");
    if (oem(destination_name) != destination_name) {
        EXPECT_FALSE(exists_read_as_oem(conv.path(), destination_name));
        EXPECT_FALSE(exists_read_as_oem(conv.path(), source_name));
    }
    EXPECT_FALSE(file_exists(conv.file("elsewhere\\job.req")));
    EXPECT_FALSE(file_exists(conv.file("elsewhere\\" + destination_word)));

    Lines log = conv.take_log();
    if (row.converter_folder) {
        // Its log lies beside it.
        std::string text = read_file(conv.file(std::string(row.converter_folder) + "\\fixture.log"));
        for (size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
            log.push_back(text.substr(start, nl - start));
    }
    EXPECT_TRUE(ConverterFolder::of(log, "fixture_planted.dll").empty());
    log = ConverterFolder::of(log, "conv.cnv");
    EXPECT_EQ(count(log, "attach"), 1u);
    EXPECT_EQ(count(log, "converter filter"), 0u);
    for (const std::string &line : row.log_has) EXPECT_EQ(count(log, line), 1u) << line;
    if (row.ending != RELEASED) {
        // Ended inside the converter: none of its shutdown code ran but, when
        // it ended the process itself, what the process end runs.
        while (row.ending == EXITED && !log.empty() && log.back() == "detach at exit") log.pop_back();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().compare(0, 6, "fault "), 0) << log.back();
        EXPECT_TRUE(lines_starting(log, "detach").empty());
        return;
    }

    // Released with FreeLibrary after every block it was handed had been
    // freed (the fixture's last line says which were not).
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "detach");
    EXPECT_EQ(lines_starting(log, "detach").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Matrix, Hostile, testing::ValuesIn(ROWS), test_name);

// A converter thread that faults around the end of the run, before or after
// docvane's thread claims the end, or once its code is unloaded: whichever
// end wins, the status file and the exit code agree and the destination
// matches the result.
TEST(RunEnd, ConverterThreadFaultingAroundTheEnd) {
    RegistryScope reg;
    ConverterFolder conv;
    std::string source = conv.file("in.doc"), destination = conv.file("out.rtf"), request = conv.file("job.req");
    ASSERT_TRUE(write_file(source, IMPORT_SOURCE));
    reg.add_converter(false, "c1", "Alpha", conv.file("conv.cnv"), "doc");
    for (int delay : {0, 1, 3, 10, 30, 100}) {
        SCOPED_TRACE(delay);
        conv.add("conv.cnv", "op1=chunk 10 10 30\r\nop2=worker " + std::to_string(delay));
        ASSERT_TRUE(write_file(destination, OLD_DESTINATION));
        ASSERT_TRUE(write_file(request, source + "\r\n" + destination + "\r\nX\r\n"));
        int result = static_cast<int>(run_program(docvane_exe().c_str(), "\"" + docvane_exe() + "\" " + request));
        EXPECT_EQ(read_file(request), status(progress(30), result));
        bool exists = false;
        std::string now = read_file(destination, &exists);
        if (result >= 0) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(now, pattern_bytes(0, 10));
        } else {
            EXPECT_FALSE(exists);
        }
        EXPECT_EQ(read_file(source), IMPORT_SOURCE);
        conv.take_log();
    }
}

// PATH as the caller hands it over: entries that lead to the current
// directory are dropped before any converter loads, so a library loaded by
// bare name never comes from there through PATH either.
TEST(LoadSettings, CallerPathEntriesLeadingToTheCurrentDirectoryAreDropped) {
    RegistryScope reg;
    ConverterFolder conv;
    std::string source = conv.file("in.doc"), destination = conv.file("out.rtf"), request = conv.file("job.req");
    ASSERT_TRUE(write_file(source, IMPORT_SOURCE));
    conv.add("conv.cnv", "probe=1");
    conv.add("fixture_planted.dll", "");
    ASSERT_TRUE(CreateDirectoryA(conv.file("sub").c_str(), NULL));
    conv.add("sub\\fixture_planted.dll", "");
    reg.add_converter(false, "c1", "Alpha", conv.file("conv.cnv"), "doc");
    char saved[8192] = "";
    DWORD had = GetEnvironmentVariableA("PATH", saved, sizeof saved);
    ASSERT_LT(had, sizeof saved);
    for (const std::string &entry : {std::string("."), std::string("sub"), conv.path(), conv.path() + "\\",
                                     std::string("\"") + conv.path() + "\""}) {
        SCOPED_TRACE(entry);
        ASSERT_TRUE(write_file(request, source + "\r\n" + destination + "\r\nX\r\n"));
        SetEnvironmentVariableA("PATH", (entry + ";" + saved).c_str());
        DWORD code = run_program(docvane_exe().c_str(), "\"" + docvane_exe() + "\" " + request, conv.path().c_str());
        SetEnvironmentVariableA("PATH", had ? saved : NULL);
        EXPECT_EQ(code, 0u);
        Lines log = conv.take_log();
        EXPECT_TRUE(ConverterFolder::of(log, "fixture_planted.dll").empty());
        EXPECT_EQ(count(ConverterFolder::of(log, "conv.cnv"), PROBE_CLEAN), 1u);
    }
}

// The release record must be able to tell: blocks left allocated are named,
// fixed and moveable alike, and freed ones are not.
TEST(ReleaseRecord, NamesTheBlocksStillAllocated) {
    typedef long(WINAPI * IsFormatCorrect)(HGLOBAL, HGLOBAL);
    typedef long(WINAPI * RtfToForeign)(HGLOBAL, void *, HGLOBAL, HGLOBAL, void *);
    ConverterFolder conv;
    std::string library = conv.add("conv.cnv", "");
    struct Case {
        bool exporting;
        unsigned keep;  // bit i: block i stays allocated over FreeLibrary
        const char *last_line;
    } cases[] = {
        {false, 0u, "detach"},
        {false, 2u, "detach leaked=class"},
        {true, 0u, "detach"},
        {true, 1u | 8u, "detach leaked=path,side"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.last_line);
        UINT flags = c.exporting ? GMEM_MOVEABLE | GMEM_ZEROINIT : GMEM_ZEROINIT;
        // Path, class-name handle, transfer buffer, side block.
        HGLOBAL blocks[4] = {GlobalAlloc(flags, 261), GlobalAlloc(flags, 32), GlobalAlloc(flags, 8),
                             GlobalAlloc(flags, 8)};
        HMODULE module = LoadLibraryA(library.c_str());
        ASSERT_NE(module, (HMODULE)NULL);
        if (c.exporting) {
            void *transfer = GlobalLock(blocks[2]);
            memcpy(transfer, &blocks[3], sizeof blocks[3]);
            GlobalUnlock(blocks[2]);
            reinterpret_cast<RtfToForeign>(reinterpret_cast<void *>(GetProcAddress(module, "RtfToForeign32")))(
                blocks[0], NULL, blocks[2], blocks[1], NULL);
        } else {
            reinterpret_cast<IsFormatCorrect>(reinterpret_cast<void *>(GetProcAddress(module, "IsFormatCorrect32")))(
                blocks[0], blocks[1]);
        }
        for (int i = 0; i < 4; ++i)
            if (!(c.keep & (1u << i))) GlobalFree(blocks[i]);
        FreeLibrary(module);
        for (int i = 0; i < 4; ++i)
            if (c.keep & (1u << i)) GlobalFree(blocks[i]);
        Lines log = ConverterFolder::of(conv.take_log(), "conv.cnv");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), c.last_line);
    }
}

}  // namespace
