// Fifty docvane runs started at once in one prefix, each with its own request
// file and destination: every status file, list file, destination and exit
// code must be what the same request gives when run alone.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win_test_support.h"

using namespace dvtest;

namespace {

const int RUNS = 50;
const DWORD EXIT_NOT_TAKEN = 4294967281u;     // -15
const DWORD EXIT_CANNOT_START = 4294967280u;  // -16
const char DONE[] = "Datei wird generiert (100%)...";
const char IMPORT_LIST[] =
    "ExtWP32: Word f\xFCr Windows 6.0 (*.doc)\n"
    "ExtWP32: Windows Write (*.wri)\n";
const char EXPORT_LIST[] = "ExtWP32: Word f\xFCr Windows 6.0 (*.doc)\n";

// The request kinds mixed in the run. The built-in library files are not
// libraries, so a request that reaches one fails the way a broken
// installation does.
enum Kind {
    IMPORT_X,           // registry only: the stream converter takes it
    IMPORT_Y,           // built-ins tried (and not loadable) first
    IMPORT_UNKNOWN,     // no converter takes a .txt: -15, no destination
    EXPORT_X,           // index 0 of the registry's export converters
    EXPORT_Y,           // index 1: after the built-in Word entry
    EXPORT_BROKEN,      // index 0 under Y: the built-in, not loadable: -16
    LIST_BOTH,
    LIST_IMPORT,
    LIST_EXPORT,
    IMPORT_LOWER_X,     // the selector is upper-cased
    KIND_COUNT
};

struct Case {
    Kind kind;
    std::string request, source, destination;
    std::string request_text, source_bytes;
    std::string want_request, want_destination;
    bool want_destination_exists;
    DWORD want_exit;
};

// Bytes that differ from case to case and hold every byte value a text
// stream could mistreat (zero, CR, LF, Ctrl-Z).
std::string document(int n) {
    size_t size = 1500 + static_cast<size_t>(n) * 977 % 30000;
    std::string bytes(size, '\0');
    unsigned x = 2463534242u + static_cast<unsigned>(n);
    for (char &c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    bytes[0] = '\r';
    bytes[1] = '\n';
    bytes[2] = 0x1A;
    return bytes;
}

Case make_case(const ScratchDir &dir, int n, Kind kind) {
    Case c;
    c.kind = kind;
    std::string stem = dir.file("r" + std::to_string(n));
    c.request = stem + ".req";
    c.want_destination_exists = false;
    c.want_exit = 0;
    std::string status_ok = std::string(DONE) + "\n0\n";
    switch (kind) {
    case IMPORT_X:
    case IMPORT_Y:
    case IMPORT_LOWER_X:
    case IMPORT_UNKNOWN: {
        const char *selector = kind == IMPORT_X ? "X" : kind == IMPORT_LOWER_X ? "x" : "Y";
        c.source = stem + (kind == IMPORT_UNKNOWN ? ".txt" : ".stm");
        c.destination = stem + ".rtf";
        c.source_bytes = document(n);
        c.request_text = c.source + "\r\n" + c.destination + "\r\n" + selector + "\r\n";
        if (kind == IMPORT_UNKNOWN) {
            c.want_request = "\n-15\n";
            c.want_exit = EXIT_NOT_TAKEN;
        } else {
            c.want_request = status_ok;
            c.want_destination = c.source_bytes;
            c.want_destination_exists = true;
        }
        break;
    }
    case EXPORT_X:
    case EXPORT_Y:
    case EXPORT_BROKEN: {
        const char *tail = kind == EXPORT_X ? "X\r\n0\r\n" : kind == EXPORT_Y ? "Y\r\n1\r\n" : "Y\r\n0\r\n";
        c.source = stem + ".rtf";
        c.destination = stem + ".out";
        c.source_bytes = document(n);
        c.request_text = c.source + "\r\n" + c.destination + "\r\n" + tail;
        if (kind == EXPORT_BROKEN) {
            c.want_request = "\n-16\n";
            c.want_exit = EXIT_CANNOT_START;
        } else {
            c.want_request = status_ok;
            c.want_destination = c.source_bytes;
            c.want_destination_exists = true;
        }
        break;
    }
    case LIST_BOTH:
        c.request_text = "\\\\\\\\-1-1\r\n";
        c.want_request = std::string(IMPORT_LIST) + "\n" + EXPORT_LIST + "\n";
        break;
    case LIST_IMPORT:
        c.request_text = "\\\\\\\\-1-0\r\n";
        c.want_request = std::string(IMPORT_LIST) + "\n";
        break;
    case LIST_EXPORT:
        c.request_text = "\\\\\\\\-0-1\r\n";
        c.want_request = std::string(EXPORT_LIST) + "\n";
        break;
    case KIND_COUNT:
        break;
    }
    return c;
}

void prepare(const Case &c) {
    ASSERT_TRUE(write_file(c.request, c.request_text));
    if (!c.source.empty()) {
        ASSERT_TRUE(write_file(c.source, c.source_bytes));
    }
}

HANDLE start(const Case &c) {
    std::string cmd = "\"" + docvane_exe() + "\" " + c.request;
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(docvane_exe().c_str(), &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        ADD_FAILURE() << "cannot start docvane: error " << GetLastError();
        return NULL;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

void check(const Case &c, DWORD exit_code, const char *how) {
    SCOPED_TRACE(std::string(how) + " request " + c.request + " kind " + std::to_string(c.kind));
    EXPECT_EQ(exit_code, c.want_exit);
    EXPECT_EQ(read_file(c.request), c.want_request);
    if (c.destination.empty()) return;
    bool exists = false;
    std::string got = read_file(c.destination, &exists);
    EXPECT_EQ(exists, c.want_destination_exists);
    // Compared whole but reported briefly: the documents are binary.
    EXPECT_TRUE(got == c.want_destination) << "destination differs: " << got.size() << " bytes, want "
                                           << c.want_destination.size();
    if (!c.source.empty()) {
        EXPECT_TRUE(read_file(c.source) == c.source_bytes) << "source changed";
    }
}

class Concurrency : public testing::Test {
  protected:
    void SetUp() override {
        std::string wordpad = dir_.file("wordpad");
        ASSERT_TRUE(CreateDirectoryA(wordpad.c_str(), NULL));
        ASSERT_TRUE(write_file(wordpad + "\\MSWD6_32.WPC", "not a library"));
        ASSERT_TRUE(write_file(wordpad + "\\WRITE32.WPC", "not a library"));
        reg_.set_wordpad_command("\"" + wordpad + "\\WORDPAD.EXE\" \"%1\"");
        std::string dll = fixture_dir() + "\\stream_converter.dll";
        ASSERT_TRUE(file_exists(dll)) << dll;
        reg_.add_converter(false, "Stream", "Stream", dll, "stm");
        reg_.add_converter(true, "Stream", "Stream", dll, "stm");
    }

    RegistryScope reg_;
    ScratchDir dir_;
};

TEST_F(Concurrency, FiftyRunsAtOnceGiveWhatEachGivesAlone) {
    // Each kind alone first: the expectations below are what a single run
    // gives.
    for (int k = 0; k < KIND_COUNT; ++k) {
        Case c = make_case(dir_, 1000 + k, static_cast<Kind>(k));
        prepare(c);
        HANDLE h = start(c);
        ASSERT_TRUE(h);
        ASSERT_EQ(WaitForSingleObject(h, 120000), WAIT_OBJECT_0);
        DWORD code = 0xDEADBEEF;
        GetExitCodeProcess(h, &code);
        CloseHandle(h);
        check(c, code, "alone:");
    }
    ASSERT_FALSE(HasFailure()) << "a single run already differs";

    std::vector<Case> cases;
    for (int n = 0; n < RUNS; ++n) {
        cases.push_back(make_case(dir_, n, static_cast<Kind>(n % KIND_COUNT)));
        prepare(cases.back());
    }
    std::vector<HANDLE> running;
    for (const Case &c : cases) running.push_back(start(c));
    for (HANDLE h : running) ASSERT_TRUE(h);

    // At most MAXIMUM_WAIT_OBJECTS handles per wait.
    for (size_t at = 0; at < running.size(); at += MAXIMUM_WAIT_OBJECTS) {
        DWORD count = static_cast<DWORD>(std::min<size_t>(MAXIMUM_WAIT_OBJECTS, running.size() - at));
        DWORD waited = WaitForMultipleObjects(count, &running[at], TRUE, 600000);
        ASSERT_LT(waited - WAIT_OBJECT_0, count) << "runs still going after 10 minutes";
    }
    for (size_t n = 0; n < cases.size(); ++n) {
        DWORD code = 0xDEADBEEF;
        GetExitCodeProcess(running[n], &code);
        CloseHandle(running[n]);
        check(cases[n], code, "at once:");
    }
}

}  // namespace
