// The converter enumerator against the registry under Wine. HKEY_CLASSES_ROOT
// and HKEY_LOCAL_MACHINE are redirected to scratch keys for each test, so the
// prefix's own keys are neither read nor changed. A recording action makes the
// walk observable.
//
// Subkeys are listed by RegEnumKeyA in sorted order on Windows and Wine alike;
// the ordering tests rely on that and use names whose order is plain.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "common/result_codes.h"
#include "discovery/converter_enumerator.h"
#include "win_test_support.h"

using dvtest::ScratchDir;

namespace {

const char WORD_NAME[] = "Word f\xFCr Windows 6.0";
const char WRITE_NAME[] = "Windows Write";

struct Call {
    std::string name, path, extensions;
    int index, is_32bit, export_flag, running_result;
    void *context;
};

std::vector<Call> g_calls;
// The call (counted from 0) at which the action settles g_script_value.
int g_script_at = -1;
int g_script_value = 0;
int g_context_marker;

int record(const char *display_name, const char *library_path, const char *extension_list, int running_index,
           int is_32bit, int export_flag, int running_result, void *context) {
    g_calls.push_back({display_name, library_path, extension_list, running_index, is_32bit, export_flag,
                       running_result, context});
    return static_cast<int>(g_calls.size()) - 1 == g_script_at ? g_script_value : running_result;
}

// "name@index", for compact comparisons of a whole walk.
std::vector<std::string> walk() {
    std::vector<std::string> out;
    for (const Call &c : g_calls) out.push_back(c.name + "@" + std::to_string(c.index));
    return out;
}

class Enumerator : public testing::Test {
  protected:
    void SetUp() override {
        char root[64];
        snprintf(root, sizeof root, "Software\\docvane-test-%lu", GetCurrentProcessId());
        root_ = root;
        RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (root_ + "\\classes").c_str(), &classes_), ERROR_SUCCESS);
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, (root_ + "\\machine").c_str(), &machine_), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_), ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
        // Mixed case on purpose: the candidates must keep the directory's case.
        folder_ = dir_.path() + "\\Tools\\Accessories";
        CreateDirectoryA((dir_.path() + "\\Tools").c_str(), NULL);
        CreateDirectoryA(folder_.c_str(), NULL);
        g_calls.clear();
        g_script_at = -1;
    }

    void TearDown() override {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, NULL);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
        // RegDeleteTreeA cannot pass a dangling link: remove links first.
        for (const std::string &link : links_) dvtest::delete_link(machine_, link);
        RegCloseKey(classes_);
        RegCloseKey(machine_);
        EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str()), ERROR_SUCCESS);
    }

    static std::string converters_key(bool export_dir) {
        return std::string("SOFTWARE\\Microsoft\\Shared Tools\\Text Converters\\") +
               (export_dir ? "Export" : "Import");
    }

    void set_command(const std::string &command) {
        ASSERT_EQ(RegSetValueA(classes_, "WordPad.Document.1\\shell\\open\\command", REG_SZ, command.c_str(),
                               static_cast<DWORD>(command.size())),
                  ERROR_SUCCESS);
    }

    void put_built_ins(bool word, bool write) {
        if (word) {
            ASSERT_TRUE(dvtest::write_file(built_in("MSWD6_32.WPC"), "not a library"));
        }
        if (write) {
            ASSERT_TRUE(dvtest::write_file(built_in("WRITE32.WPC"), "not a library"));
        }
    }

    // The worked example's layout: a quoted command with an argument, and
    // both library files beside it.
    void standard_built_ins() {
        set_command("\"" + folder_ + "\\wordpad.exe\" \"%1\"");
        put_built_ins(true, true);
    }

    std::string built_in(const char *file) const { return folder_ + "\\" + file; }

    HKEY converter(bool export_dir, const std::string &subkey) {
        HKEY h = NULL;
        EXPECT_EQ(RegCreateKeyA(machine_, (converters_key(export_dir) + "\\" + subkey).c_str(), &h), ERROR_SUCCESS);
        return h;
    }

    // Stores exactly these bytes, terminated or not. A non-zero byte follows
    // them in memory: RegSetValueExA counts a zero byte just past a string
    // that lacks one, and would terminate it for us.
    void set_raw(bool export_dir, const std::string &subkey, const char *value, DWORD type,
                 const std::string &bytes) {
        HKEY h = converter(export_dir, subkey);
        const std::string guarded = bytes + 'X';
        EXPECT_EQ(RegSetValueExA(h, value, 0, type, reinterpret_cast<const BYTE *>(guarded.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(h);
    }

    void add(bool export_dir, const std::string &subkey, const std::string &name, const std::string &path,
             const std::string &extensions) {
        set_raw(export_dir, subkey, "Name", REG_SZ, std::string(name) + '\0');
        set_raw(export_dir, subkey, "Path", REG_SZ, std::string(path) + '\0');
        set_raw(export_dir, subkey, "Extensions", REG_SZ, std::string(extensions) + '\0');
    }

    void add_dangling_link(bool export_dir, const std::string &subkey) {
        std::string name = converters_key(export_dir) + "\\" + subkey;
        dvtest::create_dangling_link(machine_, name);
        links_.push_back(name);
    }

    int run(char selector, int export_flag = 0) {
        g_calls.clear();
        g_source_selector = selector;
        return enumerate_converters(record, &g_context_marker, export_flag);
    }

    ScratchDir dir_;
    std::string folder_;
    std::string root_;
    HKEY classes_ = NULL;
    HKEY machine_ = NULL;
    std::vector<std::string> links_;
};

typedef std::vector<std::string> Walk;

TEST_F(Enumerator, SelectorPicksSourcesInEitherCase) {
    standard_built_ins();
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    const Walk built_ins = {std::string(WORD_NAME) + "@0", std::string(WRITE_NAME) + "@1"};
    for (char s : {'w', 'W'}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(run(s), RESULT_NOT_TAKEN);
        EXPECT_EQ(walk(), built_ins);
    }
    for (char s : {'x', 'X'}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(run(s), RESULT_NOT_TAKEN);
        EXPECT_EQ(walk(), Walk({"Alpha@0"}));
    }
    for (char s : {'y', 'Y'}) {
        SCOPED_TRACE(s);
        EXPECT_EQ(run(s), RESULT_NOT_TAKEN);
        EXPECT_EQ(walk(), Walk({built_ins[0], built_ins[1], "Alpha@2"}));
    }
    // Every record in full, once.
    ASSERT_EQ(g_calls.size(), 3u);
    const char *paths[] = {"MSWD6_32.WPC", "WRITE32.WPC"};
    const char *extensions[] = {"doc", "wri"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(g_calls[i].path, built_in(paths[i]));
        EXPECT_EQ(g_calls[i].extensions, extensions[i]);
    }
    EXPECT_EQ(g_calls[2].path, "C:\\Conv\\alpha.cnv");
    EXPECT_EQ(g_calls[2].extensions, "alp");
    for (const Call &c : g_calls) {
        EXPECT_EQ(c.is_32bit, 1);
        EXPECT_EQ(c.export_flag, 0);
        EXPECT_EQ(c.running_result, NOT_HANDLED);
        EXPECT_EQ(c.context, &g_context_marker);
    }
}

TEST_F(Enumerator, OtherSelectorsConsultNoSource) {
    standard_built_ins();
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    for (char s : {'Z', 'z', '5', ' ', '\0', '\xFC'}) {
        SCOPED_TRACE(static_cast<int>(s));
        EXPECT_EQ(run(s), RESULT_NOT_TAKEN);
        EXPECT_TRUE(g_calls.empty());
    }
}

TEST_F(Enumerator, CandidatesReplaceTheProgramNameAndKeepTheDirectory) {
    // The worked example: quoted program, quoted argument.
    standard_built_ins();
    EXPECT_EQ(run('W'), RESULT_NOT_TAKEN);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].path, folder_ + "\\MSWD6_32.WPC");
    EXPECT_EQ(g_calls[1].path, folder_ + "\\WRITE32.WPC");
    EXPECT_EQ(g_calls[0].name, WORD_NAME);

    // No quotes, the file name in any case, arguments dropped.
    set_command(folder_ + "\\WordPad.Exe %1 /p");
    run('W');
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].path, folder_ + "\\MSWD6_32.WPC");
    EXPECT_EQ(g_calls[1].path, folder_ + "\\WRITE32.WPC");

    // A command of 260 characters still fits.
    std::string command = "\"" + folder_ + "\\wordpad.exe\" \"%1\"";
    set_command(command + std::string(260 - command.size(), ' '));
    run('W');
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(Enumerator, NoBuiltInsWithoutAUsableWordPadCommand) {
    put_built_ins(true, true);
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    // No command key at all: the registry is still consulted.
    EXPECT_EQ(run('Y'), RESULT_NOT_TAKEN);
    EXPECT_EQ(walk(), Walk({"Alpha@0"}));
    // Another program in that folder.
    set_command("\"" + folder_ + "\\notepad.exe\" \"%1\"");
    run('Y');
    EXPECT_EQ(walk(), Walk({"Alpha@0"}));
    // A command longer than 260 characters is not read at all.
    std::string command = "\"" + folder_ + "\\wordpad.exe\" \"%1\"";
    set_command(command + std::string(261 - command.size(), ' '));
    run('Y');
    EXPECT_EQ(walk(), Walk({"Alpha@0"}));
}

