#include "rtf_writer.h"

#include <cstdio>

std::string RtfWriter::head() const {
    std::string h = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
    if (fonts_.empty()) h += "{\\f0 Times New Roman;}";
    for (size_t i = 0; i < fonts_.size(); ++i) h += "{\\f" + std::to_string(i) + " " + fonts_[i] + ";}";
    return h + "}\n";
}

int RtfWriter::font_index(const std::string &name) {
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i] == name) return static_cast<int>(i);
    fonts_.push_back(name);
    return static_cast<int>(fonts_.size() - 1);
}

void RtfWriter::openParagraph(const librevenge::RVNGPropertyList &props) {
    put("\\pard\\plain ");
    const librevenge::RVNGProperty *align = props["fo:text-align"];
    if (align) {
        std::string a = align->getStr().cstr();
        put(a == "center" ? "\\qc " : a == "end" ? "\\qr " : a == "justify" ? "\\qj " : "");
    }
}

void RtfWriter::closeParagraph() { put("\\par\n"); }

void RtfWriter::openSpan(const librevenge::RVNGPropertyList &props) {
    std::string s = "{";
    const librevenge::RVNGProperty *p;
    if ((p = props["style:font-name"])) s += "\\f" + std::to_string(font_index(p->getStr().cstr()));
    if ((p = props["fo:font-size"])) s += "\\fs" + std::to_string(static_cast<int>(p->getDouble() * 2 + 0.5));
    if ((p = props["fo:font-weight"]) && p->getStr() == "bold") s += "\\b";
    if ((p = props["fo:font-style"]) && p->getStr() == "italic") s += "\\i";
    if ((p = props["style:text-underline-type"]) && p->getStr() != "none") s += "\\ul";
    put((s + " ").c_str());
}

void RtfWriter::closeSpan() { put("}"); }

void RtfWriter::insertText(const librevenge::RVNGString &text) {
    librevenge::RVNGString::Iter i(text);
    std::string out;
    for (i.rewind(); i.next();) {
        const unsigned char *c = reinterpret_cast<const unsigned char *>(i());
        unsigned cp = c[0];
        if (cp >= 0xF0) cp = ((c[0] & 7u) << 18) | ((c[1] & 63u) << 12) | ((c[2] & 63u) << 6) | (c[3] & 63u);
        else if (cp >= 0xE0) cp = ((c[0] & 15u) << 12) | ((c[1] & 63u) << 6) | (c[2] & 63u);
        else if (cp >= 0xC0) cp = ((c[0] & 31u) << 6) | (c[1] & 63u);
        if (cp == '\\' || cp == '{' || cp == '}') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp >= 0x20 && cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp >= 0xA0 && cp < 0x100) {
            char b[8];
            std::snprintf(b, sizeof b, "\\'%02x", cp);
            out += b;
        } else if (cp < 0x10000 && cp >= 0x80) {
            out += "\\u" + std::to_string(static_cast<short>(cp)) + "?";
        }
    }
    put(out.c_str());
}
