#include "conversion/crash_record.h"

#include "common/status_text.h"

namespace {

struct Line {
    char *out;
    size_t size;
    size_t n;

    void add(const char *text) {
        while (text && *text && n + 1 < size) out[n++] = *text++;
        out[n] = '\0';
    }
    void add_hex(unsigned long long value, int min_digits) {
        char digits[17];
        int count = 0;
        while ((value || count < min_digits) && count < 16) {
            digits[count++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        }
        add("0x");
        while (count && n + 1 < size) out[n++] = digits[--count];
        out[n] = '\0';
    }
};

}  // namespace

size_t format_crash_record(char *out, size_t size, const CrashFacts &facts) {
    if (size == 0) return 0;
    Line line = {out, size, 0};
    out[0] = '\0';
    if (facts.code) {
        line.add("docvane: exception ");
        line.add_hex(facts.code, 8);
        if (facts.module) {
            line.add(" in ");
            line.add(facts.module);
            line.add(" at offset ");
            line.add_hex(facts.offset, 1);
        } else {
            line.add(" at address ");
            line.add_hex(facts.address, 1);
            line.add(", in no loaded module");
        }
    } else {
        line.add("docvane: converter code ended the process or docvane's thread");
    }
    if (facts.converter && facts.converter[0]) {
        line.add("; last converter loaded: ");
        line.add(facts.converter);
    } else {
        line.add("; no converter loaded");
    }
    line.add("; the run ended with ");
    char result[12];
    format_decimal(result, facts.result);
    line.add(result);
    line.add(".");
    return line.n;
}
