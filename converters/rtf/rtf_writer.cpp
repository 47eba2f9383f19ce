#include "rtf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using librevenge::RVNGProperty;
using librevenge::RVNGPropertyList;
using librevenge::RVNGPropertyListVector;
using librevenge::RVNGString;

namespace {

// Twips are RTF's unit; values beyond a 22-inch page are damage, not layout.
const long kMaxTwips = 31680;
// List numbers past this are damage; RTF's own limit is 32767.
const int kMaxListNumber = 32767;

int listNumber(int n) { return n < 1 ? 1 : (n > kMaxListNumber ? kMaxListNumber : n); }

long clampTwips(double twips) {
    if (!std::isfinite(twips)) return 0;
    if (twips > kMaxTwips) return kMaxTwips;
    if (twips < -kMaxTwips) return -kMaxTwips;
    return std::lround(twips);
}

// A length property in twips, whatever unit it came in ("0.5in" strings too).
bool twipsOf(const RVNGProperty *p, long &out) {
    if (!p) return false;
    double v;
    switch (p->getUnit()) {
    case librevenge::RVNG_INCH:
    case librevenge::RVNG_GENERIC: v = p->getDouble() * 1440.0; break;
    case librevenge::RVNG_POINT: v = p->getDouble() * 20.0; break;
    case librevenge::RVNG_TWIP: v = p->getDouble(); break;
    case librevenge::RVNG_PERCENT: return false;
    default: {
        RVNGString s = p->getStr();
        const char *str = s.cstr();
        char *end = nullptr;
        v = std::strtod(str, &end);
        if (end == str) return false;
        while (*end == ' ') ++end;
        if (!std::strncmp(end, "pt", 2)) v *= 20.0;
        else if (!std::strncmp(end, "cm", 2)) v *= 1440.0 / 2.54;
        else if (!std::strncmp(end, "mm", 2)) v *= 144.0 / 2.54;
        else if (!std::strncmp(end, "tw", 2)) {
        } else v *= 1440.0;  // inches, librevenge's default
    }
    }
    out = clampTwips(v);
    return true;
}

bool isStr(const RVNGProperty *p, const char *value) {
    return p && p->getStr() == value;
}

bool parseColour(const char *s, unsigned long &rgb) {
    if (!s || s[0] != '#' || std::strlen(s) != 7) return false;
    char *end = nullptr;
    unsigned long v = std::strtoul(s + 1, &end, 16);
    if (*end) return false;
    rgb = v;
    return true;
}

// Decodes one UTF-8 sequence; invalid bytes give U+FFFD, one byte at a time.
unsigned long nextCodePoint(const unsigned char *&p, const unsigned char *end) {
    unsigned char c = *p++;
    if (c < 0x80) return c;
    int extra;
    unsigned long cp;
    if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
    else return 0xFFFD;
    const unsigned char *q = p;
    for (int i = 0; i < extra; ++i) {
        if (q == end || (*q & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (*q++ & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    p = q;
    return cp;
}

// Code page 1252 byte for a code point, or 0 where it has none.
unsigned char ansiByte(unsigned long cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    static const unsigned short high[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (high[i] && high[i] == cp) return static_cast<unsigned char>(0x80 + i);
    return 0;
}

// Appends one code point as RTF text: ASCII as is (RTF's own characters
// escaped), the rest as \uN with its code page 1252 byte, or '?', for
// readers without Unicode (\uc1 throughout).
void appendCodePoint(std::string &out, unsigned long cp) {
    char buf[32];
    if (cp == '\\' || cp == '{' || cp == '}') {
        out += '\\';
        out += static_cast<char>(cp);
    } else if (cp >= 0x20 && cp < 0x7F) {
        out += static_cast<char>(cp);
    } else if (cp == '\t') {
        out += "\\tab ";
    } else if (cp == '\n' || cp == '\r' || cp == 0x2028) {
        out += "\\line ";
    } else if (cp < 0x20 || cp == 0x7F) {
        // Control characters have no meaning in a document's text.
    } else if (cp > 0xFFFF) {
        // Outside the 16-bit range RTF's \u takes: a UTF-16 surrogate pair.
        unsigned long v = cp - 0x10000;
        int hi = static_cast<int>(0xD800 + (v >> 10)) - 65536;
        int lo = static_cast<int>(0xDC00 + (v & 0x3FF)) - 65536;
        std::snprintf(buf, sizeof buf, "\\u%d?\\u%d?", hi, lo);
        out += buf;
    } else {
        int n = cp > 32767 ? static_cast<int>(cp) - 65536 : static_cast<int>(cp);
        unsigned char b = ansiByte(cp);
        if (b) std::snprintf(buf, sizeof buf, "\\u%d\\'%02x", n, b);
        else std::snprintf(buf, sizeof buf, "\\u%d?", n);
        out += buf;
    }
}

void appendEscaped(std::string &out, const char *utf8) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(utf8);
    const unsigned char *end = p + std::strlen(utf8);
    while (p < end) appendCodePoint(out, nextCodePoint(p, end));
}

size_t codePoints(const std::string &utf8) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const unsigned char *end = p + utf8.size();
    size_t n = 0;
    while (p < end) { nextCodePoint(p, end); ++n; }
    return n;
}

// "\\word" and a number: written by hand, the writer's most frequent
// formatting (snprintf cost a tenth of the writer's time).
void appendNumber(std::string &out, const char *word, long value) {
    out += '\\';
    out += word;
    char digits[24];
    int n = 0;
    unsigned long v = value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    if (value < 0) out += '-';
    while (n) out += digits[--n];
}

// The properties of one list the writer reads, found in one pass: a lookup
// by name builds a std::string key in librevenge (an allocation for most of
// these names), and spans and paragraphs are the writer's hottest calls.
template <size_t N>
struct Found {
    const RVNGProperty *p[N] = {};
    const RVNGPropertyListVector *tabs = nullptr;
    Found(const RVNGPropertyList &list, const char *const (&names)[N]) {
        RVNGPropertyList::Iter i(list);
        for (i.rewind(); i.next();) {
            const char *key = i.key();
            if (const RVNGPropertyListVector *child = i.child()) {
                if (!std::strcmp(key, "style:tab-stops") || (!tabs && !std::strcmp(key, "librevenge:tab-stops")))
                    tabs = child;
                continue;
            }
            for (size_t n = 0; n < N; ++n)
                if (!std::strcmp(key, names[n])) {
                    p[n] = i();
                    break;
                }
        }
    }
};

// The font family RTF readers fall back on when a document's font (often a
// printer font of its day, "CG Times (Scalable)") is not installed.
const char *fontFamily(const std::string &name) {
    std::string n;
    for (char c : name) n += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static const struct { const char *part; const char *family; } families[] = {
        {"symbol", "\\ftech"}, {"dingbat", "\\ftech"}, {"wingding", "\\ftech"},
        {"courier", "\\fmodern\\fprq1"}, {"mono", "\\fmodern\\fprq1"}, {"letter gothic", "\\fmodern\\fprq1"},
        {"prestige", "\\fmodern\\fprq1"}, {"pica", "\\fmodern\\fprq1"}, {"elite", "\\fmodern\\fprq1"},
        {"arial", "\\fswiss"}, {"helvetica", "\\fswiss"}, {"univers", "\\fswiss"}, {"swiss", "\\fswiss"},
        {"sans", "\\fswiss"}, {"gothic", "\\fswiss"}, {"verdana", "\\fswiss"}, {"tahoma", "\\fswiss"},
        {"times", "\\froman"}, {"roman", "\\froman"}, {"serif", "\\froman"}, {"garamond", "\\froman"},
        {"schoolbook", "\\froman"}, {"bookman", "\\froman"}, {"palatino", "\\froman"}, {"georgia", "\\froman"},
        {"dutch", "\\froman"}, {"cg times", "\\froman"}};
    for (const auto &f : families)
        if (n.find(f.part) != std::string::npos) return f.family;
    return "\\fnil";
}

// librevenge's style:num-format to RTF's \levelnfc.
int numberFormat(const RVNGProperty *p) {
    if (!p) return 0;
    RVNGString s = p->getStr();
    if (s == "I") return 1;
    if (s == "i") return 2;
    if (s == "A") return 3;
    if (s == "a") return 4;
    return 0;
}

std::string formatNumber(int n, int format) {
    std::string out;
    if (n < 0) n = 0;
    if ((format == 1 || format == 2) && n > 0 && n < 4000) {
        static const char *const units[] = {"", "i", "ii", "iii", "iv", "v", "vi", "vii", "viii", "ix"};
        static const char *const tens[] = {"", "x", "xx", "xxx", "xl", "l", "lx", "lxx", "lxxx", "xc"};
        static const char *const hundreds[] = {"", "c", "cc", "ccc", "cd", "d", "dc", "dcc", "dccc", "cm"};
        out.append(static_cast<size_t>(n / 1000), 'm');
        out += hundreds[(n / 100) % 10];
        out += tens[(n / 10) % 10];
        out += units[n % 10];
        if (format == 1)
            for (char &c : out) c = static_cast<char>(c - 'a' + 'A');
    } else if ((format == 3 || format == 4) && n > 0 && n <= 26 * 10) {
        // a..z, then aa..zz and so on, as word processors count letters.
        char letter = static_cast<char>((format == 3 ? 'A' : 'a') + (n - 1) % 26);
        out.append(static_cast<size_t>((n - 1) / 26 + 1), letter);
    } else {
        out = std::to_string(n);
    }
    return out;
}

}  // namespace

RtfWriter::RtfWriter() {
    fonts_.push_back("Times New Roman");  // \f0, the reader's default font
    stories_.push_back(Story());
    body_.reserve(4096);
}

RtfWriter::~RtfWriter() = default;

std::string &RtfWriter::body() { return body_; }

const char *RtfWriter::tail() { return "}"; }

std::string RtfWriter::head() const {
    std::string h = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\\deftab720";
    h += "{\\fonttbl";
    for (size_t i = 0; i < fonts_.size(); ++i) {
        h += '{';
        appendNumber(h, "f", static_cast<long>(i));
        h += fontFamily(fonts_[i]);
        h += "\\fcharset0 ";
        appendEscaped(h, fonts_[i].c_str());
        h += ";}";
    }
    h += "}{\\colortbl;";
    for (unsigned long c : colours_) {
        appendNumber(h, "red", static_cast<long>((c >> 16) & 0xFF));
        appendNumber(h, "green", static_cast<long>((c >> 8) & 0xFF));
        appendNumber(h, "blue", static_cast<long>(c & 0xFF));
        h += ';';
    }
    h += '}';
    if (!lists_.empty()) {
        h += "{\\*\\listtable";
        for (size_t i = 0; i < lists_.size(); ++i) {
            h += "{\\list\\listtemplateid";
            h += std::to_string(i + 1);
            for (int l = 0; l < 9; ++l) {
                const ListLevel &lv = lists_[i].levels[l];
                h += "{\\listlevel";
                long li = lv.defined ? lv.indent + lv.labelWidth : 360L * (l + 1);
                long fi = lv.defined ? lv.labelWidth : 360;
                if (lv.defined && !lv.ordered) {
                    h += "\\levelnfc23\\levelnfcn23\\leveljc0\\levelfollow0\\levelstartat1{\\leveltext\\'01";
                    appendEscaped(h, lv.bullet.empty() ? "\xE2\x80\xA2" : lv.bullet.substr(0, 4).c_str());
                    h += ";}{\\levelnumbers;}";
                } else {
                    int format = lv.defined ? lv.format : 0;
                    appendNumber(h, "levelnfc", format);
                    appendNumber(h, "levelnfcn", format);
                    h += "\\leveljc0\\levelfollow0";
                    appendNumber(h, "levelstartat", lv.defined ? lv.start : 1);
                    std::string prefix = lv.defined ? lv.prefix : std::string();
                    std::string suffix = lv.defined ? lv.suffix : std::string(".");
                    size_t pl = codePoints(prefix), sl = codePoints(suffix);
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "\\'%02x", static_cast<unsigned>((pl + 1 + sl) & 0xFF));
                    h += "{\\leveltext";
                    h += buf;
                    appendEscaped(h, prefix.c_str());
                    std::snprintf(buf, sizeof buf, "\\'%02x", l);
                    h += buf;
                    appendEscaped(h, suffix.c_str());
                    std::snprintf(buf, sizeof buf, "\\'%02x", static_cast<unsigned>((pl + 1) & 0xFF));
                    h += ";}{\\levelnumbers";
                    h += buf;
                    h += ";}";
                }
                appendNumber(h, "fi", -fi);
                appendNumber(h, "li", li);
                appendNumber(h, "lin", li);
                h += '}';
            }
            h += "\\listid";
            h += std::to_string(i + 1);
            h += '}';
        }
        h += "}{\\*\\listoverridetable";
        for (size_t i = 0; i < lists_.size(); ++i) {
            h += "{\\listoverride\\listid";
            h += std::to_string(i + 1);
            h += "\\listoverridecount0\\ls";
            h += std::to_string(i + 1);
            h += '}';
        }
        h += '}';
    }
    if (!info_.empty()) {
        h += "{\\info";
        for (const auto &entry : info_) {
            h += '{';
            h += entry.first;
            if (entry.first == "\\creatim" || entry.first == "\\revtim") {
                h += entry.second;  // already control words
            } else {
                h += ' ';
                appendEscaped(h, entry.second.c_str());
            }
            h += '}';
        }
        h += '}';
    }
    h += paperControls_;
    if (facingPages_) h += "\\facingp";
    // Endnotes go with \ftnalt notes, gathered at the end of the document.
    if (endnotes_) h += footnotes_ ? "\\fet2\\aenddoc" : "\\fet1\\aenddoc";
    h += '\n';
    return h;
}

// ---------------------------------------------------------------- writing

void RtfWriter::control(const char *word) {
    body_ += word;
    delimit_ = true;
}

void RtfWriter::control(const char *word, long value) {
    appendNumber(body_, word[0] == '\\' ? word + 1 : word, value);
    delimit_ = true;
}

void RtfWriter::text(const char *utf8, size_t size) {
    if (!size) return;
    if (delimit_) {
        body_ += ' ';
        delimit_ = false;
    }
    const unsigned char *p = reinterpret_cast<const unsigned char *>(utf8);
    const unsigned char *end = p + size;
    while (p < end) {
        const unsigned char *run = p;
        while (p < end && *p >= 0x20 && *p < 0x7F && *p != '\\' && *p != '{' && *p != '}') ++p;
        body_.append(reinterpret_cast<const char *>(run), static_cast<size_t>(p - run));
        if (p < end) appendCodePoint(body_, nextCodePoint(p, end));
    }
    // Every escape ends complete (a space, a fallback character or a
    // control symbol): what follows needs no delimiter.
}

RtfWriter::Story &RtfWriter::story() { return stories_.back(); }

int RtfWriter::fontIndex(const char *name) {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i] == name) return static_cast<int>(i);
    fonts_.push_back(name);
    return static_cast<int>(fonts_.size() - 1);
}