TEST_F(Enumerator, MissingBuiltInFileTakesNoIndex) {
    set_command("\"" + folder_ + "\\wordpad.exe\" \"%1\"");
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    put_built_ins(false, true);
    run('Y');
    EXPECT_EQ(walk(), Walk({std::string(WRITE_NAME) + "@0", "Alpha@1"}));
    DeleteFileA(built_in("WRITE32.WPC").c_str());
    put_built_ins(true, false);
    run('Y');
    EXPECT_EQ(walk(), Walk({std::string(WORD_NAME) + "@0", "Alpha@1"}));
}

TEST_F(Enumerator, ExclusionFilterAppliesToBothSourcesPerDirection) {
    standard_built_ins();
    for (bool export_dir : {false, true}) {
        add(export_dir, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
        add(export_dir, "B", "Old Write", "C:\\Conv\\OLDWRITE32.CNV", "wri");
        add(export_dir, "C", "Stream", "C:\\Conv\\wrdstr32.cnv", "doc");
    }
    add(false, "D", "Import only", "C:\\Conv\\imp.cnv", "imp");

    EXPECT_EQ(run('Y', 0), RESULT_NOT_TAKEN);
    EXPECT_EQ(walk(), Walk({std::string(WORD_NAME) + "@0", std::string(WRITE_NAME) + "@1", "Alpha@2",
                            "Old Write@3", "Import only@4"}));

    // Export: the Write library drops out, the export key is read, and the
    // caller's flag reaches the action unchanged.
    EXPECT_EQ(run('Y', 2), RESULT_NOT_TAKEN);
    EXPECT_EQ(walk(), Walk({std::string(WORD_NAME) + "@0", "Alpha@1"}));
    for (const Call &c : g_calls) EXPECT_EQ(c.export_flag, 2);
}

TEST_F(Enumerator, RegistryConvertersInSubkeyOrderDotNamesSkipped) {
    add(false, ".ext", "Dot", "C:\\Conv\\dot.cnv", "dot");
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    add(false, "B", "Beta", "C:\\Conv\\beta.cnv", "bet");
    EXPECT_EQ(run('X'), RESULT_NOT_TAKEN);
    EXPECT_EQ(walk(), Walk({"Alpha@0", "Beta@1"}));
    EXPECT_EQ(g_calls[1].path, "C:\\Conv\\beta.cnv");
    EXPECT_EQ(g_calls[1].extensions, "bet");
}

TEST_F(Enumerator, SubkeyThatCannotBeOpenedIsHandedOutEmpty) {
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    add_dangling_link(false, "B");
    add(false, "C", "Gamma", "C:\\Conv\\gamma.cnv", "gam");
    run('X');
    ASSERT_EQ(walk(), Walk({"Alpha@0", "@1", "Gamma@2"}));
    EXPECT_EQ(g_calls[1].path, "");
    EXPECT_EQ(g_calls[1].extensions, "");
}

TEST_F(Enumerator, SubkeyNameOfAHundredCharactersEndsTheWalk) {
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    add(false, "B", "Beta", "C:\\Conv\\beta.cnv", "bet");
    add(false, std::string(99, 'C'), "Gamma", "C:\\Conv\\gamma.cnv", "gam");  // still fits
    add(false, std::string(100, 'D'), "Delta", "C:\\Conv\\delta.cnv", "del");  // position 3
    add(false, "E", "Epsilon", "C:\\Conv\\epsilon.cnv", "eps");
    EXPECT_EQ(run('X'), RESULT_NOT_TAKEN);
    EXPECT_EQ(walk(), Walk({"Alpha@0", "Beta@1", "Gamma@2"}));
}

TEST_F(Enumerator, FirstResultOtherThanNotHandledEndsTheWalk) {
    standard_built_ins();
    add(false, "A", "Alpha", "C:\\Conv\\alpha.cnv", "alp");
    add(false, "B", "Beta", "C:\\Conv\\beta.cnv", "bet");
    const Walk all = {std::string(WORD_NAME) + "@0", std::string(WRITE_NAME) + "@1", "Alpha@2", "Beta@3"};

    struct Case {
        int at, value;
        size_t calls;
    } cases[] = {
        {0, 7, 1},                  // the first built-in takes it
        {1, RESULT_NOT_TAKEN, 2},   // -15 from an action ends the walk too
        {2, 0, 3},                  // a registry converter; 0 is a result
        {3, -3, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.at);
        g_script_at = c.at;
        g_script_value = c.value;
        EXPECT_EQ(run('Y'), c.value);
        EXPECT_EQ(walk(), Walk(all.begin(), all.begin() + c.calls));
    }

    // Never taken: each eligible converter exactly once, always offered
    // with NOT_HANDLED, and the walk ends in -15.
    g_script_at = -1;
    EXPECT_EQ(run('Y'), RESULT_NOT_TAKEN);
    EXPECT_EQ(walk(), all);
    for (const Call &c : g_calls) EXPECT_EQ(c.running_result, NOT_HANDLED);
}

TEST_F(Enumerator, ExpandableStringPathIsHandedOutAsStored) {
    add(false, "A", "Alpha", "", "alp");
    set_raw(false, "A", "Path", REG_EXPAND_SZ, std::string("%SystemRoot%\\conv\\%USERNAME%.cnv") + '\0');
    run('X');
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].path, "%SystemRoot%\\conv\\%USERNAME%.cnv");
}

