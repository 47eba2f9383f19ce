#include "batch/report_record.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

void append_string(std::string *out, const std::string &s) {
    out->push_back('"');
    for (unsigned char c : s) {
        switch (c) {
        case '"': *out += "\\\""; break;
        case '\\': *out += "\\\\"; break;
        case '\n': *out += "\\n"; break;
        case '\r': *out += "\\r"; break;
        case '\t': *out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", c);
                *out += hex;
            } else {
                out->push_back(static_cast<char>(c));
            }
        }
    }
    out->push_back('"');
}

void append_key(std::string *out, const char *key) {
    if (out->size() > 1) out->push_back(',');
    append_string(out, key);
    out->push_back(':');
}

// One JSON value of a flat object.
struct Value {
    enum Kind { STRING, NUMBER, NUL, BOOLEAN } kind = NUL;
    std::string text;  // STRING: the decoded text; NUMBER: the literal
};

struct Reader {
    const std::string &s;
    size_t i = 0;

    void space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
    }
    bool take(char c) {
        space();
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    static int hex_digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    bool hex4(unsigned *out) {
        if (i + 4 > s.size()) return false;
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            int d = hex_digit(s[i + k]);
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned>(d);
        }
        i += 4;
        *out = v;
        return true;
    }
    static void put_utf8(std::string *out, unsigned cp) {
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    bool string(std::string *out) {
        space();
        if (i >= s.size() || s[i] != '"') return false;
        ++i;
        while (i < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[i++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                out->push_back(static_cast<char>(c));
                continue;
            }
            if (i >= s.size()) return false;
            char e = s[i++];
            switch (e) {
            case '"': out->push_back('"'); break;
            case '\\': out->push_back('\\'); break;
            case '/': out->push_back('/'); break;
            case 'b': out->push_back('\b'); break;
            case 'f': out->push_back('\f'); break;
            case 'n': out->push_back('\n'); break;
            case 'r': out->push_back('\r'); break;
            case 't': out->push_back('\t'); break;
            case 'u': {
                unsigned cp = 0;
                if (!hex4(&cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    unsigned low = 0;
                    if (i + 2 > s.size() || s[i] != '\\' || s[i + 1] != 'u') return false;
                    i += 2;
                    if (!hex4(&low) || low < 0xDC00 || low >= 0xE000) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    return false;
                }
                put_utf8(out, cp);
                break;
            }
            default: return false;
            }
        }
        return false;
    }
    bool literal(const char *word) {
        size_t n = 0;
        while (word[n]) ++n;
        if (s.compare(i, n, word) != 0) return false;
        i += n;
        return true;
    }
    bool value(Value *v) {
        space();
        if (i >= s.size()) return false;
        char c = s[i];
        if (c == '"') {
            v->kind = Value::STRING;
            return string(&v->text);
        }
        if (c == 'n') {
            v->kind = Value::NUL;
            return literal("null");
        }
        if (c == 't' || c == 'f') {
            v->kind = Value::BOOLEAN;
            return literal(c == 't' ? "true" : "false");
        }
        size_t start = i;
        if (s[i] == '-') ++i;
        size_t digits = i;
        while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.' || s[i] == 'e' || s[i] == 'E' ||
                                s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == digits || s[digits] < '0' || s[digits] > '9') return false;
        v->kind = Value::NUMBER;
        v->text = s.substr(start, i - start);
        return true;
    }
};

bool to_integer(const Value &v, long long low, long long high, long long *out) {
    if (v.kind != Value::NUMBER) return false;
    char *end = nullptr;
    long long n = std::strtoll(v.text.c_str(), &end, 10);
    if (*end || n < low || n > high) return false;
    *out = n;
    return true;
}

}  // namespace

