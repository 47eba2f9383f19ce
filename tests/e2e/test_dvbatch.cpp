// dvbatch.exe as built, beside docvane.exe, over folders of documents whose
// first word tells the batch fixture converter what to do.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch/document_filter.h"
#include "batch/report_record.h"
#include "converter_folder.h"

using namespace dvtest;

namespace {

// The 32-bit build runs under emulation here, where one docvane run can take
// seconds: its time limits are longer.
const int SLOW = sizeof(void *) == 4 ? 5 : 1;
std::string seconds(int s) { return std::to_string(s * SLOW); }

const char RTF[] = "{\\rtf1\\ansi converted by the batch fixture\\par}";

std::wstring utf16(const std::string &utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// A path in UTF-8 as UTF-16, '/' made '\\'.
std::wstring wide(const std::string &utf8) {
    std::wstring out = utf16(utf8);
    for (wchar_t &c : out)
        if (c == L'/') c = L'\\';
    return out;
}

// Files by UTF-8 name, so names outside the ANSI code page work too.
bool put(const std::string &path_utf8, const std::string &bytes) {
    std::wstring path = wide(path_utf8);
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return written == bytes.size();
}

std::string get(const std::string &path_utf8, bool *exists = nullptr) {
    HANDLE h = CreateFileW(wide(path_utf8).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (exists) *exists = h != INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
    CloseHandle(h);
    return out;
}

bool exists(const std::string &path_utf8) { return GetFileAttributesW(wide(path_utf8).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file under folder, relative, '/' between folders.
void list_files(const std::string &folder, const std::string &prefix, std::set<std::string> *out) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(wide(folder + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring n = fd.cFileName;
        if (n == L"." || n == L"..") continue;
        char name[MAX_PATH * 4];
        WideCharToMultiByte(CP_UTF8, 0, n.c_str(), -1, name, sizeof name, nullptr, nullptr);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            list_files(folder + "\\" + name, prefix + name + "/", out);
        else
            out->insert(prefix + name);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

std::string dvbatch_exe() {
    std::string d = docvane_exe();
    return d.substr(0, d.rfind('\\')) + "\\dvbatch.exe";
}

struct Finished {
    DWORD code = 0;
    std::string err, out;
};

// Starts dvbatch with the arguments (UTF-8) and waits; stdout and stderr
// are kept. started, if given, gets the process instead of a wait.
Finished dvbatch(const std::string &args, HANDLE *started = nullptr, const std::string &err_file = "") {
    ScratchDir io;
    std::string err_path = err_file.empty() ? io.file("err.txt") : err_file, out_path = io.file("out.txt");
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE err = CreateFileA(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    HANDLE out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    std::wstring line = L"\"" + wide(dvbatch_exe()) + L"\" " + utf16(args);
    PROCESS_INFORMATION pi;
    Finished r;
    BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(err);
    CloseHandle(out);
    if (!ok) {
        ADD_FAILURE() << "cannot start dvbatch";
        r.code = 0xDEADBEEF;
        return r;
    }
    CloseHandle(pi.hThread);
    if (started) {
        *started = pi.hProcess;
        return r;
    }
    if (WaitForSingleObject(pi.hProcess, 180000) == WAIT_TIMEOUT) {
        ADD_FAILURE() << "dvbatch did not end: " << args;
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hProcess);
    r.err = get(err_path);
    r.out = get(out_path);
    return r;
}

std::vector<ReportRecord> records(const std::string &report) {
    std::vector<ReportRecord> out;
    std::string text = get(report);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        ReportRecord r;
        EXPECT_TRUE(parse_record(text.substr(start, end - start), &r)) << text.substr(start, end - start);
        out.push_back(r);
        start = end + 1;
    }
    return out;
}

// Processes of this prefix with the name, running now.
int running(const char *exe_name) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof pe;
    int n = 0;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) n += !lstrcmpiA(pe.szExeFile, exe_name);
    CloseHandle(snap);
    return n;
}

// Whether a process id from the fixture's children.log is still running.
bool alive(DWORD pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return false;
    bool running_now = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running_now;
}

std::vector<DWORD> children(const std::string &log) {
    std::vector<DWORD> out;
    std::string text = get(log);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) break;
        out.push_back(static_cast<DWORD>(strtoul(text.substr(start, end - start).c_str(), nullptr, 10)));
        start = end + 1;
    }
    return out;
}

// A registered batch converter (import and export) in a folder of its own,
// with the child program beside it.
class Batch : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(copy_file(fixture_dir() + "\\batch_converter.dll", conv.file("batch.cnv")));
        ASSERT_TRUE(copy_file(fixture_dir() + "\\batch_child.exe", conv.file("batch_child.exe")));
        reg.add_converter(false, "b1", "Batch", conv.file("batch.cnv"), "doc");
        reg.add_converter(true, "b1", "Batch", conv.file("batch.cnv"), "wri");
        source = work.file("in");
        dest = work.file("out");
    }
    void TearDown() override {
        for (DWORD pid : children(conv.file("children.log"))) EXPECT_FALSE(alive(pid)) << "child " << pid << " outlived its batch";
        EXPECT_EQ(running("docvane.exe"), 0);
        EXPECT_EQ(running("batch_child.exe"), 0);
    }
    RegistryScope reg;
    ScratchDir conv, work;
    std::string source, dest;
};

struct OutcomeRow {
    const char *document;  // relative, UTF-8
    const char *content;   // the fixture's instruction
    const char *outcome;
    bool has_result;
    int result;
};

// Every outcome, from a real converter in a real docvane.
const OutcomeRow OUTCOMES[] = {
    {"convert.doc", "convert", "converted", true, 0},
    {"folder with space/Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE6\x96\x87.doc", "convert", "converted", true, 0},
    {"child.doc", "child", "converted", true, 0},
    {"reject.doc", "reject", "not_recognised", true, -15},
    {"error.doc", "error", "converter_error", true, -7},
    {"empty.doc", "empty", "converter_error", true, 0},
    {"garbage.doc", "garbage", "converter_error", true, 0},
    {"fault.doc", "fault", "converter_crashed", true, -1073741819},
    {"failfast.doc", "failfast", "converter_crashed", true, -1073740791},
    {"exit.doc", "exit", "converter_ended", true, -65537},
    {"terminate.doc", "terminate", "converter_ended", true, 0},
    {"hang.doc", "hang", "timeout", false, 0},
    {"hangchild.doc", "hangchild", "timeout", false, 0},
};

TEST_F(Batch, EveryOutcomeFromARealConverter) {
    for (const OutcomeRow &row : OUTCOMES) ASSERT_TRUE(put(source + "\\" + row.document, row.content));
    ASSERT_TRUE(put(source + "\\Thumbs.db", "convert"));  // excluded: no record
    Finished r = dvbatch("import \"" + source + "\" \"" + dest + "\" --jobs 3 --timeout " + seconds(6) + " --exclude */Thumbs.db");
    EXPECT_EQ(r.code, 1u) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("timeout"), std::string::npos);

