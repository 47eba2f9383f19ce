// The report dvbatch reads back for --resume, and status files: any bytes.
#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>

#include "batch/report_record.h"
#include "common/status_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string content(reinterpret_cast<const char *>(data), size);
    std::map<std::string, LastRecord> last;
    size_t bad = 0;
    read_report(content, &last, &bad);
    ReportRecord r;
    if (parse_record(content, &r)) {
        // What it read, written and read again, is the same record.
        ReportRecord again;
        std::string line = format_record(r);
        if (!parse_record(line.substr(0, line.size() - 1), &again) || again.source != r.source ||
            again.outcome != r.outcome || again.attempt != r.attempt)
            __builtin_trap();
    }
    char progress[160];
    int result = 0;
    parse_status_text(content.data(), content.size(), progress, sizeof progress, &result);
    return 0;
}