int RtfWriter::colourIndex(const RVNGProperty *colour) {
    unsigned long rgb;
    if (!colour) return -1;
    RVNGString s = colour->getStr();
    if (!parseColour(s.cstr(), rgb)) return -1;
    for (size_t i = 0; i < colours_.size(); ++i)
        if (colours_[i] == rgb) return static_cast<int>(i + 1);
    colours_.push_back(rgb);
    return static_cast<int>(colours_.size());
}

RVNGPropertyList RtfWriter::resolveStyle(const std::map<int, RVNGPropertyList> &styles, const char *idKey,
                                         const RVNGPropertyList &props) const {
    const RVNGProperty *id = props[idKey];
    if (!id) return props;
    auto it = styles.find(id->getInt());
    if (it == styles.end()) return props;
    RVNGPropertyList merged(it->second);
    RVNGPropertyList::Iter i(props);
    for (i.rewind(); i.next();) {
        if (i.child()) merged.insert(i.key(), *i.child());
        else if (i()) merged.insert(i.key(), i()->clone());
    }
    return merged;
}

// ---------------------------------------------------------------- stories and paragraphs

void RtfWriter::pushStory(StoryKind kind, int depth, const char *mark) {
    Story s;
    s.kind = kind;
    s.depth = depth;
    s.mark = mark;
    stories_.push_back(s);
}

