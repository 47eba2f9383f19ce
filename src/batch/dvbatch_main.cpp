// dvbatch: converts a folder of documents with docvane, one docvane run per
// document, and records every document's outcome in a JSON Lines report.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "batch/batch_options.h"
#include "batch/batch_run.h"
#include "batch/console_text.h"
#include "batch/document_filter.h"
#include "batch/document_walk.h"
#include "batch/report_file.h"
#include "batch/report_record.h"
#include "batch/wide_path.h"
#include "batch/work_folder.h"

#ifndef DOCVANE_VERSION_TEXT
#define DOCVANE_VERSION_TEXT "0.0.0"
#endif

namespace {

enum Exit { EXIT_ALL_CONVERTED = 0, EXIT_SOME_NOT = 1, EXIT_SETTING = 2, EXIT_INTERRUPTED = 3, EXIT_NOT_WRITABLE = 4 };

HANDLE g_stop = nullptr;
HANDLE g_finished = nullptr;

// Ctrl+C, Ctrl+Break, a closed console, log-off, shut-down: the batch stops
// cleanly. For the last three the system ends the process once the handler
// returns, so it waits for the clean stop first.
BOOL WINAPI on_console_event(DWORD event) {
    SetEvent(g_stop);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) WaitForSingleObject(g_finished, 10000);
    return TRUE;
}

// dvbatch puts itself into a job that ends every process in it when its last
// handle closes, before it starts anything. Every docvane is then born into
// it, atomically, by inheritance: whatever moment dvbatch is killed at, its
// handle closes with it and nothing of the batch keeps running. On Windows,
// PROC_THREAD_ATTRIBUTE_JOB_LIST alone puts docvane into its own job at
// creation; Wine assigns that job only after creating the process, so a kill
// in between would leave docvane running without this outer job. The
// per-document jobs nest inside it (Windows 8 and later, and Wine). Where
// the assignment fails (Windows 7 inside a job of its caller's) the
// per-document jobs still hold.
HANDLE enter_own_job() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, GetCurrentProcess())) {
        CloseHandle(job);
        return nullptr;
    }
    return job;  // held until the process ends
}

int fail(int code, const std::string &message) {
    write_err("dvbatch: " + message + "\n");
    return code;
}

std::wstring own_folder() {
    std::vector<wchar_t> buffer(32768);
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), n);
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

// Whether docvane can take the path as a word of its request file: printable
// ASCII without blanks, short enough for the names added to it.
bool usable_as_word(const std::wstring &plain) {
    if (plain.size() > 200) return false;
    for (wchar_t c : plain)
        if (c <= 32 || c > 126) return false;
    return true;
}

