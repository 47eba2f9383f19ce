#include "rtf_text.h"

#include <cstdlib>
#include <cstring>

namespace {

void appendUtf8(std::string &out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

unsigned long fromAnsi(unsigned char b) {
    static const unsigned short high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
        0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b;
}

bool skippedDestination(const std::string &w) {
    static const char *const names[] = {"fonttbl", "colortbl", "stylesheet", "info", "listtable",
                                        "listoverridetable", "pict", "fldinst", "object", "themedata",
                                        "xmlnstbl", "rsidtbl", "generator", "latentstyles", "filetbl"};
    for (const char *n : names)
        if (w == n) return true;
    return false;
}

// Destinations whose text is a block of its own, as a paragraph is.
bool blockDestination(const std::string &w) {
    static const char *const names[] = {"footnote", "header", "headerl", "headerr", "headerf",
                                        "footer", "footerl", "footerr", "footerf"};
    for (const char *n : names)
        if (w == n) return true;
    return false;
}

struct State {
    bool skip = false;
    bool block = false;
    int uc = 1;
};

}  // namespace

RtfText rtf_text(const std::string &rtf, RtfLabels labels) {
    RtfText r;
    std::vector<State> stack;
    State st;
    bool groupStart = false;  // the next control word is the first in its group
    int fallback = 0;         // fallback characters still to skip after \uN
    unsigned long highSurrogate = 0;
    bool started = rtf.compare(0, 5, "{\\rtf") == 0;
    bool closed = false;
    const size_t n = rtf.size();
    auto emit = [&](unsigned long cp) {
        if (fallback > 0) {
            --fallback;
            return;
        }
        if (!st.skip) appendUtf8(r.text, cp);
    };
    for (size_t i = 0; i < n;) {
        char c = rtf[i];
        if (c == '{') {
            if (closed) { started = false; break; }
            stack.push_back(st);
            st.block = false;
            groupStart = true;
            fallback = 0;
            ++i;
            continue;
        }
        if (c == '}') {
            if (stack.empty()) { started = false; break; }
            if (st.block && !st.skip) r.text += '\n';
            st = stack.back();
            stack.pop_back();
            if (stack.empty()) closed = true;
            groupStart = false;
            fallback = 0;
            ++i;
            continue;
        }
        bool first = groupStart;
        groupStart = false;
        if (c == '\r' || c == '\n') { ++i; continue; }
        if (c != '\\') {
            emit(static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        if (i + 1 >= n) break;
        char d = rtf[i + 1];
        if (!((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z'))) {
            // A control symbol.
            i += 2;
            if (d == '\'') {
                if (i + 2 > n) break;
                char hex[3] = {rtf[i], rtf[i + 1], 0};
                i += 2;
                emit(fromAnsi(static_cast<unsigned char>(std::strtoul(hex, nullptr, 16))));
            } else if (d == '*') {
                if (first) st.skip = true;
            } else if (d == '~') {
                emit(0xA0);
            } else if (d == '_') {
                emit(0x2011);
            } else if (d == '-') {
                if (fallback > 0) --fallback;
            } else if (d == '\\' || d == '{' || d == '}') {
                emit(static_cast<unsigned char>(d));
            } else if (d == '\n' || d == '\r') {
                if (fallback > 0) --fallback;
                else if (!st.skip) r.text += '\n';
            }
            continue;
        }
        size_t j = i + 1;
        while (j < n && ((rtf[j] >= 'a' && rtf[j] <= 'z') || (rtf[j] >= 'A' && rtf[j] <= 'Z'))) ++j;
        std::string word = rtf.substr(i + 1, j - i - 1);
        size_t k = j;
        if (k < n && rtf[k] == '-') ++k;
        while (k < n && rtf[k] >= '0' && rtf[k] <= '9') ++k;
        std::string param = rtf.substr(j, k - j);
        bool hasParam = !param.empty() && param != "-";
        long value = hasParam ? std::strtol(param.c_str(), nullptr, 10) : 0;
        if (k < n && rtf[k] == ' ') ++k;
        i = k;
        r.words.push_back(hasParam ? word + param : word);
        if (first && (skippedDestination(word) || (word == "listtext" && labels == RtfLabels::Skip))) st.skip = true;
        if (first && blockDestination(word)) st.block = true;
        if (word == "u" && hasParam) {
            unsigned long cp = static_cast<unsigned long>(value < 0 ? value + 65536 : value) & 0xFFFF;
            if (fallback > 0) fallback = 0;
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                highSurrogate = cp;
            } else {
                if (cp >= 0xDC00 && cp <= 0xDFFF && highSurrogate)
                    cp = 0x10000 + ((highSurrogate - 0xD800) << 10) + (cp - 0xDC00);
                highSurrogate = 0;
                emit(cp);
            }
            fallback = st.uc;
            continue;
        }
        if (word == "uc" && hasParam) { st.uc = static_cast<int>(value < 0 ? 0 : value); continue; }
        if (fallback > 0) { --fallback; continue; }
        if (st.skip) continue;
        if (word == "par" || word == "line" || word == "row" || word == "sect" || word == "nestrow") r.text += '\n';
        else if (word == "tab" || word == "cell" || word == "nestcell") r.text += '\t';
        else if (word == "emdash") appendUtf8(r.text, 0x2014);
        else if (word == "endash") appendUtf8(r.text, 0x2013);
        else if (word == "bullet") appendUtf8(r.text, 0x2022);
        else if (word == "lquote") appendUtf8(r.text, 0x2018);
        else if (word == "rquote") appendUtf8(r.text, 0x2019);
        else if (word == "ldblquote") appendUtf8(r.text, 0x201C);
        else if (word == "rdblquote") appendUtf8(r.text, 0x201D);
    }
    r.ok = started && closed && stack.empty();
    return r;
}

size_t rtf_count(const RtfText &rtf, const std::string &word) {
    size_t count = 0;
    for (const std::string &w : rtf.words)
        if (w == word) ++count;
    return count;
}
