#include "batch/batch_run.h"

#include <memory>

#include "batch/console_text.h"
#include "batch/report_record.h"
#include "common/result_codes.h"

namespace {

struct Slot {
    size_t document;
    std::unique_ptr<DocumentRun> run;
};

class ProgressShow {
  public:
    ProgressShow(bool quiet) : quiet_(quiet), console_(stderr_is_console()) {}
    void update(const Tally &tally, bool force) {
        if (quiet_) return;
        ULONGLONG now = GetTickCount64();
        // A console line is cheap to rewrite; a log gets a line every 10 s.
        ULONGLONG every = console_ ? 250 : 10000;
        if (!force && last_ && now - last_ < every) return;
        // Without a console the summary follows at once: no last line.
        if (!console_ && force) return;
        last_ = now;
        std::string line = progress_line(tally);
        if (console_) {
            std::string padded = line;
            if (padded.size() < width_) padded.append(width_ - padded.size(), ' ');
            width_ = line.size();
            write_err("\r" + padded);
            shown_ = true;
        } else {
            write_err(line + "\n");
        }
    }
    void end() {
        if (shown_) write_err("\n");
    }

  private:
    bool quiet_, console_;
    ULONGLONG last_ = 0;
    size_t width_ = 0;
    bool shown_ = false;
};

}  // namespace

BatchEnd run_batch(const BatchSetup &setup, const std::vector<BatchDocument> &documents, ReportFile *report,
                   HANDLE stop, Tally *tally, std::string *message) {
    std::vector<Slot> running;
    size_t next = 0;
    unsigned serial = 0;
    long converted_here = 0;
    ULONGLONG begun = GetTickCount64();
    ProgressShow show(setup.quiet);
    BatchEnd end = BATCH_DONE;
    tally->total = static_cast<long>(documents.size());

    auto record = [&](const BatchDocument &d, const DocumentRun *run, Outcome outcome) -> bool {
        ReportRecord r;
        r.source = d.relative;
        r.destination = d.destination;
        r.outcome = outcome_name(outcome);
        if (run) {
            r.has_result = run->has_result;
            r.result = run->result;
            r.has_progress = run->has_progress;
            r.progress = run->progress;
            r.seconds = run->seconds();
            r.has_bytes = run->has_bytes;
            r.bytes = run->bytes;
        }
        r.attempt = d.attempt;
        r.source_bytes = d.source_bytes;
        r.source_modified = d.source_modified;
        if (!report->append(format_record(r))) {
            *message = "the report cannot be written";
            return false;
        }
        ++tally->done;
        ++tally->counts[outcome];
        if (outcome == OUTCOME_CONVERTED) ++converted_here;
        return true;
    };

    while (end == BATCH_DONE && (next < documents.size() || !running.empty())) {
        if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
            end = BATCH_INTERRUPTED;
            *message = "interrupted";
            break;
        }
        while (end == BATCH_DONE && running.size() < static_cast<size_t>(setup.jobs) && next < documents.size()) {
            const BatchDocument &d = documents[next];
            std::unique_ptr<DocumentRun> run(new DocumentRun);
            DocumentRun::Start s = run->start(setup.run, ++serial, d.source);
            if (s == DocumentRun::STARTED) {
                running.push_back(Slot{next, std::move(run)});
            } else if (s == DocumentRun::WORK_NOT_WRITABLE) {
                end = BATCH_NOT_WRITABLE;
                *message = "the work folder on DEST cannot be written";
                break;
            } else if (!record(d, nullptr, OUTCOME_FAILED)) {
                end = BATCH_NOT_WRITABLE;
                break;
            }
            ++next;
        }
        if (end != BATCH_DONE || running.empty()) continue;

        std::vector<HANDLE> handles;
        handles.push_back(stop);
        ULONGLONG now = GetTickCount64(), nearest = ~0ULL;
        for (const Slot &s : running) {
            handles.push_back(s.run->process());
            if (s.run->deadline() < nearest) nearest = s.run->deadline();
        }
        DWORD wait = nearest > now ? static_cast<DWORD>(nearest - now) : 0;
        if (wait > 1000) wait = 1000;  // the progress line moves on
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);

        now = GetTickCount64();
        for (size_t i = 0; i < running.size() && end == BATCH_DONE;) {
            Slot &s = running[i];
            bool exited = WaitForSingleObject(s.run->process(), 0) == WAIT_OBJECT_0;
            bool timed_out = !exited && now >= s.run->deadline();
            if (!exited && !timed_out) {
                ++i;
                continue;
            }
            const BatchDocument &d = documents[s.document];
            if (s.run->finish(timed_out, d.final_path) != DocumentRun::DONE) {
                end = BATCH_NOT_WRITABLE;
                *message = "an output cannot be moved into DEST";
                break;
            }
            // An export index that names no usable converter fails every
            // document the same way: stop at the first instead.
            if (setup.run.exporting && converted_here == 0 && s.run->has_result &&
                (s.run->result == RESULT_NOT_TAKEN || s.run->result == RESULT_EXPORT_CANNOT_START) &&
                s.run->outcome == OUTCOME_FAILED) {
                end = BATCH_BAD_INDEX;
                *message = "--index " + std::to_string(setup.run.index) +
                           " names no usable export converter (docvane ended with " + std::to_string(s.run->result) +
                           " on " + d.relative + "); nothing more is converted";
                break;
            }
            if (!record(d, s.run.get(), s.run->outcome)) {
                end = BATCH_NOT_WRITABLE;
                break;
            }
            running.erase(running.begin() + static_cast<long>(i));
        }
        tally->elapsed_seconds = (GetTickCount64() - begun) / 1000.0;
        show.update(*tally, false);
    }
    for (Slot &s : running) s.run->abandon();
    tally->elapsed_seconds = (GetTickCount64() - begun) / 1000.0;
    show.update(*tally, true);
    show.end();
    return end;
}