    std::vector<ReportRecord> report = records(dest + "\\dvbatch-report.jsonl");
    std::map<std::string, ReportRecord> by_source;
    for (const ReportRecord &rec : report) by_source[rec.source] = rec;
    EXPECT_EQ(report.size(), sizeof OUTCOMES / sizeof OUTCOMES[0]);
    EXPECT_EQ(by_source.size(), report.size());
    std::set<std::string> expected_files{"dvbatch-report.jsonl"};
    for (const OutcomeRow &row : OUTCOMES) {
        SCOPED_TRACE(row.document);
        auto it = by_source.find(row.document);
        ASSERT_NE(it, by_source.end());
        const ReportRecord &rec = it->second;
        EXPECT_EQ(rec.outcome, row.outcome);
        EXPECT_EQ(rec.has_result, row.has_result);
        if (row.has_result) {
            // Under qemu-i386 a page fault reaches the process as an illegal
            // instruction (0xC000001D).
            int expected = row.result == -1073741819 && SLOW > 1 ? -1073741795 : row.result;
            EXPECT_EQ(rec.result, expected);
        }
        EXPECT_EQ(rec.destination, std::string(row.document) + ".rtf");
        EXPECT_EQ(rec.attempt, 1);
        EXPECT_EQ(rec.source_bytes, static_cast<long long>(strlen(row.content)));
        EXPECT_EQ(rec.source_modified.size(), 20u);
        bool converted = std::string(row.outcome) == "converted";
        EXPECT_EQ(rec.has_bytes, converted);
        if (converted) {
            EXPECT_EQ(get(dest + "\\" + row.document + ".rtf"), RTF);
            expected_files.insert(rec.destination);
        }
        if (std::string(row.outcome) == "timeout") {
            EXPECT_GE(rec.seconds, 6.0 * SLOW);
        }
        // The archive is only read.
        EXPECT_EQ(get(source + "\\" + row.document), row.content);
    }
    // Outputs and the report; no work folder, nothing under a final name that
    // is not complete.
    std::set<std::string> files;
    list_files(dest, "", &files);
    EXPECT_EQ(files, expected_files);
    EXPECT_FALSE(children(conv.file("children.log")).empty());
}

