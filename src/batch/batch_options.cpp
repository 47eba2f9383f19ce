#include "batch/batch_options.h"

#include <cstdlib>

namespace {

// A whole decimal number in [low, high], or false.
bool whole_number(const std::string &text, long low, long high, int *out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high) return false;
    *out = static_cast<int>(value);
    return true;
}

// The export converter index: docvane reads a signed 32-bit decimal.
bool signed_number(const std::string &text, int *out) {
    std::string digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    int magnitude = 0;
    if (!whole_number(digits, 0, 999999999, &magnitude)) return false;
    *out = negative ? -magnitude : magnitude;
    return true;
}

// The output extension goes into a file name docvane reads as a word.
bool plain_extension(const std::string &text) {
    if (text.empty() || text.size() > 16) return false;
    for (char c : text) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

const char *batch_usage() {
    return "usage:\n"
           "  dvbatch import SOURCE DEST [--converters W|X|Y] [options]\n"
           "  dvbatch export SOURCE DEST --index N --extension EXT [--converters W|X|Y] [options]\n"
           "\n"
           "Converts every file under the folder SOURCE into the folder DEST, one docvane\n"
           "run per document, and records each document's outcome in a report.\n"
           "\n"
           "options:\n"
           "  --jobs N          documents converted at once (default: the number of logical processors; at most 63)\n"
           "  --timeout S       seconds one document may take, whole process tree included (default 300)\n"
           "  --report FILE     the report, JSON Lines (default DEST\\dvbatch-report.jsonl)\n"
           "  --resume          skip every document the report already has a final record for\n"
           "  --retry-failed    with --resume: run again the documents whose last record is not \"converted\"\n"
           "  --shard K/N       take only the K-th of N shares of the documents (1 <= K <= N)\n"
           "  --include GLOB, --exclude GLOB   which files are documents (repeatable)\n"
           "  --docvane PATH    the docvane.exe to run (default: the one beside dvbatch.exe)\n"
           "  --quiet           no progress line\n"
           "  --version, --help\n"
           "\n"
           "exit codes: 0 every document converted, 1 some not converted, 2 wrong command or setting,\n"
           "3 interrupted, 4 DEST or the report could not be written\n";
}

std::string parse_batch_options(const std::vector<std::string> &args, BatchOptions *out) {
    BatchOptions o;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--help" || a == "-h" || a == "/?") {
            o.help = true;
            continue;
        }
        if (a == "--version") {
            o.version = true;
            continue;
        }
        if (a == "--resume") {
            o.resume = true;
            continue;
        }
        if (a == "--retry-failed") {
            o.retry_failed = true;
            continue;
        }
        if (a == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            static const char *const with_value[] = {"--jobs",    "--timeout", "--report",  "--shard",
                                                     "--include", "--exclude", "--docvane", "--converters",
                                                     "--index",   "--extension"};
            bool known = false;
            for (const char *name : with_value) known = known || a == name;
            if (!known) return "unknown option " + a;
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string &v = args[++i];
            if (a == "--jobs") {
                if (!whole_number(v, 1, MAX_JOBS, &o.jobs))
                    return "--jobs takes a whole number from 1 to " + std::to_string(MAX_JOBS) + ", not \"" + v + "\"";
            } else if (a == "--timeout") {
                if (!whole_number(v, 1, 86400 * 7, &o.timeout_seconds))
                    return "--timeout takes a number of seconds from 1 to 604800, not \"" + v + "\"";
            } else if (a == "--report") {
                if (v.empty()) return "--report needs a file";
                o.report = v;
            } else if (a == "--shard") {
                size_t slash = v.find('/');
                int k = 0, n = 0;
                if (slash == std::string::npos || !whole_number(v.substr(0, slash), 1, 1000000, &k) ||
                    !whole_number(v.substr(slash + 1), 1, 1000000, &n) || k > n)
                    return "--shard takes K/N with 1 <= K <= N, not \"" + v + "\"";
                o.shard_k = k;
                o.shard_n = n;
            } else if (a == "--include") {
                o.include.push_back(v);
            } else if (a == "--exclude") {
                o.exclude.push_back(v);
            } else if (a == "--docvane") {
                if (v.empty()) return "--docvane needs a path";
                o.docvane = v;
            } else if (a == "--converters") {
                if (v.size() != 1 || (v != "W" && v != "X" && v != "Y" && v != "w" && v != "x" && v != "y"))
                    return "--converters takes W, X or Y, not \"" + v + "\"";
                o.converters = std::string(1, static_cast<char>(v[0] & ~0x20));
            } else if (a == "--index") {
                if (!signed_number(v, &o.index)) return "--index takes a whole number, not \"" + v + "\"";
                o.has_index = true;
            } else if (a == "--extension") {
                std::string e = v;
                if (!e.empty() && e[0] == '.') e.erase(0, 1);
                if (!plain_extension(e))
                    return "--extension takes letters, digits, '_' or '-' (at most 16), not \"" + v + "\"";
                o.extension = e;
            }
            continue;
        }
        positional.push_back(a);
    }
    if (o.help || o.version) {
        *out = o;
        return "";
    }
    if (positional.empty()) return "no command: give import or export";
    if (positional[0] == "import") {
        o.exporting = false;
    } else if (positional[0] == "export") {
        o.exporting = true;
    } else {
        return "unknown command \"" + positional[0] + "\": give import or export";
    }
    if (positional.size() < 3) return positional[0] + " needs SOURCE and DEST";
    if (positional.size() > 3) return "unexpected argument \"" + positional[3] + "\"";
    o.source = positional[1];
    o.dest = positional[2];
    if (o.source.empty() || o.dest.empty()) return "SOURCE and DEST must not be empty";
    if (o.exporting) {
        if (!o.has_index) return "export needs --index N (the export converter's index: dvinfo shows it)";
        if (o.extension.empty()) return "export needs --extension EXT (the outputs' extension)";
    } else {
        if (o.has_index || !o.extension.empty()) return "--index and --extension are for export";
    }
    if (o.retry_failed && !o.resume) return "--retry-failed works with --resume";
    *out = o;
    return "";
}
