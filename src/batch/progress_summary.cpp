#include "batch/progress_summary.h"

#include <cstdio>

std::string duration_text(double seconds) {
    if (!(seconds >= 0)) seconds = 0;
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, (s / 60) % 60);
    else if (s >= 60)
        std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lds", s);
    return text;
}

std::string progress_line(const Tally &t) {
    char head[64];
    std::snprintf(head, sizeof head, "%ld/%ld done", t.done, t.total);
    std::string line = head;
    for (int o = 0; o < OUTCOME_COUNT; ++o) {
        if (!t.counts[o]) continue;
        line += "  ";
        line += outcome_name(static_cast<Outcome>(o));
        line += " " + std::to_string(t.counts[o]);
    }
    if (t.done > 0 && t.elapsed_seconds > 0) {
        double rate = t.done / t.elapsed_seconds;
        char tail[64];
        std::snprintf(tail, sizeof tail, "  %.1f/s", rate);
        line += tail;
        if (t.total > t.done) line += "  about " + duration_text((t.total - t.done) / rate) + " left";
    }
    return line;
}

std::string summary_table(const Tally &t, const std::string &report_path) {
    std::string out = "outcome              documents\n";
    for (int o = 0; o < OUTCOME_COUNT; ++o) {
        char row[64];
        std::snprintf(row, sizeof row, "%-20s %9ld\n", outcome_name(static_cast<Outcome>(o)), t.counts[o]);
        out += row;
    }
    char total[64];
    std::snprintf(total, sizeof total, "%-20s %9ld\n", "total", t.done);
    out += total;
    out += "report: " + report_path + "\n";
    out += "time: " + duration_text(t.elapsed_seconds) + "\n";
    return out;
}
