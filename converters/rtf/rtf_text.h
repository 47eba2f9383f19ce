// A small RTF reader: the text of an RTF document, and the control words it
// holds, for checking what a converter wrote. It reads the main text,
// headers, footers and notes (each ending as a paragraph does); tables of
// fonts, colours, lists and styles, \info, pictures, field instructions and
// ignorable (\*) destinations give no text, nor do list labels (\listtext,
// which the list's own formatting makes; a parser's text output leaves them
// out too) unless asked for. Tabs and table cells read as '\t', paragraph,
// line and row ends as '\n'.
#pragma once

#include <string>
#include <vector>

struct RtfText {
    bool ok = false;                 // starts with {\rtf and its groups balance
    std::string text;                // UTF-8
    std::vector<std::string> words;  // every control word, parameter included: "b", "fs24", "u-3913"
};

enum class RtfLabels { Skip, Include };

RtfText rtf_text(const std::string &rtf, RtfLabels labels = RtfLabels::Skip);

// How many times a control word (with its parameter, if given) occurs.
size_t rtf_count(const RtfText &rtf, const std::string &word);
