// Request handling end to end: modes, request files, status files, exit codes.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win_test_support.h"

using namespace dvtest;

namespace {

const DWORD EXIT_NOT_TAKEN = 4294967281u;  // -15

TEST(Requests, MissingRequestFileGetsStatusFileAndMinus15) {
    RegistryScope reg;
    ScratchDir dir;
    std::string req = dir.file("nothere.req");
    EXPECT_EQ(run_docvane_tail(req), EXIT_NOT_TAKEN);
    EXPECT_EQ(read_file(req), "\n-15\n");
}

TEST(Requests, ListRequestWithoutConvertersWritesEmptySections) {
    RegistryScope reg;
    ScratchDir dir;
    std::string req = dir.file("list.req");
    ASSERT_TRUE(write_file(req, "\\\\\\\\-1-1\r\n"));
    EXPECT_EQ(run_docvane_tail(req), 0u);
    EXPECT_EQ(read_file(req), "\n\n");
}

DWORD run_in(const std::string &cwd, const std::string &command_line, const char *app) {
    return run_program(app, command_line, cwd.c_str());
}

DWORD run_tail_in(const std::string &cwd, const std::string &tail) {
    return run_in(cwd, "\"" + docvane_exe() + "\" " + tail, docvane_exe().c_str());
}

// The names in a folder, sorted.
std::vector<std::string> files_in(const std::string &dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, "..")) names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

typedef std::vector<std::string> Names;

// A scratch folder with a source document and a destination path that does
// not exist yet; conversions that find no converter must leave both alone.
class Conversion : public testing::Test {
  protected:
    void SetUp() override {
        src_ = dir_.file("brief.doc");
        dst_ = dir_.file("brief.rtf");
        req_ = dir_.file("job.req");
        ASSERT_TRUE(write_file(src_, "foreign document"));
    }
    // Runs a request file and checks the status lines and exit code.
    void expect_status(const std::string &request, int result) {
        SCOPED_TRACE(request);
        ASSERT_TRUE(write_file(req_, request));
        EXPECT_EQ(run_tail_in(dir_.path(), req_), static_cast<DWORD>(result));
        EXPECT_EQ(read_file(req_), "\n" + std::to_string(result) + "\n");
        expect_untouched();
    }
    void expect_untouched() {
        EXPECT_FALSE(file_exists(dst_));
        EXPECT_EQ(read_file(src_), "foreign document");
    }

    RegistryScope reg_;
    ScratchDir dir_;
    std::string src_, dst_, req_;
};

TEST_F(Conversion, RequestFileLayoutsWithoutConvertersEndInMinus15) {
    const std::string s = src_, d = dst_;
    // One item a line with CR LF, and junk after the selector that makes the
    // status file shorter than the request.
    expect_status(s + "\r\n" + d + "\r\nY\r\nnot an index; " + std::string(200, '.') + "\r\n", -15);
    expect_status(s + "\r\n" + d + "\r\nW\r\n0\r\n", -15);
    // Line feeds, blank lines, indentation, a lower-case selector.
    expect_status("\n\n   " + s + "\n\n\t " + d + "  \n\n  y\n", -15);
    // Only the two paths.
    expect_status(s + "\n" + d, -15);
    // A request shorter than its status file; the relative paths name
    // files in the working folder, which no converter touches.
    ASSERT_TRUE(write_file(req_, "a b"));
    EXPECT_EQ(run_tail_in(dir_.path(), "job.req"), EXIT_NOT_TAKEN);
    EXPECT_EQ(read_file(req_), "\n-15\n");
    EXPECT_EQ(files_in(dir_.path()), Names({"brief.doc", "job.req"}));
}

TEST_F(Conversion, RequestFileRefusesOverlongAndMissingWords) {
    expect_status(std::string(264, 'a') + "\r\n" + dst_ + "\r\nY\r\n", -15);
    expect_status(src_ + "\r\n", -15);
    EXPECT_EQ(files_in(dir_.path()), Names({"brief.doc", "job.req"}));
}

TEST_F(Conversion, RequestFileSelectsRegistryConverters) {
    // Registered converters whose libraries do not load: a file that is no
    // library for export, a missing file for import.
    ASSERT_TRUE(write_file(dir_.file("fake.cnv"), "not a library"));
    reg_.add_converter(true, "Fake", "Fake", dir_.file("fake.cnv"), "fak");
    reg_.add_converter(false, "Fake", "Fake", dir_.file("missing.cnv"), "fak");
    // Export index 0 reaches the registry's converter, which cannot start.
    expect_status(src_ + "\r\n" + dst_ + "\r\nX\r\n0\r\n", -16);
    // Import: the library does not load, so nothing takes the request.
    expect_status(src_ + "\r\n" + dst_ + "\r\nX\r\n", -15);
    expect_status(src_ + "\r\n" + dst_ + "\r\nY\r\n", -15);
}

TEST_F(Conversion, CommandLineModeConsultsOnlyWordPadAndWritesNoStatus) {
    // The same export converter as a request file with "X" reaches.
    ASSERT_TRUE(write_file(dir_.file("fake.cnv"), "not a library"));
    reg_.add_converter(true, "Fake", "Fake", dir_.file("fake.cnv"), "fak");
    const Names before = files_in(dir_.path());
    for (const char *rest : {" 0", "", " notanumber 7"}) {
        SCOPED_TRACE(rest);
        EXPECT_EQ(run_tail_in(dir_.path(), src_ + " " + dst_ + rest), EXIT_NOT_TAKEN);
        expect_untouched();
        EXPECT_EQ(files_in(dir_.path()), before);
    }
}

TEST(Requests, ExactCommandLines) {
    RegistryScope reg;
    ScratchDir dir;
    // A program folder with a blank in its name, named by the command line
    // alone.
    std::string folder = dir.file("Program Folder");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    std::string copy = folder + "\\docvane.exe";
    ASSERT_TRUE(copy_file(docvane_exe(), copy));
    ASSERT_EQ(docvane_exe().find(' '), std::string::npos);
    // Each request file is missing, so the run that took exactly its path as
    // the tail leaves a status file there.
    struct Case {
        std::string command_line, request;
        const char *app;
    } cases[] = {
        {"\"" + copy + "\" " + dir.file("a.req"), dir.file("a.req"), NULL},
        {"\"" + docvane_exe() + "\"\t\t" + dir.file("b.req"), dir.file("b.req"), docvane_exe().c_str()},
        {docvane_exe() + "\t \t" + dir.file("c.req"), dir.file("c.req"), docvane_exe().c_str()},
        {"\"" + docvane_exe() + "\"" + dir.file("d.req"), dir.file("d.req"), docvane_exe().c_str()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command_line);
        EXPECT_EQ(run_in(dir.path(), c.command_line, c.app), EXIT_NOT_TAKEN);
        EXPECT_EQ(read_file(c.request), "\n-15\n");
    }
}

TEST(Requests, EmptyTailsAndOverlongWordsTouchNothing) {
    RegistryScope reg;
    ScratchDir dir;
    const std::string exe = "\"" + docvane_exe() + "\"";
    for (const std::string &command_line : {exe, exe + " \t \t ", exe + " " + std::string(264, 'a') + " b"}) {
        SCOPED_TRACE(command_line);
        EXPECT_EQ(run_in(dir.path(), command_line, docvane_exe().c_str()), EXIT_NOT_TAKEN);
        EXPECT_EQ(files_in(dir.path()), Names());
    }
}

}  // namespace