TEST_F(Batch, ExportAndAnIndexThatNamesNoConverter) {
    ASSERT_TRUE(put(source + "\\a.rtf", "{\\rtf1 a}"));
    ASSERT_TRUE(put(source + "\\sub\\b.RTF", "{\\rtf1 b}"));
    Finished r = dvbatch("export " + source + " " + dest + " --index 0 --converters X --extension wri --quiet");
    EXPECT_EQ(r.code, 0u) << r.err;
    EXPECT_EQ(get(dest + "\\a.wri"), "{\\rtf1 a}");
    EXPECT_EQ(get(dest + "\\sub\\b.wri"), "{\\rtf1 b}");

    std::string other = work.file("other");
    r = dvbatch("export " + source + " " + other + " --index 7 --converters X --extension wri --jobs 1");
    EXPECT_EQ(r.code, 2u);
    EXPECT_NE(r.err.find("--index 7 names no usable export converter"), std::string::npos) << r.err;
    EXPECT_EQ(get(other + "\\dvbatch-report.jsonl"), "");
    std::set<std::string> files;
    list_files(other, "", &files);
    EXPECT_EQ(files, std::set<std::string>{"dvbatch-report.jsonl"});
}

struct BadInput {
    const char *what;
    const char *args;  // $S: a source folder, $D: a fresh destination, $F: a file
    const char *message;
};

const BadInput BAD_INPUTS[] = {
    {"SOURCE missing", "import $S\\nothing $D", "is not a folder"},
    {"SOURCE a file", "import $F $D", "is not a folder"},
    {"DEST is SOURCE", "import $S $S", "is SOURCE or lies inside it"},
    {"DEST inside SOURCE", "import $S $S\\sub\\out", "is SOURCE or lies inside it"},
    {"no docvane", "import $S $D --docvane $S\\docvane.exe", "no docvane.exe at"},
    {"--jobs 0", "import $S $D --jobs 0", "--jobs takes"},
    {"--jobs not a number", "import $S $D --jobs many", "--jobs takes"},
    {"--shard 3/2", "import $S $D --shard 3/2", "--shard takes K/N"},
    {"export without --index", "export $S $D --extension wri", "export needs --index"},
    {"unknown option", "import $S $D --fast", "unknown option --fast"},
    {"report not JSON Lines", "import $S $D --report $F", "is not a dvbatch report (line 1"},
};

TEST_F(Batch, BadInputGetsAMessageAndExit2BeforeAnythingIsConverted) {
    ASSERT_TRUE(put(source + "\\a.doc", "convert"));
    std::string file = work.file("notes.txt");
    ASSERT_TRUE(put(file, "these are notes\nnot a report"));
    for (const BadInput &row : BAD_INPUTS) {
        SCOPED_TRACE(row.what);
        std::string d = work.file(std::string("dest-") + std::to_string(&row - BAD_INPUTS));
        std::string args = row.args;
        for (size_t at; (at = args.find("$S")) != std::string::npos;) args.replace(at, 2, source);
        for (size_t at; (at = args.find("$D")) != std::string::npos;) args.replace(at, 2, d);
        for (size_t at; (at = args.find("$F")) != std::string::npos;) args.replace(at, 2, file);
        Finished r = dvbatch(args);
        EXPECT_EQ(r.code, 2u) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
        std::set<std::string> files;
        list_files(d, "", &files);
        EXPECT_TRUE(files.empty());
        EXPECT_FALSE(exists(d + "\\a.doc.rtf"));
    }
    EXPECT_EQ(get(file), "these are notes\nnot a report");
    EXPECT_FALSE(exists(source + "\\sub"));
    Finished help = dvbatch("--help");
    EXPECT_EQ(help.code, 0u);
    EXPECT_NE(help.out.find("dvbatch import SOURCE DEST"), std::string::npos);
    EXPECT_TRUE(help.err.empty());
}