std::string format_record(const ReportRecord &r) {
    std::string out = "{";
    append_key(&out, "source");
    append_string(&out, r.source);
    append_key(&out, "destination");
    append_string(&out, r.destination);
    append_key(&out, "outcome");
    append_string(&out, r.outcome);
    append_key(&out, "result");
    out += r.has_result ? std::to_string(r.result) : "null";
    append_key(&out, "progress");
    if (r.has_progress)
        append_string(&out, r.progress);
    else
        out += "null";
    append_key(&out, "seconds");
    char seconds[32];
    double s = std::isfinite(r.seconds) && r.seconds >= 0 ? r.seconds : 0;
    std::snprintf(seconds, sizeof seconds, "%.3f", s);
    out += seconds;
    append_key(&out, "bytes");
    out += r.has_bytes ? std::to_string(r.bytes) : "null";
    append_key(&out, "attempt");
    out += std::to_string(r.attempt);
    append_key(&out, "source_bytes");
    out += std::to_string(r.source_bytes);
    append_key(&out, "source_modified");
    append_string(&out, r.source_modified);
    out += "}\n";
    return out;
}

bool parse_record(const std::string &line, ReportRecord *out) {
    Reader rd{line};
    ReportRecord r;
    bool has_source = false, has_outcome = false, has_attempt = false;
    if (!rd.take('{')) return false;
    if (!rd.take('}')) {
        do {
            std::string key;
            Value v;
            if (!rd.string(&key) || !rd.take(':') || !rd.value(&v)) return false;
            long long n = 0;
            if (key == "source") {
                if (v.kind != Value::STRING) return false;
                r.source = v.text;
                has_source = true;
            } else if (key == "destination") {
                if (v.kind != Value::STRING) return false;
                r.destination = v.text;
            } else if (key == "outcome") {
                if (v.kind != Value::STRING) return false;
                r.outcome = v.text;
                has_outcome = true;
            } else if (key == "result") {
                if (v.kind == Value::NUMBER) {
                    if (!to_integer(v, INT32_MIN, INT32_MAX, &n)) return false;
                    r.has_result = true;
                    r.result = static_cast<int32_t>(n);
                } else if (v.kind != Value::NUL) {
                    return false;
                }
            } else if (key == "progress") {
                if (v.kind == Value::STRING) {
                    r.has_progress = true;
                    r.progress = v.text;
                } else if (v.kind != Value::NUL) {
                    return false;
                }
            } else if (key == "seconds") {
                if (v.kind != Value::NUMBER) return false;
                r.seconds = std::strtod(v.text.c_str(), nullptr);
            } else if (key == "bytes") {
                if (v.kind == Value::NUMBER) {
                    if (!to_integer(v, 0, INT64_MAX, &n)) return false;
                    r.has_bytes = true;
                    r.bytes = n;
                } else if (v.kind != Value::NUL) {
                    return false;
                }
            } else if (key == "attempt") {
                if (!to_integer(v, 1, 1000000000, &n)) return false;
                r.attempt = static_cast<int>(n);
                has_attempt = true;
            } else if (key == "source_bytes") {
                if (!to_integer(v, 0, INT64_MAX, &n)) return false;
                r.source_bytes = n;
            } else if (key == "source_modified") {
                if (v.kind != Value::STRING) return false;
                r.source_modified = v.text;
            }
            // Other keys: a later version's fields, kept out of the way.
        } while (rd.take(','));
        if (!rd.take('}')) return false;
    }
    rd.space();
    if (rd.i != line.size()) return false;
    if (!has_source || !has_outcome || !has_attempt || r.outcome.empty()) return false;
    *out = r;
    return true;
}

bool read_report(const std::string &content, std::map<std::string, LastRecord> *last, size_t *bad_line) {
    size_t start = 0, number = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        bool cut = end == std::string::npos;
        std::string line = content.substr(start, cut ? std::string::npos : end - start);
        ++number;
        start = cut ? content.size() : end + 1;
        bool blank = line.find_first_not_of(" \t\r") == std::string::npos;
        if (blank) continue;
        ReportRecord r;
        if (!parse_record(line, &r)) {
            if (cut) break;  // the line a kill cut off
            *bad_line = number;
            return false;
        }
        LastRecord &l = (*last)[r.source];
        l.outcome = r.outcome;
        if (r.attempt > l.attempt) l.attempt = r.attempt;
    }
    return true;
}