void RtfWriter::closeSpanGroup(Story &s) {
    if (s.spanOpen) {
        body_ += '}';
        delimit_ = false;
        s.spanOpen = false;
    }
}

// Opens the span's group again, with its formatting, after a field, a link
// or a note that had to close it.
void RtfWriter::reopenSpanGroup(Story &s) {
    body_ += '{';
    delimit_ = false;
    if (!s.spanControls.empty()) control(s.spanControls.c_str());
    s.spanOpen = true;
}

// Ends the innermost story: what is open in it is closed, and the last
// paragraph is ended as the story's kind wants (its group's end, a \cell...).
void RtfWriter::endStory() {
    if (stories_.size() <= 1) return;
    Story &s = story();
    closeSpanGroup(s);
    for (; s.links > 0; --s.links) {
        body_ += "}}}";
        delimit_ = false;
    }
    if (s.mark) {
        // A note or comment without paragraphs still shows its mark.
        body_ += s.mark;
        s.mark = nullptr;
    }
    if (s.kind == StoryKind::TextBox && (s.parOpen || s.parPending)) paragraphEnd(s);
    stories_.pop_back();
}

// \par, in the formatting of the paragraph's last span: the paragraph mark
// carries it, so an empty line is as high as the document's text.
void RtfWriter::paragraphEnd(const Story &s) {
    if (s.spanControls.empty()) {
        control("\\par");
        return;
    }
    body_ += '{';
    control(s.spanControls.c_str());
    control("\\par");
    body_ += '}';
    delimit_ = false;
}

void RtfWriter::paragraphPrefix(const Story &s) {
    control("\\pard\\plain");
    if (s.depth > 0) control("\\intbl");
    if (s.depth > 1) control("\\itap", s.depth);
}

void RtfWriter::endParagraph() {
    Story &s = story();
    if (!s.parOpen) return;
    closeSpanGroup(s);
    s.parOpen = false;
    s.parPending = true;
}

// Writes the deferred end of the previous paragraph: a story's last
// paragraph must not end in \par, or readers show an empty one after it.
void RtfWriter::startParagraph(const RVNGPropertyList &props, const OpenLevel *list) {
    Story &s = story();
    if (s.parOpen) endParagraph();
    if (s.parPending) paragraphEnd(s);
    s.parPending = false;
    s.parOpen = true;
    s.hasContent = false;
    s.spanControls.clear();
    // A page break before the first paragraph of a page span would give an
    // empty page: the span's section already starts one.
    freshPage_ = s.kind == StoryKind::Body && s.depth == 0 && pageStart_;
    if (s.kind == StoryKind::Body && s.depth == 0) beginSectionContent();
    paragraphPrefix(s);
    long left = 0;
    if (list) {
        const List &l = lists_[static_cast<size_t>(list->list)];
        const ListLevel &lv = l.levels[list->level];
        control("\\ls", list->list + 1);
        control("\\ilvl", list->level);
        control("\\fi", -lv.labelWidth);
        control("\\li", lv.indent + lv.labelWidth);
    }
    bool columnBreak = false;
    paragraphControls(props, &left, &columnBreak);
    if (pageBreakDue_) {
        control("\\pagebb");
        pageBreakDue_ = false;
    }
    if (s.mark) {
        body_ += "{\\super";
        body_ += s.mark;
        body_ += "}";
        delimit_ = false;
        s.mark = nullptr;
    }
    if (columnBreak && s.kind == StoryKind::Body && s.depth == 0) control("\\column");
    if (list) {
        // The label as text too, for readers without lists (RTF's own way).
        List &l = lists_[static_cast<size_t>(list->list)];
        int &counter = l.counters[list->level];
        counter = counter < 0 ? l.levels[list->level].start : (counter < kMaxListNumber ? counter + 1 : counter);
        for (int k = list->level + 1; k < 9; ++k) l.counters[k] = -1;
        body_ += "{\\listtext\\pard\\plain ";
        delimit_ = false;
        std::string label = listLabel(l, list->level);
        text(label.data(), label.size());
        body_ += "\\tab}";
        delimit_ = false;
    }
}

void RtfWriter::ensureParagraph() {
    if (!story().parOpen) startParagraph(RVNGPropertyList(), nullptr);
}

// A paragraph that something visible goes into.
void RtfWriter::contentParagraph() {
    ensureParagraph();
    story().hasContent = true;
}

void RtfWriter::paragraphControls(const RVNGPropertyList &props, long *leftOut, bool *columnBreak) {
    enum { Align, AlignLast, Left, Right, Indent, Top, Bottom, LineHeight, KeepTogether, KeepNext, Outline,
           Break, Background };
    static const char *const names[] = {
        "fo:text-align", "fo:text-align-last", "fo:margin-left", "fo:margin-right", "fo:text-indent",
        "fo:margin-top", "fo:margin-bottom", "fo:line-height", "fo:keep-together", "fo:keep-with-next",
        "text:outline-level", "fo:break-before", "fo:background-color"};
    Found<sizeof names / sizeof names[0]> f(props, names);
    const Story &s = story();
    const RVNGProperty *p;
    if ((p = f.p[Align])) {
        RVNGString a = p->getStr();
        if (a == "center") control("\\qc");
        else if (a == "end" || a == "right") control("\\qr");
        else if (a == "justify") control(isStr(f.p[AlignLast], "justify") ? "\\qd" : "\\qj");
        else control("\\ql");
    }
    long v;
    long left = 0;
    if (twipsOf(f.p[Left], v)) {
        left = v;
        control("\\li", v);
        control("\\lin", v);
    }
    if (twipsOf(f.p[Right], v)) {
        control("\\ri", v);
        control("\\rin", v);
    }
    if (twipsOf(f.p[Indent], v)) control("\\fi", v);
    if (twipsOf(f.p[Top], v)) control("\\sb", v);
    if (twipsOf(f.p[Bottom], v)) control("\\sa", v);
    if ((p = f.p[LineHeight])) {
        if (p->getUnit() == librevenge::RVNG_PERCENT) {
            double m = p->getDouble();
            if (std::isfinite(m) && m > 0 && m < 100 && std::fabs(m - 1.0) > 1e-6) {
                control("\\sl", std::lround(240.0 * m));
                control("\\slmult1");
            }
        } else if (twipsOf(p, v) && v > 0) {
            control("\\sl", -v);  // negative: exactly this height
            control("\\slmult0");
        }
    }
    if (isStr(f.p[KeepTogether], "always")) control("\\keep");
    if (isStr(f.p[KeepNext], "always")) control("\\keepn");
    if ((p = f.p[Outline]) && p->getInt() >= 1 && p->getInt() <= 9)
        control("\\outlinelevel", p->getInt() - 1);
    if (columnBreak) *columnBreak = isStr(f.p[Break], "column");
    if (isStr(f.p[Break], "page")) {
        // Page breaks belong to the body's own flow; RTF ignores them in
        // cells, headers and notes, so none is written there.
        if (s.kind == StoryKind::Body && s.depth == 0 && !freshPage_) control("\\pagebb");
    }
    int c;
    if ((c = colourIndex(f.p[Background])) > 0) control("\\cbpat", c);
    // Tab stops: RTF measures them from the margin, librevenge from the
    // paragraph's own indent.
    const RVNGPropertyListVector *tabs = f.tabs;
    if (tabs) {
        std::vector<std::pair<long, std::string>> stops;
        for (unsigned long i = 0; i < tabs->count(); ++i) {
            const RVNGPropertyList &t = (*tabs)[i];
            long pos;
            if (!twipsOf(t["style:position"], pos)) continue;
            pos += left;
            if (pos <= 0) continue;
            std::string ctl;
            const RVNGProperty *type = t["style:type"];
            if (isStr(type, "right")) ctl += "\\tqr";
            else if (isStr(type, "center")) ctl += "\\tqc";
            else if (isStr(type, "char")) ctl += "\\tqdec";  // RTF aligns on the decimal point only
            if (const RVNGProperty *leader = t["style:leader-text"]) {
                RVNGString l = leader->getStr();
                if (l == "-") ctl += "\\tlhyph";
                else if (l == "_") ctl += "\\tlul";
                else if (l == "=") ctl += "\\tleq";
                else if (l == "\xC2\xB7") ctl += "\\tlmdot";
                else if (l != " " && !l.empty()) ctl += "\\tldot";  // nearest to any other leader
            }
            appendNumber(ctl, "tx", pos);
            stops.emplace_back(pos, ctl);
        }
        std::sort(stops.begin(), stops.end());
        for (const auto &stop : stops) control(stop.second.c_str());
    }
    if (leftOut) *leftOut = left;
}