TEST_F(Enumerator, StringFillingItsBufferWithoutZeroByteLeavesTheFieldEmpty) {
    // Unterminated values of exactly the field sizes 64, 261 and 100.
    set_raw(false, "A", "Name", REG_SZ, std::string(64, 'N'));
    set_raw(false, "A", "Path", REG_SZ, "C:\\" + std::string(258, 'p'));
    set_raw(false, "A", "Extensions", REG_SZ, std::string(100, 'e'));
    // The longest values that fit, with their zero bytes.
    const std::string name(63, 'N'), path = "C:\\" + std::string(257, 'p'), extensions(99, 'e');
    add(false, "B", name, path, extensions);
    run('X');
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].name, "");
    EXPECT_EQ(g_calls[0].path, "");
    EXPECT_EQ(g_calls[0].extensions, "");
    EXPECT_EQ(g_calls[0].index, 0);
    EXPECT_EQ(g_calls[1].name, name);
    EXPECT_EQ(g_calls[1].path, path);
    EXPECT_EQ(g_calls[1].extensions, extensions);
}

TEST_F(Enumerator, ValuesAreReadAsBytesWhateverTheirType) {
    // Any type reads as its bytes; the zeroed buffer terminates a short
    // value stored without a zero byte.
    const DWORD abc = 0x00434241;  // "ABC" and a zero byte
    set_raw(false, "A", "Name", REG_BINARY, "Bin");
    set_raw(false, "A", "Path", REG_DWORD, std::string(reinterpret_cast<const char *>(&abc), 4));
    set_raw(false, "A", "Extensions", REG_MULTI_SZ, std::string("ms\0\0", 4));
    // No values at all.
    RegCloseKey(converter(false, "B"));
    // Terminated but too long, and one good field beside them.
    add(false, "C", "Gamma", "C:\\" + std::string(300, 'p'), std::string(150, 'e'));
    add(false, "D", std::string(64, 'N'), "C:\\Conv\\delta.cnv", "del");
    run('X');
    ASSERT_EQ(walk(), Walk({"Bin@0", "@1", "Gamma@2", "@3"}));
    EXPECT_EQ(g_calls[0].path, "ABC");
    EXPECT_EQ(g_calls[0].extensions, "ms");
    for (int i = 1; i < 3; ++i) {
        EXPECT_EQ(g_calls[i].path, "");
        EXPECT_EQ(g_calls[i].extensions, "");
    }
    EXPECT_EQ(g_calls[3].path, "C:\\Conv\\delta.cnv");
    EXPECT_EQ(g_calls[3].extensions, "del");
}

}  // namespace