TEST_F(Batch, ResumeAfterDvbatchIsKilled) {
    const int count = 10;
    ASSERT_TRUE(put(source + "\\a-hangchild.doc", "hangchild"));
    for (int i = 0; i < count; ++i) ASSERT_TRUE(put(source + "\\doc" + std::to_string(i) + ".doc", "slow 300"));
    HANDLE process = nullptr;
    dvbatch("import " + source + " " + dest + " --jobs 2 --timeout 120", &process);
    ASSERT_TRUE(process);
    std::string report = dest + "\\dvbatch-report.jsonl";
    // Killed while documents are running, one of them with a child process.
    for (int i = 0; i < 600 && records(report).size() < 3; ++i) Sleep(100);
    ASSERT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(process, 9);
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    Sleep(2000);
    EXPECT_EQ(running("docvane.exe"), 0);
    EXPECT_EQ(running("batch_child.exe"), 0);
    size_t before = records(report).size();
    EXPECT_GE(before, 3u);
    EXPECT_LT(before, static_cast<size_t>(count));

    // A cut last line, as a kill in the middle of a write leaves it.
    std::string text = get(report);
    ASSERT_TRUE(put(report, text + "{\"source\":\"doc9.doc\",\"outc"));
    // The time limit is what ends the hang; it leaves a loaded machine room
    // for the others.
    Finished r = dvbatch("import " + source + " " + dest + " --jobs 2 --timeout " + seconds(10) + " --resume");
    EXPECT_EQ(r.code, 1u) << r.err;  // the hang is a timeout
    std::map<std::string, int> converted;
    std::map<std::string, std::string> last;
    for (const ReportRecord &rec : records(report)) {
        converted[rec.source] += rec.outcome == "converted";
        last[rec.source] = rec.outcome;
    }
    for (int i = 0; i < count; ++i) {
        std::string name = "doc" + std::to_string(i) + ".doc";
        EXPECT_EQ(converted[name], 1) << name;
        EXPECT_EQ(get(dest + "\\" + name + ".rtf"), RTF) << name;
    }
    EXPECT_EQ(last["a-hangchild.doc"], "timeout");
    EXPECT_FALSE(exists(dest + "\\.dvbatch-work"));

    // Once more with --retry-failed: only the document that timed out runs,
    // as attempt 2.
    r = dvbatch("import " + source + " " + dest + " --timeout " + seconds(4) + " --resume --retry-failed");
    EXPECT_EQ(r.code, 1u);
    std::vector<ReportRecord> all = records(report);
    EXPECT_EQ(all.back().source, "a-hangchild.doc");
    EXPECT_EQ(all.back().attempt, 2);
    EXPECT_EQ(all.size(), static_cast<size_t>(count) + 2);
}

TEST_F(Batch, SharesCoverEveryDocumentOnceAndOneShareRunsOnce) {
    const int count = 12;
    for (int i = 0; i < count; ++i) ASSERT_TRUE(put(source + "\\d" + std::to_string(i) + "\\x.doc", "convert"));
    // Share 1 of 3 is held by a run that waits on a hanging document.
    std::string held_source = work.file("held"), held = "h.doc";
    for (int i = 0; !in_shard(held, 1, 3); ++i) held = "h" + std::to_string(i) + ".doc";
    ASSERT_TRUE(put(held_source + "\\" + held, "hang"));
    HANDLE holder = nullptr;
    dvbatch("import " + held_source + " " + dest + " --shard 1/3 --timeout 60 --report " + work.file("held.jsonl"), &holder);
    Sleep(3000);
    Finished second = dvbatch("import " + source + " " + dest + " --shard 1/3");
    EXPECT_EQ(second.code, 2u) << second.err;
    EXPECT_NE(second.err.find("another dvbatch run of share 1/3"), std::string::npos) << second.err;
    TerminateProcess(holder, 9);
    WaitForSingleObject(holder, INFINITE);
    CloseHandle(holder);

    std::multiset<std::string> seen;
    for (int k = 1; k <= 3; ++k) {
        Finished r = dvbatch("import " + source + " " + dest + " --shard " + std::to_string(k) + "/3");
        EXPECT_EQ(r.code, 0u) << r.err;
        for (const ReportRecord &rec : records(dest + "\\dvbatch-report-" + std::to_string(k) + "-of-3.jsonl")) {
            EXPECT_EQ(rec.outcome, "converted");
            seen.insert(rec.source);
        }
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(seen.count("d" + std::to_string(i) + "/x.doc"), 1u);
    std::set<std::string> files;
    list_files(dest, "", &files);
    EXPECT_EQ(files.size(), static_cast<size_t>(count) + 3);  // outputs and three reports: no work folder
}

TEST_F(Batch, LongPaths) {
    std::string deep = source;
    while (deep.size() < 300) deep += "\\a-rather-long-folder-name";
    ASSERT_TRUE(put(deep + "\\letter.doc", "convert"));
    std::string long_dest = dest;
    while (long_dest.size() < 280) long_dest += "\\another-long-output-folder";
    Finished r = dvbatch("import " + source + " " + long_dest + " --quiet");
    EXPECT_EQ(r.code, 0u) << r.err;
    std::string relative = deep.substr(source.size() + 1) + "\\letter.doc.rtf";
    EXPECT_EQ(get("\\\\?\\" + long_dest + "\\" + relative), RTF);
}

}  // namespace