// ---------------------------------------------------------------- document

void RtfWriter::setDocumentMetaData(const RVNGPropertyList &propList) {
    static const struct { const char *key; const char *dest; } map[] = {
        {"dc:title", "\\title"}, {"librevenge:descriptive-name", "\\title"},
        {"dc:subject", "\\subject"}, {"meta:initial-creator", "\\author"},
        {"dc:creator", "\\operator"}, {"meta:keyword", "\\keywords"},
        {"dc:description", "\\doccomm"}, {"librevenge:abstract", "\\doccomm"},
        {"librevenge:comments", "\\doccomm"}, {"dc:type", "\\category"},
        {"dc:publisher", "\\company"}};
    for (const auto &m : map) {
        const RVNGProperty *p = propList[m.key];
        if (!p || info_.count(m.dest)) continue;
        RVNGString s = p->getStr();
        if (!s.empty()) info_[m.dest] = s.cstr();
    }
    if (!info_.count("\\author") && info_.count("\\operator")) info_["\\author"] = info_["\\operator"];
    static const struct { const char *key; const char *dest; } dates[] = {
        {"meta:creation-date", "\\creatim"}, {"dc:date", "\\revtim"}, {"dcterms:issued", "\\revtim"}};
    for (const auto &d : dates) {
        const RVNGProperty *p = propList[d.key];
        if (!p || info_.count(d.dest)) continue;
        int y, mo, dy, hr = 0, mi = 0;
        RVNGString s = p->getStr();
        if (std::sscanf(s.cstr(), "%d-%d-%dT%d:%d", &y, &mo, &dy, &hr, &mi) >= 3 && y > 0 && y < 10000 &&
            mo >= 1 && mo <= 12 && dy >= 1 && dy <= 31 && hr >= 0 && hr < 24 && mi >= 0 && mi < 60) {
            char buf[80];
            std::snprintf(buf, sizeof buf, "\\yr%d\\mo%d\\dy%d\\hr%d\\min%d", y, mo, dy, hr, mi);
            info_[d.dest] = buf;
        }
    }
    // RTF's \company is an ignorable destination of its own.
    auto company = info_.find("\\company");
    if (company != info_.end()) {
        std::string value = company->second;
        info_.erase(company);
        info_["\\*\\company"] = value;
    }
}

void RtfWriter::startDocument(const RVNGPropertyList &) {}

void RtfWriter::endDocument() {
    if (ended_) return;
    while (!tables_.empty()) closeTable();
    while (stories_.size() > 1) {
        StoryKind k = story().kind;
        if (k == StoryKind::HeaderFooter || k == StoryKind::Note || k == StoryKind::Comment) {
            endStory();
            body_ += '}';
        } else {
            endStory();
        }
    }
    finishHeaders();
    Story &s = story();
    closeSpanGroup(s);
    for (; s.links > 0; --s.links) {
        body_ += "}}}";
        delimit_ = false;
    }
    if (s.parOpen || s.parPending) paragraphEnd(s);
    s.parOpen = s.parPending = false;
    body_ += '\n';
    delimit_ = false;
    ended_ = true;
}

void RtfWriter::definePageStyle(const RVNGPropertyList &) {}
void RtfWriter::defineEmbeddedFont(const RVNGPropertyList &) {}  // RTF readers use installed fonts by name
void RtfWriter::defineSectionStyle(const RVNGPropertyList &) {}
void RtfWriter::defineGraphicStyle(const RVNGPropertyList &) {}

void RtfWriter::defineParagraphStyle(const RVNGPropertyList &propList) {
    if (const RVNGProperty *id = propList["librevenge:paragraph-id"]) paragraphStyles_[id->getInt()] = propList;
}

void RtfWriter::defineCharacterStyle(const RVNGPropertyList &propList) {
    if (const RVNGProperty *id = propList["librevenge:span-id"]) spanStyles_[id->getInt()] = propList;
}

void RtfWriter::openPageSpan(const RVNGPropertyList &propList) {
    if (stories_.size() != 1 || !tables_.empty()) return;  // only the body's flow has pages
    long w = 12240, h = 15840, l = 1440, r = 1440, t = 1440, b = 1440, v;
    if (twipsOf(propList["fo:page-width"], v) && v > 0) w = v;
    if (twipsOf(propList["fo:page-height"], v) && v > 0) h = v;
    if (twipsOf(propList["fo:margin-left"], v)) l = v;
    if (twipsOf(propList["fo:margin-right"], v)) r = v;
    if (twipsOf(propList["fo:margin-top"], v)) t = v;
    if (twipsOf(propList["fo:margin-bottom"], v)) b = v;
    bool landscape = isStr(propList["style:print-orientation"], "landscape");
    pageControls_.clear();
    appendNumber(pageControls_, "pgwsxn", w);
    appendNumber(pageControls_, "pghsxn", h);
    appendNumber(pageControls_, "marglsxn", l);
    appendNumber(pageControls_, "margrsxn", r);
    appendNumber(pageControls_, "margtsxn", t);
    appendNumber(pageControls_, "margbsxn", b);
    if (landscape) pageControls_ += "\\lndscpsxn";
    finishHeaders();
    Story &s = story();
    closeSpanGroup(s);
    if (!pageSpanSeen_) {
        paperControls_.clear();
        appendNumber(paperControls_, "paperw", w);
        appendNumber(paperControls_, "paperh", h);
        appendNumber(paperControls_, "margl", l);
        appendNumber(paperControls_, "margr", r);
        appendNumber(paperControls_, "margt", t);
        appendNumber(paperControls_, "margb", b);
        if (landscape) paperControls_ += "\\landscape";
        control("\\sectd");
    } else {
        // \sect ends the last paragraph too.
        control("\\sect\\sectd\\sbkpage");
        s.parOpen = s.parPending = false;
    }
    control(pageControls_.c_str());
    if (!columnControls_.empty()) control(columnControls_.c_str());
    pageSpanSeen_ = true;
    sectionHasContent_ = false;
    pageStart_ = true;
}

void RtfWriter::closePageSpan() {}

void RtfWriter::beginSectionContent() {
    if (!sectionHasContent_) finishHeaders();
    sectionHasContent_ = true;
    pageStart_ = false;
}

void RtfWriter::openSection(const RVNGPropertyList &propList) {
    if (stories_.size() != 1 || !tables_.empty()) return;
    const RVNGPropertyListVector *cols = propList.child("style:columns");
    int n = cols && cols->count() > 1 ? static_cast<int>(cols->count() > 63 ? 63 : cols->count()) : 1;
    if (n == columns_) return;
    Story &s = story();
    if (sectionHasContent_) {
        // Columns change only at a section break in RTF: one that does not
        // start a page, with this page span's setup repeated.
        closeSpanGroup(s);
        control("\\sect\\sectd\\sbknone");
        control(pageControls_.c_str());
        s.parOpen = s.parPending = false;
        sectionHasContent_ = false;
    }
    columns_ = n;
    columnControls_.clear();
    appendNumber(columnControls_, "cols", n);
    long gutter = 0, v;
    if (cols && n > 1) {
        // RTF has one space between all columns: the average of the gutters.
        long sum = 0;
        for (unsigned long i = 0; i < cols->count(); ++i) {
            const RVNGPropertyList &c = (*cols)[i];
            if (twipsOf(c["fo:start-indent"], v)) sum += v;
            if (twipsOf(c["fo:end-indent"], v)) sum += v;
        }
        gutter = sum / (n - 1);
        if (gutter < 0) gutter = 0;
        appendNumber(columnControls_, "colsx", gutter);
    }
    control(columnControls_.c_str());
    // A section's own left and right indents have no RTF form; paragraphs
    // carry their indents themselves.
}