std::string share_suffix(const BatchOptions &o) {
    if (!o.shard_n) return "";
    return "-" + std::to_string(o.shard_k) + "-of-" + std::to_string(o.shard_n);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    HANDLE own_job = enter_own_job();
    (void)own_job;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_console_event, TRUE);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(wide_to_utf8(argv[i]));
    BatchOptions o;
    std::string problem = parse_batch_options(args, &o);
    if (!problem.empty()) return fail(EXIT_SETTING, problem + " (dvbatch --help shows the usage)");
    if (o.help) {
        write_out(batch_usage());
        return 0;
    }
    if (o.version) {
        write_out("dvbatch " DOCVANE_VERSION_TEXT "\n");
        return 0;
    }

    // Everything is checked before anything is converted.
    std::wstring source = long_path(utf8_to_wide(o.source));
    if (source.empty() || !is_folder(source)) return fail(EXIT_SETTING, "SOURCE " + o.source + " is not a folder");
    std::wstring dest = long_path(utf8_to_wide(o.dest));
    if (dest.empty()) return fail(EXIT_SETTING, "DEST " + o.dest + " is not a usable path");
    if (same_or_inside(dest, source))
        return fail(EXIT_SETTING, "DEST " + o.dest + " is SOURCE or lies inside it: outputs would become documents");
    std::wstring docvane = o.docvane.empty() ? own_folder() + L"\\docvane.exe" : plain_path(long_path(utf8_to_wide(o.docvane)));
    if (!is_file(long_path(docvane)))
        return fail(EXIT_SETTING, "no docvane.exe at " + wide_to_utf8(docvane) + " (--docvane names another)");
    std::wstring report_path =
        o.report.empty() ? dest + L"\\dvbatch-report" + utf8_to_wide(share_suffix(o)) + L".jsonl" : long_path(utf8_to_wide(o.report));
    if (report_path.empty()) return fail(EXIT_SETTING, "--report " + o.report + " is not a usable path");
    std::string report_shown = wide_to_utf8(plain_path(report_path));

    if (!make_folders(dest)) return fail(EXIT_NOT_WRITABLE, "DEST " + o.dest + " cannot be created");
    // The work folder holds the names docvane reads: under DEST, or at the
    // root of DEST's volume when DEST's path is too long to be docvane's
    // current directory.
    std::wstring work_base = dest;
    if (plain_path(dest).size() > 200) {
        std::vector<wchar_t> root(32768);
        if (GetVolumePathNameW(dest.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
            std::wstring r = root.data();
            while (!r.empty() && r.back() == L'\\') r.pop_back();
            work_base = long_path(plain_path(r) + L"\\");
            while (!work_base.empty() && work_base.back() == L'\\') work_base.pop_back();
        }
    }
    std::wstring work_path = work_base + L"\\.dvbatch-work" + utf8_to_wide(share_suffix(o));
    WorkFolder work;
    WorkFolder::Take taken = work.take(work_path);
    if (taken == WorkFolder::HELD_ELSEWHERE)
        return fail(EXIT_SETTING, "another dvbatch run" + (o.shard_n ? " of share " + std::to_string(o.shard_k) + "/" + std::to_string(o.shard_n) : std::string()) +
                                      " is using " + o.dest + " (its work folder " + wide_to_utf8(plain_path(work_path)) + " is locked)");
    if (taken == WorkFolder::NOT_WRITABLE) {
        work.remove();
        return fail(EXIT_NOT_WRITABLE, "cannot write in DEST (" + wide_to_utf8(plain_path(work_path)) + ")");
    }

    ReportFile report;
    std::string content;
    std::wstring report_folder = report_path.substr(0, report_path.rfind(L'\\'));
    if (!make_folders(report_folder) || !report.open(report_path, &content)) {
        work.remove();
        return fail(EXIT_NOT_WRITABLE, "cannot open the report " + report_shown);
    }
    std::map<std::string, LastRecord> last;
    size_t bad_line = 0;
    if (!read_report(content, &last, &bad_line)) {
        work.remove();
        return fail(EXIT_SETTING, "the report " + report_shown + " is not a dvbatch report (line " +
                                      std::to_string(bad_line) + " is no record)");
    }
    if (!report.prepare_append(content)) {
        work.remove();
        return fail(EXIT_NOT_WRITABLE, "cannot write the report " + report_shown);
    }

    std::vector<SourceFile> files;
    if (!walk_source(source, report_path, &files)) {
        work.remove();
        return fail(EXIT_SETTING, "SOURCE " + o.source + " cannot be read");
    }
    std::map<std::string, size_t> by_path;
    std::vector<std::string> names;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string &rel = files[i].relative;
        if (!is_document(rel, o.include, o.exclude) || !in_shard(rel, o.shard_k, o.shard_n)) continue;
        by_path[rel] = i;
        names.push_back(rel);
    }
    sort_documents(&names);

    std::vector<BatchDocument> documents;
    long earlier_not_converted = 0;
    for (const std::string &rel : names) {
        auto seen = last.find(rel);
        if (o.resume && seen != last.end() && (!o.retry_failed || seen->second.outcome == "converted")) {
            if (seen->second.outcome != "converted") ++earlier_not_converted;
            continue;
        }
        const SourceFile &f = files[by_path[rel]];
        BatchDocument d;
        d.relative = rel;
        d.destination = destination_path(rel, o.exporting, o.extension);
        d.source = join_path(source, rel);
        d.final_path = join_path(dest, d.destination);
        d.source_bytes = f.bytes;
        d.source_modified = iso_utc(f.modified);
        d.attempt = seen == last.end() ? 1 : seen->second.attempt + 1;
        documents.push_back(d);
    }

    BatchSetup setup;
    setup.run.docvane = docvane;
    setup.run.work = work.path();
    setup.run.work_plain = plain_path(work.path());
    setup.run.absolute_words = usable_as_word(setup.run.work_plain);
    setup.run.exporting = o.exporting;
    setup.run.selector = o.converters;
    setup.run.index = o.index;
    setup.run.extension = o.extension;
    setup.run.timeout_ms = static_cast<DWORD>(o.timeout_seconds) * 1000u;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    setup.jobs = o.jobs ? o.jobs : static_cast<int>(si.dwNumberOfProcessors);
    if (setup.jobs < 1) setup.jobs = 1;
    if (setup.jobs > MAX_JOBS) setup.jobs = MAX_JOBS;
    setup.quiet = o.quiet;

    Tally tally;
    std::string message;
    BatchEnd end = run_batch(setup, documents, &report, g_stop, &tally, &message);
    work.remove();
    write_err(summary_table(tally, report_shown));
    int code = EXIT_ALL_CONVERTED;
    switch (end) {
    case BATCH_DONE:
        code = tally.counts[OUTCOME_CONVERTED] == tally.done && earlier_not_converted == 0 ? EXIT_ALL_CONVERTED
                                                                                            : EXIT_SOME_NOT;
        break;
    case BATCH_INTERRUPTED:
        code = fail(EXIT_INTERRUPTED, "interrupted: the documents that were running get no record; --resume runs them");
        break;
    case BATCH_NOT_WRITABLE:
        code = fail(EXIT_NOT_WRITABLE, "stopped: " + message + "; --resume continues once the cause is gone");
        break;
    case BATCH_BAD_INDEX: code = fail(EXIT_SETTING, message); break;
    }
    SetEvent(g_finished);
    return code;
}
