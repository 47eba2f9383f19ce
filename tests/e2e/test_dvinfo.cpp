// dvinfo.exe end to end: one registry state with a converter for every
// problem dvinfo tells of, the loader's included. Its rows are checked
// against a table, its indices and verdicts against what docvane.exe does
// with them, and the fixture log shows that dvinfo itself loads no
// converter. Both programs run from a folder of their own, as installed, so
// that libraries can be put in docvane's folder.
#include <gtest/gtest.h>

#include <vector>

#include "converter_folder.h"
#include "win_test_support.h"

using namespace dvtest;

namespace {

typedef std::vector<std::string> Lines;

const DWORD EXIT_NOT_TAKEN = 4294967281u;     // -15
const DWORD EXIT_CANNOT_START = 4294967280u;  // -16
const char WORD_NAME[] = "Word f\xFCr Windows 6.0";

#ifdef _WIN64
const char OTHER_ARCH[] = "32-bit library: only the i686 docvane can load it";
const char OTHER_ARCH_WORDS[] = "a 32-bit library";
const unsigned short OTHER_MACHINE = 0x14c;
const char VIEW[] = "64-bit view";
#else
const char OTHER_ARCH[] = "64-bit library: only the x86_64 docvane can load it";
const char OTHER_ARCH_WORDS[] = "a 64-bit library";
const unsigned short OTHER_MACHINE = 0x8664;
const char VIEW[] = "32-bit Windows (one view)";  // the i686 tests run in a win32 prefix
#endif

const std::string CONVERTERS_KEY = "SOFTWARE\\Microsoft\\Shared Tools\\Text Converters";

// The PE headers of a DLL for the other architecture, and nothing else.
std::string other_arch_dll() {
    std::string b(512, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    b[60] = 0x40;
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    b[0x44] = static_cast<char>(OTHER_MACHINE & 0xFF);
    b[0x45] = static_cast<char>(OTHER_MACHINE >> 8);
    b[0x44 + 18] = 0x02;
    b[0x44 + 19] = 0x21;  // executable, DLL
    return b;
}

// expected, with at most one "*" standing for any text.
bool matches(const std::string &actual, const std::string &expected) {
    size_t star = expected.find('*');
    if (star == std::string::npos) return actual == expected;
    std::string tail = expected.substr(star + 1);
    return actual.size() >= expected.size() - 1 && actual.compare(0, star, expected, 0, star) == 0 &&
           actual.compare(actual.size() - tail.size(), tail.size(), tail) == 0;
}

// Windows refuses a library that imports a function its dependency does
// not export, or whose manifest names an assembly found nowhere; Wine loads
// both (a stub in the function's place; no activation context), so docvane
// under Wine uses such a converter as if dvinfo had said "ok".
bool loads_under_wine(const std::string &status) {
    return status.compare(0, 2, "ok") == 0 || status.find(": will not load on Windows") != std::string::npos;
}

struct Row {
    std::string direction, w, x, y, source, name, path, extensions, status, docvane;
};

std::vector<std::string> split(const std::string &text, char at) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find(at, start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    out.push_back(text.substr(start));
    return out;
}

std::string file_name(const std::string &path) { return path.substr(path.rfind('\\') + 1); }

uint32_t get32(const std::string &b, size_t at) {
    if (at + 4 > b.size()) return 0;
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
void set32(std::string &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// The file offset of an address in a linked image (0: none).
size_t image_offset(const std::string &b, uint32_t rva) {
    size_t fh = get32(b, 60) + 4;
    size_t sections = fh + 20 + (static_cast<unsigned char>(b[fh + 16]) | static_cast<unsigned char>(b[fh + 17]) << 8);
    unsigned count = static_cast<unsigned char>(b[fh + 2]) | static_cast<unsigned char>(b[fh + 3]) << 8;
    for (unsigned i = 0; i < count; ++i) {
        size_t s = sections + 40 * i;
        uint32_t address = get32(b, s + 12), size = get32(b, s + 16);
        if (rva >= address && rva - address < size) return get32(b, s + 20) + (rva - address);
    }
    return 0;
}

// Rewrites a linked DLL's export directory after the fact, as no linker
// would: its name table reversed (with the ordinals that go with it), or the
// address of one export made zero.
enum ExportPatch { REVERSE_NAMES, ZERO_RTF_TO_FOREIGN };
bool patch_exports(const std::string &path, ExportPatch patch) {
    std::string b = read_file(path);
    size_t fh = get32(b, 60) + 4, opt = fh + 20;
    bool plus = b[opt] == 0x0b && b[opt + 1] == 0x02;
    size_t dir = image_offset(b, get32(b, opt + (plus ? 112 : 96)));
    if (!dir) return false;
    uint32_t count = get32(b, dir + 24);
    size_t functions = image_offset(b, get32(b, dir + 28)), names = image_offset(b, get32(b, dir + 32)),
           ordinals = image_offset(b, get32(b, dir + 36));
    if (!functions || !names || !ordinals || count < 2) return false;
    if (patch == REVERSE_NAMES) {
        for (uint32_t i = 0, j = count - 1; i < j; ++i, --j) {
            uint32_t name = get32(b, names + 4 * i);
            set32(b, names + 4 * i, get32(b, names + 4 * j));
            set32(b, names + 4 * j, name);
            std::swap(b[ordinals + 2 * i], b[ordinals + 2 * j]);
            std::swap(b[ordinals + 2 * i + 1], b[ordinals + 2 * j + 1]);
        }
    } else {
        uint32_t i = 0;
        while (i < count && b.compare(image_offset(b, get32(b, names + 4 * i)), 15, std::string("RtfToForeign32", 15)))
            ++i;
        if (i == count) return false;
        unsigned ordinal = static_cast<unsigned char>(b[ordinals + 2 * i]) |
                           static_cast<unsigned char>(b[ordinals + 2 * i + 1]) << 8;
        set32(b, functions + 4 * ordinal, 0);
    }
    return write_file(path, b);
}

// The address in a linked image of a file offset (0: none).
uint32_t image_rva(const std::string &b, size_t offset) {
    size_t fh = get32(b, 60) + 4;
    size_t sections = fh + 20 + (static_cast<unsigned char>(b[fh + 16]) | static_cast<unsigned char>(b[fh + 17]) << 8);
    unsigned count = static_cast<unsigned char>(b[fh + 2]) | static_cast<unsigned char>(b[fh + 3]) << 8;
    for (unsigned i = 0; i < count; ++i) {
        size_t s = sections + 40 * i;
        uint32_t address = get32(b, s + 12), size = get32(b, s + 16), raw = get32(b, s + 20);
        if (offset >= raw && offset - raw < size) return address + static_cast<uint32_t>(offset - raw);
    }
    return 0;
}

// Rewrites a linked library's import of dv_optional, as no linker would:
// to the name dv_notthere (the same length), or to an import by ordinal 77
// in both the lookup and the address table.
enum ImportPatch { MISSING_NAME, MISSING_ORDINAL };
bool patch_import(const std::string &path, ImportPatch patch) {
    std::string b = read_file(path);
    const std::string name("dv_optional\0", 12);
    // The one in the image, not in the symbol table after it.
    size_t at = std::string::npos;
    for (size_t i = b.find(name); i != std::string::npos; i = b.find(name, i + 1))
        if (image_rva(b, i)) {
            if (at != std::string::npos) return false;
            at = i;
        }
    if (at == std::string::npos) return false;
    if (patch == MISSING_NAME) {
        b.replace(at, 11, "dv_notthere");
        return write_file(path, b);
    }
    uint32_t hint_rva = image_rva(b, at - 2);
    size_t fh = get32(b, 60) + 4, opt = fh + 20;
    bool plus = b[opt] == 0x0b && b[opt + 1] == 0x02;
    size_t descriptors = image_offset(b, get32(b, opt + (plus ? 120 : 104)));
    unsigned thunk = plus ? 8 : 4;
    int patched = 0;
    for (size_t d = descriptors; descriptors && get32(b, d + 12); d += 20) {
        for (size_t table : {image_offset(b, get32(b, d)), image_offset(b, get32(b, d + 16))}) {
            for (size_t t = table; table && (get32(b, t) || (plus && get32(b, t + 4))); t += thunk) {
                if (get32(b, t) != hint_rva || (plus && get32(b, t + 4))) continue;
                set32(b, t, plus ? 77 : 0x80000000u | 77);
                if (plus) set32(b, t + 4, 0x80000000u);
                ++patched;
            }
        }
    }
    return patched == 2 && write_file(path, b);
}

// Converters with a loader problem: the subkey (also the display name and,
// with ".cnv", the file) and the fixture library copied there.
const char *const LOADER_CASES[][2] = {
    {"j_home", "loader_home.dll"},                // its dependency is in docvane's folder
    {"k_beside", "loader_beside.dll"},            // ... only beside the converter
    {"l_absent", "loader_absent.dll"},            // ... nowhere
    {"m_other", "loader_other.dll"},              // ... in docvane's folder, for the other machine
    {"n_forward", "loader_forward.dll"},          // RtfToForeign32 forwarded into dv_home.dll
    {"o_forward_gone", "loader_forward_gone.dll"},  // ... into dv_absent.dll
    {"p_unsorted", "loader_home.dll"},            // its name table reversed
    {"q_zero_address", "loader_home.dll"},        // RtfToForeign32's address zero
    {"r_missing_name", "loader_home.dll"},        // imports dv_home.dll!dv_notthere
    {"s_missing_ordinal", "loader_home.dll"},     // imports dv_home.dll!#77
    {"t_sxs", "loader_sxs.dll"},                  // dv_sxs.dll from its private assembly; a store assembly
    {"u_sxs_absent", "loader_sxs_absent.dll"},    // an assembly found nowhere
};

// One converter dvinfo should show, per direction: the three indices ("-"
// for none), its status, and what docvane does.
struct Expected {
    const char *direction, *w, *x, *y, *source, *status, *docvane;
};

class DvInfo : public testing::Test {
  protected:
    RegistryScope reg;
    ConverterFolder conv;
    ScratchDir program;  // docvane.exe and dvinfo.exe as installed
    std::vector<std::string> links;

    void SetUp() override {
        const std::string &docvane = docvane_exe();
        ASSERT_TRUE(copy_file(docvane, program.file("docvane.exe")));
        ASSERT_TRUE(copy_file(docvane.substr(0, docvane.rfind('\\')) + "\\dvinfo.exe", program.file("dvinfo.exe")));
    }

    void TearDown() override {
        // Before the registry scope clears the keys: it cannot pass a link.
        for (const std::string &link : links) delete_link(HKEY_LOCAL_MACHINE, link);
    }

    void add_dangling_link(bool export_dir, const std::string &subkey) {
        std::string name = CONVERTERS_KEY + (export_dir ? "\\Export\\" : "\\Import\\") + subkey;
        create_dangling_link(HKEY_LOCAL_MACHINE, name);
        links.push_back(name);
    }

    // WordPad's built-in Word converter (Write's file is absent), and in
    // both directions one subkey for every case dvinfo tells apart.
    void make_converters() {
        reg.set_wordpad_command("\"" + conv.path() + "\\wordpad.exe\" \"%1\"");
        conv.add("MSWD6_32.WPC", "accept=0");
        conv.add("a_ok.cnv", "accept=0");
        conv.add("dot.cnv", "accept=0");
        ASSERT_TRUE(write_file(conv.file("text.cnv"), "not a library"));
        ASSERT_TRUE(write_file(conv.file("other.cnv"), other_arch_dll()));
        conv.add("no_format.cnv", "accept=0", "fixture_no_is_format_correct.dll");
        conv.add("no_export.cnv", "accept=0", "fixture_no_rtf_to_foreign.dll");
        conv.add("xwrdstr32.cnv", "");
        // A program, not a library: this test itself.
        char self[MAX_PATH];
        GetModuleFileNameA(NULL, self, sizeof self);
        ASSERT_TRUE(copy_file(self, conv.file("program.cnv")));
        // The loader's problems: each converter copy and where its dependency
        // is put (docvane's folder, beside the converter, nowhere).
        for (const char *const *l : LOADER_CASES) conv.add(std::string(l[0]) + ".cnv", "", l[1]);
        ASSERT_TRUE(copy_file(fixture_dir() + "\\dv_home.dll", program.file("dv_home.dll")));
        ASSERT_TRUE(copy_file(fixture_dir() + "\\dv_beside.dll", conv.file("dv_beside.dll")));
        ASSERT_TRUE(write_file(program.file("dv_other.dll"), other_arch_dll()));
        ASSERT_TRUE(patch_exports(conv.file("p_unsorted.cnv"), REVERSE_NAMES));
        ASSERT_TRUE(patch_exports(conv.file("q_zero_address.cnv"), ZERO_RTF_TO_FOREIGN));
        ASSERT_TRUE(patch_import(conv.file("r_missing_name.cnv"), MISSING_NAME));
        ASSERT_TRUE(patch_import(conv.file("s_missing_ordinal.cnv"), MISSING_ORDINAL));
        // The private assembly in a folder of its name beside the converter.
        ASSERT_TRUE(CreateDirectoryA(conv.file("docvane.fixture.sxs").c_str(), NULL));
        for (const char *file : {"docvane.fixture.sxs.manifest", "dv_sxs.dll"})
            ASSERT_TRUE(copy_file(fixture_dir() + "\\" + file, conv.file(std::string("docvane.fixture.sxs\\") + file)));
        for (bool e : {false, true}) {
            reg.add_converter(e, ".dot", "Dot", conv.file("dot.cnv"), "dot");
            reg.add_converter(e, "a_ok", "Alpha", conv.file("a_ok.cnv"), "alp");
            reg.add_converter(e, "b_missing", "Gone", conv.file("gone.cnv"), "gon");
            reg.add_converter(e, "c_text", "Text", conv.file("text.cnv"), "txt");
            reg.add_converter(e, "d_other", "Other", conv.file("other.cnv"), "oth");
            reg.add_converter(e, "e_no_format", "No format", conv.file("no_format.cnv"), "nof");
            reg.add_converter(e, "f_no_export", "No export", conv.file("no_export.cnv"), "noe");
            reg.add_converter(e, "g_excluded", "Excluded", conv.file("xwrdstr32.cnv"), "exc");
            add_dangling_link(e, "h_link");
            reg.add_converter(e, "i_program", "Program", conv.file("program.cnv"), "prg");
            for (const char *const *l : LOADER_CASES)
                reg.add_converter(e, l[0], l[0], conv.file(std::string(l[0]) + ".cnv"), "ldr");
            reg.add_converter(e, std::string(100, 'y'), "Long", conv.file("a_ok.cnv"), "lon");
            reg.add_converter(e, "z_after", "After", conv.file("a_ok.cnv"), "aft");
        }
    }

    std::string dvinfo_exe() const { return program.file("dvinfo.exe"); }

    // A request file run by the installed copy of docvane.
    DWORD run_request(const std::string &path, const std::string &content) {
        EXPECT_TRUE(write_file(path, content)) << path;
        std::string exe = program.file("docvane.exe");
        return run_program(exe.c_str(), "\"" + exe + "\" " + path);
    }

    // Runs dvinfo with args, its output into a file; returns the exit code.
    DWORD run_dvinfo(const std::string &args, std::string *output) {
        std::string out_path = conv.file("dvinfo.out");
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        EXPECT_NE(out, INVALID_HANDLE_VALUE);
        STARTUPINFOA si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out;
        si.hStdError = out;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::string cmd = "\"" + dvinfo_exe() + "\" " + args;
        PROCESS_INFORMATION pi;
        DWORD code = 0xDEADBEEF;
        if (CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
            WaitForSingleObject(pi.hProcess, INFINITE);
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        } else {
            ADD_FAILURE() << "cannot start " << cmd;
        }
        CloseHandle(out);
        *output = read_file(out_path);
        return code;
    }

    std::vector<Row> tsv_rows() {
        std::string text;
        EXPECT_EQ(run_dvinfo("--tsv", &text), 0u);
        std::vector<Row> rows;
        Lines lines = split(text, '\n');
        EXPECT_EQ(lines.front(), "direction\tW\tX\tY\tsource\tname\tpath\textensions\tstatus\tdocvane\r");
        for (size_t i = 1; i < lines.size(); ++i) {
            if (lines[i].empty()) continue;
            EXPECT_EQ(lines[i].back(), '\r');
            Lines f = split(lines[i].substr(0, lines[i].size() - 1), '\t');
            if (f.size() != 10) {
                ADD_FAILURE() << "not 10 fields: " << lines[i];
                continue;
            }
            rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9]});
        }
        return rows;
    }

    DWORD export_by(const std::string &selector, const std::string &index) {
        std::string source = conv.file("in.rtf");
        EXPECT_TRUE(write_file(source, "{\\rtf1 }"));
        return run_request(conv.file("export.req"),
                           source + "\r\n" + conv.file("out.wri") + "\r\n" + selector + "\r\n" + index + "\r\n");
    }
};

TEST_F(DvInfo, ShowsEveryConverterAsDocvaneNumbersIt) {
    make_converters();
    std::vector<Row> rows = tsv_rows();
    EXPECT_EQ(conv.take_log(), Lines{}) << "dvinfo loaded a converter";

    const char *LACKS_FORMAT = "lacks IsFormatCorrect32";
    const char *LACKS_EXPORT = "lacks RtfToForeign32";
    const char *PASSED_OVER = "import passes it over";
    const char *MINUS_16 = "export with this index ends with -16";
    const char *NO_INDEX = "takes no index";
    const char *UNOPENED = "subkey cannot be opened; no library path";
    const char *PROGRAM = "not a Windows DLL: a program, not a library";
    const std::string long_subkey = "subkey " + std::string(100, 'y');
    const char *BESIDE = "needs dv_beside.dll: it is beside the converter, but docvane's loader does not look there";
    const char *ABSENT = "needs dv_absent.dll: found nowhere docvane's loader looks";
    const char *FORWARD_GONE = "RtfToForeign32 is forwarded to dv_absent.DvRtfToForeign32: needs dv_absent.dll: "
                               "found nowhere docvane's loader looks";
    const char *ZERO_ADDRESS = "RtfToForeign32 is exported with no address: the loader finds no export";
    const std::string other_machine = "needs dv_other.dll: the first the loader finds, " + program.file("dv_other.dll") +
                                      ", is " + OTHER_ARCH_WORDS;
    auto out_of_order = [](const char *name) {
        return std::string(name) + " is in the export name table out of order, where the loader's search does not find it";
    };
    const std::string unsorted_import = out_of_order("InitConverter32") + "; " + out_of_order("ForeignToRtf32");
    const std::string unsorted_export = out_of_order("InitConverter32") + "; " + out_of_order("RtfToForeign32");
    const char *MISSING_NAME_STATUS = "needs dv_home.dll!dv_notthere, which dv_home.dll does not export: will not load on Windows";
    const char *MISSING_ORDINAL_STATUS = "needs dv_home.dll!#77, which dv_home.dll does not export: will not load on Windows";
    // Wine binds the store's assembly of the same major.minor it has (see
    // side_by_side.cpp): the build after "as" is Wine's.
    const char *SXS = "ok; side-by-side: docvane.fixture.sxs 1.0.0.0 (beside the converter), "
                      "Microsoft.Windows.Common-Controls 6.0.0.0 (side-by-side store, as 6.0.*)";
    const char *SXS_ABSENT = "needs side-by-side assembly docvane.fixture.absent 1.0.0.0: in neither the side-by-side "
                             "store nor the converter's folder: will not load on Windows";
    const Expected expected[] = {
        {"-", "-", "-", "-", "registry", VIEW, "-"},
        {"-", "-", "-", "-", "wordpad", "", "-"},  // checked below
        {"-", "-", "-", "-", "system", "imports checked against this system's, Wine *", "-"},
        {"import", "0", "-", "0", "built-in", "ok", "-"},
        {"import", "-", "-", "-", "built-in", "built-in file absent", NO_INDEX},
        {"import", "-", "-", "-", "subkey .dot", "subkey name begins with \".\"", NO_INDEX},
        {"import", "-", "0", "1", "subkey a_ok", "ok", "-"},
        {"import", "-", "1", "2", "subkey b_missing", "file missing", PASSED_OVER},
        {"import", "-", "2", "3", "subkey c_text", "not a Windows DLL", PASSED_OVER},
        {"import", "-", "3", "4", "subkey d_other", OTHER_ARCH, PASSED_OVER},
        {"import", "-", "4", "5", "subkey e_no_format", LACKS_FORMAT, PASSED_OVER},
        {"import", "-", "5", "6", "subkey f_no_export", "ok", "-"},
        {"import", "-", "-", "-", "subkey g_excluded", "library excluded for import", NO_INDEX},
        {"import", "-", "6", "7", "subkey h_link", UNOPENED, PASSED_OVER},
        {"import", "-", "7", "8", "subkey i_program", PROGRAM, PASSED_OVER},
        {"import", "-", "8", "9", "subkey j_home", "ok", "-"},
        {"import", "-", "9", "10", "subkey k_beside", BESIDE, PASSED_OVER},
        {"import", "-", "10", "11", "subkey l_absent", ABSENT, PASSED_OVER},
        {"import", "-", "11", "12", "subkey m_other", other_machine.c_str(), PASSED_OVER},
        {"import", "-", "12", "13", "subkey n_forward", "ok", "-"},
        {"import", "-", "13", "14", "subkey o_forward_gone", "ok", "-"},
        {"import", "-", "14", "15", "subkey p_unsorted", unsorted_import.c_str(), PASSED_OVER},
        {"import", "-", "15", "16", "subkey q_zero_address", "ok", "-"},
        {"import", "-", "16", "17", "subkey r_missing_name", MISSING_NAME_STATUS, PASSED_OVER},
        {"import", "-", "17", "18", "subkey s_missing_ordinal", MISSING_ORDINAL_STATUS, PASSED_OVER},
        {"import", "-", "18", "19", "subkey t_sxs", SXS, "-"},
        {"import", "-", "19", "20", "subkey u_sxs_absent", SXS_ABSENT, PASSED_OVER},
        {"import", "-", "-", "-", long_subkey.c_str(),
         "subkey name of 100 characters or more: the walk ends here, later subkeys take no index", NO_INDEX},
        {"export", "0", "-", "0", "built-in", "ok", "-"},
        {"export", "-", "-", "-", "built-in", "library excluded for export", NO_INDEX},
        {"export", "-", "-", "-", "subkey .dot", "subkey name begins with \".\"", NO_INDEX},
        {"export", "-", "0", "1", "subkey a_ok", "ok", "-"},
        {"export", "-", "1", "2", "subkey b_missing", "file missing", MINUS_16},
        {"export", "-", "2", "3", "subkey c_text", "not a Windows DLL", MINUS_16},
        {"export", "-", "3", "4", "subkey d_other", OTHER_ARCH, MINUS_16},
        {"export", "-", "4", "5", "subkey e_no_format", "ok", "-"},
        {"export", "-", "5", "6", "subkey f_no_export", LACKS_EXPORT, MINUS_16},
        {"export", "-", "-", "-", "subkey g_excluded", "library excluded for export", NO_INDEX},
        {"export", "-", "6", "7", "subkey h_link", UNOPENED, MINUS_16},
        {"export", "-", "7", "8", "subkey i_program", PROGRAM, MINUS_16},
        {"export", "-", "8", "9", "subkey j_home", "ok", "-"},
        {"export", "-", "9", "10", "subkey k_beside", BESIDE, MINUS_16},
        {"export", "-", "10", "11", "subkey l_absent", ABSENT, MINUS_16},
        {"export", "-", "11", "12", "subkey m_other", other_machine.c_str(), MINUS_16},
        {"export", "-", "12", "13", "subkey n_forward", "ok", "-"},
        {"export", "-", "13", "14", "subkey o_forward_gone", FORWARD_GONE, MINUS_16},
        {"export", "-", "14", "15", "subkey p_unsorted", unsorted_export.c_str(), MINUS_16},
        {"export", "-", "15", "16", "subkey q_zero_address", ZERO_ADDRESS, MINUS_16},
        {"export", "-", "16", "17", "subkey r_missing_name", MISSING_NAME_STATUS, MINUS_16},
        {"export", "-", "17", "18", "subkey s_missing_ordinal", MISSING_ORDINAL_STATUS, MINUS_16},
        {"export", "-", "18", "19", "subkey t_sxs", SXS, "-"},
        {"export", "-", "19", "20", "subkey u_sxs_absent", SXS_ABSENT, MINUS_16},
        {"export", "-", "-", "-", long_subkey.c_str(),
         "subkey name of 100 characters or more: the walk ends here, later subkeys take no index", NO_INDEX},
    };
    ASSERT_EQ(rows.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        const Expected &e = expected[i];
        SCOPED_TRACE(r.direction + " " + r.source);
        EXPECT_EQ(r.direction, e.direction);
        EXPECT_EQ(r.w + " " + r.x + " " + r.y, std::string(e.w) + " " + e.x + " " + e.y);
        EXPECT_EQ(r.source, e.source);
        if (r.source != "wordpad") {
            EXPECT_TRUE(matches(r.status, e.status)) << r.status << "\n" << e.status;
        }
        EXPECT_EQ(r.docvane, e.docvane);
    }
    EXPECT_EQ(rows[1].status, "built-in converters looked for in " + conv.path() + "\\");
    EXPECT_EQ(rows[3].name, WORD_NAME);
    EXPECT_EQ(rows[3].path, conv.file("MSWD6_32.WPC"));
    EXPECT_EQ(rows[4].path, conv.file("WRITE32.WPC"));
    EXPECT_EQ(rows[6].name + "|" + rows[6].path + "|" + rows[6].extensions, "Alpha|" + conv.file("a_ok.cnv") + "|alp");
    EXPECT_EQ(rows[13].name + "|" + rows[13].path + "|" + rows[13].extensions, "||");

    // Each printed export index, under each selector, reaches the converter
    // dvinfo names for it, or ends with -16 where dvinfo says so; the next
    // index after the last is nobody's.
    const char *selectors[] = {"W", "X", "Y"};
    for (const Row &r : rows) {
        if (r.direction != "export" || r.docvane == NO_INDEX) continue;
        const std::string indices[] = {r.w, r.x, r.y};
        for (int s = 0; s < 3; ++s) {
            if (indices[s] == "-") continue;
            SCOPED_TRACE(r.source + " as " + selectors[s] + indices[s]);
            DWORD code = export_by(selectors[s], indices[s]);
            Lines converted = lines_starting(conv.take_log(), file_name(r.path) + " RtfToForeign32 ");
            if (loads_under_wine(r.status)) {
                EXPECT_EQ(code, 0u);
                EXPECT_EQ(converted.size(), 1u);
            } else {
                EXPECT_EQ(code, EXIT_CANNOT_START);
                EXPECT_TRUE(converted.empty());
            }
        }
    }
    EXPECT_EQ(export_by("W", "1"), EXIT_NOT_TAKEN);
    EXPECT_EQ(export_by("X", "20"), EXIT_NOT_TAKEN);
    EXPECT_EQ(export_by("Y", "21"), EXIT_NOT_TAKEN);

    // Import asks the usable converters in dvinfo's order under Y and passes
    // the others over.
    Lines asked, usable;
    for (const Row &r : rows)
        if (r.direction == "import" && loads_under_wine(r.status)) usable.push_back(file_name(r.path));
    conv.take_log();
    EXPECT_EQ(run_request(conv.file("import.req"), conv.file("in.doc") + "\r\n" + conv.file("out.rtf") + "\r\nY\r\n"),
              EXIT_NOT_TAKEN);
    for (const std::string &line : conv.take_log())
        if (line.find(" IsFormatCorrect32 ") != std::string::npos) asked.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(asked, usable);
}

// docvane drops PATH entries that lead to the current directory before any
// converter loads; dvinfo must judge the search the same way, or it says
// "ok" for a dependency docvane will not find.
TEST_F(DvInfo, PathEntriesToTheCurrentDirectoryAreNotSearched) {
    make_converters();
    ScratchDir current;
    ASSERT_TRUE(copy_file(fixture_dir() + "\\dv_absent.dll", current.file("dv_absent.dll")));
    char old_directory[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryA(sizeof old_directory, old_directory), 0u);
    std::string old_path(32767, '\0');
    old_path.resize(GetEnvironmentVariableA("PATH", &old_path[0], static_cast<DWORD>(old_path.size())));
    ASSERT_TRUE(SetCurrentDirectoryA(current.path().c_str()));
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", (".;" + current.path() + ";" + old_path).c_str()));
    std::vector<Row> rows = tsv_rows();
    SetEnvironmentVariableA("PATH", old_path.c_str());
    SetCurrentDirectoryA(old_directory);
    int seen = 0;
    for (const Row &r : rows) {
        if (r.source != "subkey l_absent") continue;
        ++seen;
        EXPECT_EQ(r.status, "needs dv_absent.dll: found nowhere docvane's loader looks") << r.direction;
    }
    EXPECT_EQ(seen, 2);
}

TEST_F(DvInfo, CompactViewHelpAndBadArguments) {
    make_converters();
    std::string text;
    EXPECT_EQ(run_dvinfo("", &text), 0u);
    EXPECT_EQ(conv.take_log(), Lines{}) << "dvinfo loaded a converter";
    EXPECT_NE(text.find("\r\n  0 - 0  " + std::string(WORD_NAME) + " (doc) [built-in]\r\n      " +
                        conv.file("MSWD6_32.WPC") + "\r\n      ok\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\n  - 3 4  Other (oth) [subkey d_other]\r\n      " + conv.file("other.cnv") + "\r\n      " +
                        OTHER_ARCH + ": export with this index ends with -16\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\r\nTaking no index:\r\n  [built-in] built-in file absent: " + conv.file("WRITE32.WPC")),
              std::string::npos)
        << text;

    EXPECT_EQ(run_dvinfo("--help", &text), 0u);
    EXPECT_EQ(text.compare(0, 21, "Usage: dvinfo [--tsv]"), 0) << text;
    EXPECT_NE(text.find("dvinfo --version\r\n"), std::string::npos) << text;
    for (const char *same : {"-h", "/?"}) {
        std::string other;
        EXPECT_EQ(run_dvinfo(same, &other), 0u) << same;
        EXPECT_EQ(other, text) << same;
    }
    for (const char *bad : {"--list", "x", "--tsv extra"}) {
        EXPECT_EQ(run_dvinfo(bad, &text), 2u) << bad;
        EXPECT_NE(text.find("unknown argument"), std::string::npos) << text;
    }
}

}  // namespace