void RtfWriter::closeSection() {}

void RtfWriter::openHeaderFooter(const RVNGPropertyList &propList, int kind) {
    const char *name = kind == 0 ? "header" : "footer";
    const RVNGProperty *occ = propList["librevenge:occurrence"];
    const char *side = "";
    HeaderSlot &slot = headerSlots_[kind];
    if (isStr(occ, "odd")) {
        side = "r";
        slot.odd = facingPages_ = true;
    } else if (isStr(occ, "even")) {
        side = "l";
        slot.even = facingPages_ = true;
    } else if (isStr(occ, "first")) {
        side = "f";
        control("\\titlepg");
    }
    // "last" has no RTF form: such a header shows on every page.
    closeSpanGroup(story());
    bool all = !*side && stories_.size() == 1;
    if (all) slot.allStart = body_.size();
    body_ += "{\\";
    body_ += name;
    control(side);
    pushStory(StoryKind::HeaderFooter, 0, nullptr);
    story().allPages = all;
    story().links = 0;
    openHeaderKind_ = kind;
}

void RtfWriter::closeHeaderFooter() {
    if (story().kind != StoryKind::HeaderFooter) return;
    bool all = story().allPages;
    endStory();
    body_ += '}';
    delimit_ = false;
    if (all && openHeaderKind_ >= 0) headerSlots_[openHeaderKind_].allEnd = body_.size();
}

// With facing pages, RTF readers take a header for all pages as the one for
// right-hand pages only. Once a page span's headers are all written (they
// come first), one for all pages becomes the other side's where the span has
// an odd or even one, and both sides where it has neither. The headers are
// the last thing written, so only they move. (A document whose odd and even
// headers begin only in a later page span keeps the earlier ones as written.)
void RtfWriter::finishHeaders() {
    int order[2] = {0, 1};
    if (headerSlots_[1].allStart > headerSlots_[0].allStart) std::swap(order[0], order[1]);
    for (int kind : order) {
        HeaderSlot &slot = headerSlots_[kind];
        if (slot.allStart != std::string::npos && slot.allEnd != std::string::npos && slot.allEnd > slot.allStart &&
            slot.allEnd <= body_.size()) {
            size_t at = slot.allStart + 8;  // after "{\header" or "{\footer"
            if (slot.even && !slot.odd) {
                body_.insert(at, 1, 'r');
            } else if (slot.odd && !slot.even) {
                body_.insert(at, 1, 'l');
            } else if (!slot.odd && !slot.even && facingPages_) {
                std::string left = body_.substr(slot.allStart, slot.allEnd - slot.allStart);
                left.insert(8, 1, 'l');
                body_.insert(at, 1, 'r');
                body_.insert(slot.allEnd + 1, left);
            }
            // Odd and even both: the one for all pages shows on none, as
            // in the document.
        }
        slot = HeaderSlot();
    }
}

void RtfWriter::openHeader(const RVNGPropertyList &propList) { openHeaderFooter(propList, 0); }
void RtfWriter::closeHeader() { closeHeaderFooter(); }
void RtfWriter::openFooter(const RVNGPropertyList &propList) { openHeaderFooter(propList, 1); }
void RtfWriter::closeFooter() { closeHeaderFooter(); }

void RtfWriter::openParagraph(const RVNGPropertyList &propList) {
    if (!paragraphStyles_.empty())
        startParagraph(resolveStyle(paragraphStyles_, "librevenge:paragraph-id", propList), nullptr);
    else
        startParagraph(propList, nullptr);
}

void RtfWriter::closeParagraph() { endParagraph(); }

// ---------------------------------------------------------------- character formatting

void RtfWriter::spanControls(const RVNGPropertyList &props, std::string &out) {
    enum { FontName, FoFontName, Size, Weight, Style, UnderType, UnderStyle, StrikeType, StrikeStyle, Variant,
           Transform, Outline, Shadow, Display, FoDisplay, Position, Colour, Background };
    static const char *const names[] = {
        "style:font-name", "fo:font-name", "fo:font-size", "fo:font-weight", "fo:font-style",
        "style:text-underline-type", "style:text-underline-style", "style:text-line-through-type",
        "style:text-line-through-style", "fo:font-variant", "fo:text-transform", "style:text-outline",
        "fo:text-shadow", "text:display", "fo:display", "style:text-position", "fo:color", "fo:background-color"};
    Found<sizeof names / sizeof names[0]> f(props, names);
    const RVNGProperty *p;
    if ((p = f.p[FontName]) || (p = f.p[FoFontName])) {
        RVNGString name = p->getStr();
        if (!name.empty()) appendNumber(out, "f", fontIndex(name.cstr()));
    }
    if ((p = f.p[Size])) {
        double pt = p->getDouble();
        if (p->getUnit() == librevenge::RVNG_INCH) pt *= 72.0;
        else if (p->getUnit() == librevenge::RVNG_TWIP) pt /= 20.0;
        if (p->getUnit() != librevenge::RVNG_PERCENT && std::isfinite(pt) && pt > 0 && pt < 1638)
            appendNumber(out, "fs", std::lround(pt * 2.0));
    }
    if ((p = f.p[Weight])) {
        RVNGString w = p->getStr();
        if (w == "bold" || std::atoi(w.cstr()) >= 600) out += "\\b";
    }
    if ((p = f.p[Style])) {
        RVNGString st = p->getStr();
        if (st == "italic" || st == "oblique") out += "\\i";
    }
    const RVNGProperty *ut = f.p[UnderType], *us = f.p[UnderStyle];
    if (ut ? !isStr(ut, "none") : (us && !isStr(us, "none"))) {
        if (isStr(ut, "double")) out += "\\uldb";
        else if (isStr(us, "dotted")) out += "\\uld";
        else if (isStr(us, "dash") || isStr(us, "long-dash")) out += "\\uldash";
        else if (isStr(us, "wave")) out += "\\ulwave";
        else out += "\\ul";
    }
    const RVNGProperty *lt = f.p[StrikeType], *ls = f.p[StrikeStyle];
    if (lt ? !isStr(lt, "none") : (ls && !isStr(ls, "none"))) out += isStr(lt, "double") ? "\\striked1" : "\\strike";
    if (isStr(f.p[Variant], "small-caps")) out += "\\scaps";
    if (isStr(f.p[Transform], "uppercase")) out += "\\caps";
    if ((p = f.p[Outline]) && (p->getStr() == "true" || p->getInt() == 1)) out += "\\outl";
    if ((p = f.p[Shadow]) && !isStr(p, "none")) out += "\\shad";
    if (isStr(f.p[Display], "none") || isStr(f.p[FoDisplay], "none")) out += "\\v";
    // Blinking text has no RTF form that readers show; it is written plain.
    if ((p = f.p[Position])) {
        RVNGString pos = p->getStr();
        const char *str = pos.cstr();
        if (!std::strncmp(str, "super", 5) || std::atof(str) > 0) out += "\\super";
        else if (!std::strncmp(str, "sub", 3) || std::atof(str) < 0) out += "\\sub";
    }
    int c;
    if ((c = colourIndex(f.p[Colour])) > 0) appendNumber(out, "cf", c);
    if ((c = colourIndex(f.p[Background])) > 0) {
        // Character shading in any colour; \highlight takes only 16.
        appendNumber(out, "chcbpat", c);
        appendNumber(out, "cb", c);
    }
}

