#include "info/info_report.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "info/library_verdict.h"

const char SELECTORS[SELECTOR_COUNT] = {'W', 'X', 'Y'};

namespace {

const char *const DIRECTION_NAMES[2] = {"import", "export"};

// One line being built; fields are cut rather than overrun.
struct Line {
    char text[2048];
    size_t n;
    ReportSink sink;
    void *context;
};

void put(Line *l, const char *format, ...) {
    if (l->n >= sizeof l->text - 1) return;
    va_list args;
    va_start(args, format);
    int w = vsnprintf(l->text + l->n, sizeof l->text - l->n, format, args);
    va_end(args);
    if (w > 0) l->n += static_cast<size_t>(w);
    if (l->n > sizeof l->text - 1) l->n = sizeof l->text - 1;
}

// Registry text as it is, but tabs and line breaks become blanks, so that a
// row stays one row and a TSV field one field.
void put_text(Line *l, const char *text) {
    for (const char *p = text; *p && l->n < sizeof l->text - 1; ++p)
        l->text[l->n++] = (*p == '\t' || *p == '\n' || *p == '\r') ? ' ' : *p;
    l->text[l->n] = '\0';
}

void end_line(Line *l) {
    l->text[l->n] = '\0';
    l->sink(l->context, l->text);
    l->n = 0;
    l->text[0] = '\0';
}

void put_source(Line *l, const ReportRow &row) {
    if (row.built_in) {
        put(l, "built-in");
    } else if (row.position < 0) {
        put(l, "registry");
    } else if (row.subkey[0]) {
        put(l, "subkey ");
        put_text(l, row.subkey);
    } else {
        put(l, "subkey at position %d", row.position);
    }
}

void put_index(Line *l, int index) {
    if (index < 0)
        put(l, "-");
    else
        put(l, "%d", index);
}

}  // namespace

ReportRow *add_report_row(ReportDirection *d) {
    if (d->row_count == MAX_REPORT_ROWS) {
        d->cut_short = 1;
        return nullptr;
    }
    ReportRow *row = &d->rows[d->row_count++];
    memset(row, 0, sizeof *row);
    for (int &i : row->index) i = -1;
    return row;
}

void write_compact_report(const Report *r, ReportSink sink, void *context) {
    Line l = {"", 0, sink, context};
    put(&l, "Converters as the %s docvane numbers them", r->build);
    end_line(&l);
    put(&l, "Registry: %s", r->registry_view);
    end_line(&l);
    put(&l, "WordPad: ");
    put_text(&l, r->wordpad);
    end_line(&l);
    put(&l, "System libraries: %s", r->system_libraries);
    end_line(&l);
    for (int d = 0; d < 2; ++d) {
        const ReportDirection &dir = r->directions[d];
        end_line(&l);
        put(&l, "%s converters, index under selector W X Y:", d ? "Export" : "Import");
        end_line(&l);
        int numbered = 0;
        for (int i = 0; i < dir.row_count; ++i) {
            const ReportRow &row = dir.rows[i];
            if (!row.numbered) continue;
            ++numbered;
            put(&l, " ");
            for (int s = 0; s < SELECTOR_COUNT; ++s) {
                put(&l, " ");
                put_index(&l, row.index[s]);
            }
            put(&l, "  ");
            put_text(&l, row.display_name);
            put(&l, " (");
            put_text(&l, row.extension_list);
            put(&l, ") [");
            put_source(&l, row);
            put(&l, "]");
            end_line(&l);
            put(&l, "      ");
            put_text(&l, row.library_path);
            end_line(&l);
            put(&l, "      %s", row.text);
            if (row.usable == VERDICT_UNUSABLE) put(&l, ": %s", unusable_consequence(d));
            if (row.usable == VERDICT_UNKNOWN) put(&l, ": %s", unknown_consequence());
            end_line(&l);
        }
        if (!numbered) {
            put(&l, "  none");
            end_line(&l);
        }
        int skipped = 0;
        for (int i = 0; i < dir.row_count; ++i) {
            const ReportRow &row = dir.rows[i];
            if (row.numbered) continue;
            if (!skipped++) {
                put(&l, "Taking no index:");
                end_line(&l);
            }
            put(&l, "  [");
            put_source(&l, row);
            put(&l, "] %s", row.text);
            if (row.library_path[0]) {
                put(&l, ": ");
                put_text(&l, row.library_path);
            }
            end_line(&l);
        }
        if (dir.cut_short) {
            put(&l, "  (more than %d rows: the rest are not shown)", MAX_REPORT_ROWS);
            end_line(&l);
        }
    }
}

void write_tsv_report(const Report *r, ReportSink sink, void *context) {
    Line l = {"", 0, sink, context};
    put(&l, "direction\tW\tX\tY\tsource\tname\tpath\textensions\tstatus\tdocvane");
    end_line(&l);
    put(&l, "-\t-\t-\t-\tregistry\t\t\t\t%s\t-", r->registry_view);
    end_line(&l);
    put(&l, "-\t-\t-\t-\twordpad\t\t\t\t");
    put_text(&l, r->wordpad);
    put(&l, "\t-");
    end_line(&l);
    put(&l, "-\t-\t-\t-\tsystem\t\t\t\t%s\t-", r->system_libraries);
    end_line(&l);
    for (int d = 0; d < 2; ++d) {
        const ReportDirection &dir = r->directions[d];
        for (int i = 0; i < dir.row_count; ++i) {
            const ReportRow &row = dir.rows[i];
            put(&l, "%s", DIRECTION_NAMES[d]);
            for (int s = 0; s < SELECTOR_COUNT; ++s) {
                put(&l, "\t");
                put_index(&l, row.index[s]);
            }
            put(&l, "\t");
            put_source(&l, row);
            const char *fields[] = {row.display_name, row.library_path, row.extension_list, row.text};
            for (const char *f : fields) {
                put(&l, "\t");
                put_text(&l, f);
            }
            put(&l, "\t%s", !row.numbered                     ? "takes no index"
                            : row.usable == VERDICT_OK      ? "-"
                            : row.usable == VERDICT_UNKNOWN ? unknown_consequence()
                                                            : unusable_consequence(d));
            end_line(&l);
        }
        if (dir.cut_short) {
            put(&l, "%s\t-\t-\t-\tregistry\t\t\t\tmore than %d rows: the rest are not shown\t-", DIRECTION_NAMES[d],
                MAX_REPORT_ROWS);
            end_line(&l);
        }
    }
}