void RtfWriter::openSpan(const RVNGPropertyList &propList) {
    ensureParagraph();
    Story &s = story();
    closeSpanGroup(s);
    s.spanControls.clear();
    if (!spanStyles_.empty())
        spanControls(resolveStyle(spanStyles_, "librevenge:span-id", propList), s.spanControls);
    else
        spanControls(propList, s.spanControls);
    body_ += '{';
    delimit_ = false;
    if (!s.spanControls.empty()) control(s.spanControls.c_str());
    s.spanOpen = true;
}

void RtfWriter::closeSpan() { closeSpanGroup(story()); }

void RtfWriter::openLink(const RVNGPropertyList &propList) {
    contentParagraph();
    Story &s = story();
    // The field's groups must not cross the span's: the span is reopened
    // inside the link.
    bool reopen = s.spanOpen;
    closeSpanGroup(s);
    body_ += "{\\field{\\*\\fldinst HYPERLINK \"";
    if (const RVNGProperty *href = propList["xlink:href"]) {
        RVNGString h = href->getStr();
        for (const char *c = h.cstr(); *c; ++c)
            if (*c != '"') appendCodePoint(body_, static_cast<unsigned char>(*c) < 0x80 ? static_cast<unsigned char>(*c) : '?');
    }
    body_ += "\"}{\\fldrslt{";
    delimit_ = false;
    ++s.links;
    if (reopen) reopenSpanGroup(s);
}

void RtfWriter::closeLink() {
    Story &s = story();
    if (s.links <= 0) return;
    bool reopen = s.spanOpen;
    closeSpanGroup(s);
    body_ += "}}}";
    delimit_ = false;
    --s.links;
    if (reopen) reopenSpanGroup(s);
}

// ---------------------------------------------------------------- text

void RtfWriter::insertTab() {
    contentParagraph();
    control("\\tab");
}

void RtfWriter::insertSpace() {
    contentParagraph();
    text(" ", 1);
}

void RtfWriter::insertText(const RVNGString &t) {
    contentParagraph();
    text(t.cstr(), t.size());
}

void RtfWriter::insertLineBreak() {
    contentParagraph();
    control("\\line");
}

void RtfWriter::insertField(const RVNGPropertyList &propList) {
    const RVNGProperty *type = propList["librevenge:field-type"];
    if (!type) return;
    RVNGString t = type->getStr();
    std::string inst;
    if (t == "text:page-number") inst = "PAGE";
    else if (t == "text:page-count") inst = "NUMPAGES";
    else if (t == "text:date") inst = "DATE";
    else if (t == "text:time") inst = "TIME";
    else if (t == "text:title") inst = "TITLE";
    else if (t == "text:file-name") inst = "FILENAME";
    else if (t == "text:initial-creator" || t == "text:author-name") inst = "AUTHOR";
    if (inst.empty()) {
        // A field RTF has no counterpart for: its current value as text.
        if (const RVNGProperty *v = propList["librevenge:field-content"]) insertText(v->getStr());
        return;
    }
    if (inst == "PAGE" || inst == "NUMPAGES") {
        RVNGString f;
        if (const RVNGProperty *nf = propList["style:num-format"]) f = nf->getStr();
        if (f == "i") inst += " \\\\* roman";
        else if (f == "I") inst += " \\\\* ROMAN";
        else if (f == "a") inst += " \\\\* alphabetic";
        else if (f == "A") inst += " \\\\* ALPHABETIC";
    }
    contentParagraph();
    body_ += "{\\field{\\*\\fldinst ";
    body_ += inst;
    body_ += "}{\\fldrslt ";
    delimit_ = false;
    // Readers compute page numbers and dates themselves; the result holds
    // only what the document gave (a wrong "1" would show on every page).
    if (const RVNGProperty *v = propList["librevenge:field-content"]) {
        RVNGString c = v->getStr();
        text(c.cstr(), c.size());
    }
    body_ += "}}";
    delimit_ = false;
}

void RtfWriter::placeholder(const char *what) {
    contentParagraph();
    text(what, std::strlen(what));
}

// ---------------------------------------------------------------- lists

void RtfWriter::openList(const RVNGPropertyList &props, bool ordered) {
    int level = static_cast<int>(openLevels_.size());
    if (const RVNGProperty *p = props["librevenge:level"]) level = p->getInt() - 1;
    if (level < 0) level = 0;
    if (level > 8) level = 8;
    int list;
    if (openLevels_.empty()) {
        // Each list from its outermost level on is a list of its own, so that
        // its numbers start where the document says.
        lists_.emplace_back();
        for (int &c : lists_.back().counters) c = -1;
        list = static_cast<int>(lists_.size() - 1);
    } else {
        list = openLevels_.back().list;
    }
    List &l = lists_[static_cast<size_t>(list)];
    ListLevel &lv = l.levels[level];
    if (!lv.defined) {
        lv.defined = true;
        lv.ordered = ordered;
        lv.format = numberFormat(props["style:num-format"]);
        if (const RVNGProperty *p = props["text:start-value"]) lv.start = listNumber(p->getInt());
        if (const RVNGProperty *p = props["style:num-prefix"]) lv.prefix = p->getStr().cstr();
        if (const RVNGProperty *p = props["style:num-suffix"]) lv.suffix = p->getStr().cstr();
        if (const RVNGProperty *p = props["text:bullet-char"]) lv.bullet = p->getStr().cstr();
        long v;
        if (twipsOf(props["text:space-before"], v)) lv.indent = v;
        if (twipsOf(props["text:min-label-width"], v)) lv.labelWidth = v;
        if (lv.indent == 0 && lv.labelWidth == 0) {
            lv.indent = 360L * level;
            lv.labelWidth = 360;
        }
    } else if (ordered) {
        if (const RVNGProperty *p = props["text:start-value"]) lv.start = listNumber(p->getInt());
    }
    l.counters[level] = -1;
    openLevels_.push_back(OpenLevel{list, level, ordered});
}

void RtfWriter::closeList() {
    if (!openLevels_.empty()) openLevels_.pop_back();
}

std::string RtfWriter::listLabel(const List &list, int level) const {
    const ListLevel &lv = list.levels[level];
    if (!lv.ordered) return lv.bullet.empty() ? std::string("\xE2\x80\xA2") : lv.bullet;
    return lv.prefix + formatNumber(list.counters[level], lv.format) + lv.suffix;
}

void RtfWriter::openOrderedListLevel(const RVNGPropertyList &propList) { openList(propList, true); }
void RtfWriter::openUnorderedListLevel(const RVNGPropertyList &propList) { openList(propList, false); }
void RtfWriter::closeOrderedListLevel() { closeList(); }
void RtfWriter::closeUnorderedListLevel() { closeList(); }

void RtfWriter::openListElement(const RVNGPropertyList &propList) {
    RVNGPropertyList props =
        paragraphStyles_.empty() ? propList : resolveStyle(paragraphStyles_, "librevenge:paragraph-id", propList);
    if (openLevels_.empty()) {
        startParagraph(props, nullptr);
        return;
    }
    OpenLevel level = openLevels_.back();
    startParagraph(props, &level);
}

void RtfWriter::closeListElement() { endParagraph(); }

// ---------------------------------------------------------------- notes, comments, boxes

void RtfWriter::openNoteOrComment(StoryKind kind, const char *prefix, const char *mark) {
    contentParagraph();
    Story &s = story();
    bool reopen = s.spanOpen;
    closeSpanGroup(s);
    body_ += prefix;
    delimit_ = true;
    pushStory(kind, 0, mark);
    // Remembered so the outer span can be reopened after the note.
    story().reopenSpan = reopen;
}

void RtfWriter::closeNoteOrComment(StoryKind kind) {
    if (story().kind != kind) return;
    bool reopen = story().reopenSpan;
    endStory();
    body_ += '}';
    delimit_ = false;
    Story &s = story();
    if (reopen) reopenSpanGroup(s);
}

void RtfWriter::openFootnote(const RVNGPropertyList &) {
    footnotes_ = true;
    openNoteOrComment(StoryKind::Note, "{\\super\\chftn}{\\footnote", "\\chftn");
}

void RtfWriter::closeFootnote() { closeNoteOrComment(StoryKind::Note); }

void RtfWriter::openEndnote(const RVNGPropertyList &) {
    endnotes_ = true;
    openNoteOrComment(StoryKind::Note, "{\\super\\chftn}{\\footnote\\ftnalt", "\\chftn");
}

void RtfWriter::closeEndnote() { closeNoteOrComment(StoryKind::Note); }

void RtfWriter::openComment(const RVNGPropertyList &) {
    openNoteOrComment(StoryKind::Comment, "{\\*\\atnid dv}\\chatn{\\*\\annotation", "\\chatn");
}

void RtfWriter::closeComment() { closeNoteOrComment(StoryKind::Comment); }

// RTF positions boxes only as drawing objects, which many readers skip: a
// text box's paragraphs are written where it is anchored, in the flow.
void RtfWriter::openTextBox(const RVNGPropertyList &) {
    Story &outer = story();
    bool resume = false, reopen = false;
    if (outer.parOpen) {
        resume = true;
        reopen = outer.spanOpen;
        closeSpanGroup(outer);
        // An anchoring paragraph with nothing in it yet gives way to the
        // box's first paragraph rather than stay as an empty one.
        if (outer.hasContent) paragraphEnd(outer);
        outer.parOpen = false;
        outer.parPending = false;
    }
    int depth = outer.depth;
    pushStory(StoryKind::TextBox, depth, nullptr);
    story().resumeParagraph = resume;
    story().reopenSpan = reopen;
}

void RtfWriter::closeTextBox() {
    if (story().kind != StoryKind::TextBox) return;
    bool resume = story().resumeParagraph;
    bool reopen = story().reopenSpan;
    endStory();
    if (resume) {
        // The anchoring paragraph goes on, with its span's formatting.
        Story &s = story();
        paragraphPrefix(s);
        s.parOpen = true;
        if (reopen) {
            body_ += '{';
            delimit_ = false;
            if (!s.spanControls.empty()) control(s.spanControls.c_str());
            s.spanOpen = true;
        }
    }
}

void RtfWriter::openFrame(const RVNGPropertyList &) { ++frames_; }
void RtfWriter::closeFrame() {
    if (frames_ > 0) --frames_;
}

void RtfWriter::insertBinaryObject(const RVNGPropertyList &propList) {
    const RVNGProperty *mime = propList["librevenge:mime-type"];
    RVNGString m = mime ? mime->getStr() : RVNGString();
    bool picture = !mime || !std::strncmp(m.cstr(), "image/", 6);
    placeholder(picture ? "[picture]" : "[object]");
}

void RtfWriter::insertEquation(const RVNGPropertyList &) { placeholder("[equation]"); }

void RtfWriter::openGroup(const RVNGPropertyList &) {}
void RtfWriter::closeGroup() {}
void RtfWriter::drawRectangle(const RVNGPropertyList &) { placeholder("[drawing]"); }
void RtfWriter::drawEllipse(const RVNGPropertyList &) { placeholder("[drawing]"); }
void RtfWriter::drawPolygon(const RVNGPropertyList &) { placeholder("[drawing]"); }
void RtfWriter::drawPolyline(const RVNGPropertyList &) { placeholder("[drawing]"); }
void RtfWriter::drawPath(const RVNGPropertyList &) { placeholder("[drawing]"); }
void RtfWriter::drawConnector(const RVNGPropertyList &) { placeholder("[drawing]"); }

// ---------------------------------------------------------------- tables

void RtfWriter::openTable(const RVNGPropertyList &propList) {
    Story &s = story();
    closeSpanGroup(s);
    if (s.parOpen || s.parPending) paragraphEnd(s);
    s.parOpen = s.parPending = false;
    if (isStr(propList["fo:break-before"], "page") && s.kind == StoryKind::Body && s.depth == 0 && !pageStart_)
        pageBreakDue_ = true;
    if (s.kind == StoryKind::Body && s.depth == 0) beginSectionContent();  // on the first cell's paragraph: RTF rows have no break of their own
    Table t;
    t.depth = s.depth + 1;
    long v;
    if (twipsOf(propList["fo:margin-left"], v)) t.left = v;
    long edge = t.left;
    if (const RVNGPropertyListVector *cols = propList.child("librevenge:table-columns")) {
        for (unsigned long i = 0; i < cols->count() && i < 63; ++i) {
            long w = 1440;
            if (!twipsOf((*cols)[i]["style:column-width"], w) || w <= 0) w = 1440;
            edge += w;
            if (edge > kMaxTwips) edge = kMaxTwips;
            t.columnEdges.push_back(edge);
        }
    }
    const RVNGProperty *align = propList["table:align"];
    if (isStr(align, "center")) t.rowControls += "\\trqc";
    else if (isStr(align, "right")) t.rowControls += "\\trqr";
    else t.rowControls += "\\trql";
    t.merges.resize(t.columnEdges.size());
    tables_.push_back(t);
}

long RtfWriter::columnEdge(const Table &t, int column) const {
    if (column < 0) column = 0;
    if (static_cast<size_t>(column) < t.columnEdges.size()) return t.columnEdges[static_cast<size_t>(column)];
    // Cells beyond the defined columns: an inch each.
    long last = t.columnEdges.empty() ? t.left : t.columnEdges.back();
    long extra = column - static_cast<long>(t.columnEdges.size()) + 1;
    long e = last + 1440 * extra;
    return e > kMaxTwips ? kMaxTwips : e;
}

void RtfWriter::openTableRow(const RVNGPropertyList &propList) {
    if (tables_.empty()) return;
    if (tables_.back().rowOpen) closeTableRow();
    Table &t = tables_.back();
    t.rowOpen = true;
    t.column = 0;
    t.cells.clear();
    t.rowExtra.clear();
    long v;
    if (twipsOf(propList["style:row-height"], v) && v > 0) appendNumber(t.rowExtra, "trrh", -v);
    else if (twipsOf(propList["style:min-row-height"], v) && v > 0) appendNumber(t.rowExtra, "trrh", v);
    if (const RVNGProperty *hdr = propList["librevenge:is-header-row"])
        if (hdr->getInt()) t.rowExtra += "\\trhdr";
    t.rowStart = body_.size();
    delimit_ = false;
}

// The end of a cell's content: \cell, or \nestcell inside another table.
void RtfWriter::endCellContent(const Table &t) {
    control(t.depth > 1 ? "\\nestcell" : "\\cell");
}

void RtfWriter::emitEmptyCell(Table &t, const std::string &controls, long edge) {
    control("\\pard\\plain\\intbl");
    if (t.depth > 1) control("\\itap", t.depth);
    endCellContent(t);
    std::string def = controls;
    appendNumber(def, "cellx", edge);
    t.cells.push_back(def);
}

// A cell under one that spans rows: RTF writes it, marked as merged upwards.
void RtfWriter::emitCoveredCell(Table &t) {
    VerticalMerge &m = t.merges[static_cast<size_t>(t.column)];
    int span = m.columns;
    std::string borders = m.borders;
    for (int k = 0; k < span; ++k) {
        size_t c = static_cast<size_t>(t.column + k);
        if (c < t.merges.size() && t.merges[c].rowsLeft > 0) --t.merges[c].rowsLeft;
        std::string controls = "\\clvmrg";
        if (span > 1) controls += k == 0 ? "\\clmgf" : "\\clmrg";
        controls += borders;
        emitEmptyCell(t, controls, columnEdge(t, t.column + k));
    }
    t.column += span;
}

void RtfWriter::fillCells(Table &t, int toColumn, bool onlyCovered) {
    while (t.column < toColumn) {
        size_t c = static_cast<size_t>(t.column);
        if (c < t.merges.size() && t.merges[c].rowsLeft > 0) {
            emitCoveredCell(t);
            continue;
        }
        if (onlyCovered) {
            bool more = false;
            for (size_t k = c; k < t.merges.size(); ++k)
                if (t.merges[k].rowsLeft > 0) more = true;
            if (!more) return;
        }
        emitEmptyCell(t, std::string(), columnEdge(t, t.column));
        ++t.column;
    }
}

void RtfWriter::openTableCell(const RVNGPropertyList &propList) {
    if (tables_.empty()) return;
    if (!tables_.back().rowOpen) openTableRow(RVNGPropertyList());
    if (tables_.back().cellOpen) closeTableCell();
    Table &t = tables_.back();
    int column = t.column;
    if (const RVNGProperty *c = propList["librevenge:column"])
        if (c->getInt() > t.column && c->getInt() < 63) column = c->getInt();
    fillCells(t, column, false);
    int colSpan = 1, rowSpan = 1;
    if (const RVNGProperty *p = propList["table:number-columns-spanned"]) colSpan = p->getInt();
    if (const RVNGProperty *p = propList["table:number-rows-spanned"]) rowSpan = p->getInt();
    if (colSpan < 1) colSpan = 1;
    if (colSpan > 63 - t.column) colSpan = 63 - t.column > 0 ? 63 - t.column : 1;
    if (rowSpan < 1) rowSpan = 1;
    if (rowSpan > 32767) rowSpan = 32767;

    std::string borders;
    static const struct { const char *key; const char *rtf; } sides[] = {
        {"fo:border-top", "\\clbrdrt"}, {"fo:border-left", "\\clbrdrl"},
        {"fo:border-bottom", "\\clbrdrb"}, {"fo:border-right", "\\clbrdrr"}};
    const RVNGProperty *all = propList["fo:border"];
    for (const auto &side : sides) {
        const RVNGProperty *b = propList[side.key];
        if (!b) b = all;
        if (!b) continue;
        // "0.0007in solid #000000": width, style, colour in any order.
        RVNGString border = b->getStr();
        std::string str = border.cstr();
        long width = -1;
        std::string style = "\\brdrs";
        int colour = -1;
        size_t pos = 0;
        while (pos < str.size()) {
            size_t end = str.find(' ', pos);
            if (end == std::string::npos) end = str.size();
            std::string word = str.substr(pos, end - pos);
            pos = end + 1;
            if (word.empty()) continue;
            if (word == "none" || word == "hidden") width = 0;
            else if (word == "double") style = "\\brdrdb";
            else if (word == "dotted") style = "\\brdrdot";
            else if (word == "dashed") style = "\\brdrdash";
            else if (word[0] == '#') {
                unsigned long rgb;
                if (parseColour(word.c_str(), rgb)) {
                    librevenge::RVNGPropertyList tmp;
                    tmp.insert("c", word.c_str());
                    colour = colourIndex(tmp["c"]);
                }
            } else if ((word[0] >= '0' && word[0] <= '9') || word[0] == '.') {
                librevenge::RVNGPropertyList tmp;
                tmp.insert("w", word.c_str());
                long w;
                if (twipsOf(tmp["w"], w)) width = w;
            }
        }
        if (width == 0) continue;
        borders += side.rtf;
        borders += style;
        // Thinner than a quarter point is a hairline no reader draws.
        appendNumber(borders, "brdrw", width < 0 ? 10 : (width < 5 ? 5 : (width > 75 ? 75 : width)));
        if (colour > 0) appendNumber(borders, "brdrcf", colour);
    }
    int shade = colourIndex(propList["fo:background-color"]);
    if (shade > 0) appendNumber(borders, "clcbpat", shade);
    const RVNGProperty *va = propList["style:vertical-align"];
    std::string valign;
    if (isStr(va, "middle") || isStr(va, "center")) valign = "\\clvertalc";
    else if (isStr(va, "bottom")) valign = "\\clvertalb";
    else if (va) valign = "\\clvertalt";

    for (int k = 0; k < colSpan; ++k) {
        std::string def;
        if (rowSpan > 1) def += "\\clvmgf";
        if (colSpan > 1) def += k == 0 ? "\\clmgf" : "\\clmrg";
        def += valign;
        def += borders;
        appendNumber(def, "cellx", columnEdge(t, t.column + k));
        t.cells.push_back(def);
        size_t c = static_cast<size_t>(t.column + k);
        if (rowSpan > 1) {
            if (c >= t.merges.size()) t.merges.resize(c + 1);
            t.merges[c].rowsLeft = 0;
        }
    }
    if (rowSpan > 1) {
        VerticalMerge &m = t.merges[static_cast<size_t>(t.column)];
        m.rowsLeft = rowSpan - 1;
        m.columns = colSpan;
        m.borders = borders;
        // The other spanned columns are written with the first.
        for (int k = 1; k < colSpan; ++k) t.merges[static_cast<size_t>(t.column + k)].rowsLeft = 0;
    }
    t.continuation = colSpan - 1;
    t.continuationControls.clear();
    t.column += colSpan;
    t.cellOpen = true;
    pushStory(StoryKind::Cell, t.depth, nullptr);
}

void RtfWriter::closeTableCell() {
    if (tables_.empty() || !tables_.back().cellOpen) return;
    // Anything the cell's content left open is closed with it.
    while (stories_.size() > 1 && story().kind != StoryKind::Cell) {
        StoryKind k = story().kind;
        endStory();
        if (k == StoryKind::HeaderFooter || k == StoryKind::Note || k == StoryKind::Comment) body_ += '}';
    }
    Table &t = tables_.back();
    Story &s = story();
    closeSpanGroup(s);
    for (; s.links > 0; --s.links) {
        body_ += "}}}";
        delimit_ = false;
    }
    if (!s.parOpen && !s.parPending) paragraphPrefix(s);
    endCellContent(t);
    if (stories_.size() > 1) stories_.pop_back();
    // Cells merged into this one still need their own (empty) content.
    for (int k = 0; k < t.continuation; ++k) {
        control("\\pard\\plain\\intbl");
        if (t.depth > 1) control("\\itap", t.depth);
        endCellContent(t);
    }
    t.continuation = 0;
    t.cellOpen = false;
}

void RtfWriter::insertCoveredTableCell(const RVNGPropertyList &propList) {
    if (tables_.empty()) return;
    if (!tables_.back().rowOpen) openTableRow(RVNGPropertyList());
    if (tables_.back().cellOpen) closeTableCell();
    Table &t = tables_.back();
    int column = t.column;
    if (const RVNGProperty *c = propList["librevenge:column"]) column = c->getInt();
    if (column < t.column || column >= 63) return;  // under a span already written
    fillCells(t, column, false);
    size_t c = static_cast<size_t>(t.column);
    if (c < t.merges.size() && t.merges[c].rowsLeft > 0) emitCoveredCell(t);
    else {
        emitEmptyCell(t, std::string(), columnEdge(t, t.column));
        ++t.column;
    }
}

void RtfWriter::closeTableRow() {
    if (tables_.empty() || !tables_.back().rowOpen) return;
    if (tables_.back().cellOpen) closeTableCell();
    Table &t = tables_.back();
    fillCells(t, static_cast<int>(t.merges.size()), true);
    if (t.cells.empty()) emitEmptyCell(t, std::string(), columnEdge(t, 0));
    std::string def = "\\trowd\\trgaph108";
    appendNumber(def, "trleft", t.left);
    def += t.rowControls;
    def += t.rowExtra;
    for (const std::string &c : t.cells) def += c;
    if (t.depth == 1) {
        // Row and cell formatting lead the row in RTF but are known only at
        // its end: they go in front of the row's content (only this row moves).
        def += ' ';
        body_.insert(t.rowStart, def);
        control("\\row");
    } else {
        body_ += "{\\*\\nesttableprops";
        body_ += def;
        body_ += "\\nestrow}{\\nonesttables\\par}";
        delimit_ = false;
    }
    t.rowOpen = false;
}

void RtfWriter::closeTable() {
    if (tables_.empty()) return;
    if (tables_.back().rowOpen) closeTableRow();
    tables_.pop_back();
    Story &s = story();
    s.parOpen = false;
    s.parPending = false;
}
