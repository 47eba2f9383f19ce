// RTF writer behind librevenge's text interface: any parser that drives
// RVNGTextInterface (libwpd here; libwps or libmwaw later) gets RTF from it.
//
// The body is written once while parsing. Fonts, colours and lists are only
// known once the body is done, so they go in head(), built afterwards:
// head() + body() + tail() is the whole document. The caller may move the
// body out (no second copy is ever made here).
//
// Nothing but std::bad_alloc leaves this class: calls in an unexpected order
// (a damaged document) give balanced, readable RTF, never a fault.
#pragma once

#include <librevenge/librevenge.h>

#include <map>
#include <string>
#include <vector>

class RtfWriter : public librevenge::RVNGTextInterface {
public:
    RtfWriter();
    ~RtfWriter() override;
    RtfWriter(const RtfWriter &) = delete;
    RtfWriter &operator=(const RtfWriter &) = delete;

    // "{\rtf1\ansi\ansicpg1252...": font, colour and list tables, \info and
    // the document's page setup.
    std::string head() const;
    // Everything after the head, written while parsing.
    std::string &body();
    // Closes the document.
    static const char *tail();

    void setDocumentMetaData(const librevenge::RVNGPropertyList &propList) override;
    void startDocument(const librevenge::RVNGPropertyList &propList) override;
    void endDocument() override;
    void definePageStyle(const librevenge::RVNGPropertyList &propList) override;
    void defineEmbeddedFont(const librevenge::RVNGPropertyList &propList) override;
    void openPageSpan(const librevenge::RVNGPropertyList &propList) override;
    void closePageSpan() override;
    void openHeader(const librevenge::RVNGPropertyList &propList) override;
    void closeHeader() override;
    void openFooter(const librevenge::RVNGPropertyList &propList) override;
    void closeFooter() override;
    void defineParagraphStyle(const librevenge::RVNGPropertyList &propList) override;
    void openParagraph(const librevenge::RVNGPropertyList &propList) override;
    void closeParagraph() override;
    void defineCharacterStyle(const librevenge::RVNGPropertyList &propList) override;
    void openSpan(const librevenge::RVNGPropertyList &propList) override;
    void closeSpan() override;
    void openLink(const librevenge::RVNGPropertyList &propList) override;
    void closeLink() override;
    void defineSectionStyle(const librevenge::RVNGPropertyList &propList) override;
    void openSection(const librevenge::RVNGPropertyList &propList) override;
    void closeSection() override;
    void insertTab() override;
    void insertSpace() override;
    void insertText(const librevenge::RVNGString &text) override;
    void insertLineBreak() override;
    void insertField(const librevenge::RVNGPropertyList &propList) override;
    void openOrderedListLevel(const librevenge::RVNGPropertyList &propList) override;
    void openUnorderedListLevel(const librevenge::RVNGPropertyList &propList) override;
    void closeOrderedListLevel() override;
    void closeUnorderedListLevel() override;
    void openListElement(const librevenge::RVNGPropertyList &propList) override;
    void closeListElement() override;
    void openFootnote(const librevenge::RVNGPropertyList &propList) override;
    void closeFootnote() override;
    void openEndnote(const librevenge::RVNGPropertyList &propList) override;
    void closeEndnote() override;
    void openComment(const librevenge::RVNGPropertyList &propList) override;
    void closeComment() override;
    void openTextBox(const librevenge::RVNGPropertyList &propList) override;
    void closeTextBox() override;
    void openTable(const librevenge::RVNGPropertyList &propList) override;
    void openTableRow(const librevenge::RVNGPropertyList &propList) override;
    void closeTableRow() override;
    void openTableCell(const librevenge::RVNGPropertyList &propList) override;
    void closeTableCell() override;
    void insertCoveredTableCell(const librevenge::RVNGPropertyList &propList) override;
    void closeTable() override;
    void openFrame(const librevenge::RVNGPropertyList &propList) override;
    void closeFrame() override;
    void insertBinaryObject(const librevenge::RVNGPropertyList &propList) override;
    void insertEquation(const librevenge::RVNGPropertyList &propList) override;
    void openGroup(const librevenge::RVNGPropertyList &propList) override;
    void closeGroup() override;
    void defineGraphicStyle(const librevenge::RVNGPropertyList &propList) override;
    void drawRectangle(const librevenge::RVNGPropertyList &propList) override;
    void drawEllipse(const librevenge::RVNGPropertyList &propList) override;
    void drawPolygon(const librevenge::RVNGPropertyList &propList) override;
    void drawPolyline(const librevenge::RVNGPropertyList &propList) override;
    void drawPath(const librevenge::RVNGPropertyList &propList) override;
    void drawConnector(const librevenge::RVNGPropertyList &propList) override;

private:
    // A run of paragraphs with an end of its own: the body, a header or
    // footer, a note, a comment, a text box, a table cell.
    enum class StoryKind { Body, HeaderFooter, Note, Comment, TextBox, Cell };
    struct Story {
        StoryKind kind = StoryKind::Body;
        int depth = 0;              // table nesting of its paragraphs (\itap)
        bool parOpen = false;       // a paragraph is being written
        bool parPending = false;    // a paragraph ended; its \par is still due
        bool hasContent = false;    // the open paragraph has text, a tab, a field...
        const char *mark = nullptr; // note or comment mark due at the first paragraph
        bool spanOpen = false;      // a span's group is open
        std::string spanControls;   // that span's character formatting
        int links = 0;              // link fields open in it
        bool reopenSpan = false;    // note, comment, text box: the outer span goes on after it
        bool resumeParagraph = false;  // text box: the anchoring paragraph goes on after it
        bool allPages = false;      // header or footer for all pages
    };
    struct VerticalMerge {
        int rowsLeft = 0;      // rows still covered below the first cell
        int columns = 1;       // columns the first cell spans
        std::string borders;   // its borders and shading, repeated on covered cells
    };
    struct Table {
        int depth = 1;
        std::vector<long> columnEdges;  // right edge of each column, twips from the left margin
        long left = 0;
        std::string rowControls;        // table-wide row formatting
        std::string rowExtra;           // this row's formatting
        std::vector<std::string> cells; // this row's cell definitions
        std::vector<VerticalMerge> merges;
        size_t rowStart = 0;
        int column = 0;
        int continuation = 0;           // merged cells due after the open cell
        std::string continuationControls;
        bool rowOpen = false;
        bool cellOpen = false;
    };
    struct ListLevel {
        bool defined = false;
        bool ordered = true;
        int format = 0;          // RTF \levelnfc
        int start = 1;
        std::string prefix, suffix, bullet;  // UTF-8
        long indent = 0, labelWidth = 0;     // twips
    };
    struct List {
        ListLevel levels[9];
        int counters[9];
    };
    struct OpenLevel {
        int list;   // index into lists_
        int level;  // 0-based
        bool ordered;
    };

    Story &story();
    void pushStory(StoryKind kind, int depth, const char *mark);
    void endStory();
    void ensureParagraph();
    void contentParagraph();
    void startParagraph(const librevenge::RVNGPropertyList &props, const OpenLevel *list);
    void endParagraph();
    void closeSpanGroup(Story &s);
    void reopenSpanGroup(Story &s);
    void paragraphPrefix(const Story &s);
    void paragraphEnd(const Story &s);
    void paragraphControls(const librevenge::RVNGPropertyList &props, long *leftOut, bool *columnBreak);
    void spanControls(const librevenge::RVNGPropertyList &props, std::string &out);
    void text(const char *utf8, size_t size);
    void control(const char *word);
    void control(const char *word, long value);
    void placeholder(const char *what);
    int fontIndex(const char *name);
    int colourIndex(const librevenge::RVNGProperty *colour);
    void openList(const librevenge::RVNGPropertyList &props, bool ordered);
    void closeList();
    std::string listLabel(const List &list, int level) const;
    void beginSectionContent();
    void fillCells(Table &t, int toColumn, bool onlyCovered);
    void emitCoveredCell(Table &t);
    void emitEmptyCell(Table &t, const std::string &controls, long edge);
    long columnEdge(const Table &t, int column) const;
    void endCellContent(const Table &t);
    void openHeaderFooter(const librevenge::RVNGPropertyList &props, int kind);
    void closeHeaderFooter();
    void finishHeaders();
    void openNoteOrComment(StoryKind kind, const char *prefix, const char *mark);
    void closeNoteOrComment(StoryKind kind);
    librevenge::RVNGPropertyList resolveStyle(const std::map<int, librevenge::RVNGPropertyList> &styles,
                                              const char *idKey, const librevenge::RVNGPropertyList &props) const;

    // The current page span's header (0) or footer (1) for all pages, and
    // whether it has odd- or even-page ones.
    struct HeaderSlot {
        size_t allStart = std::string::npos, allEnd = std::string::npos;
        bool odd = false, even = false;
    };
    HeaderSlot headerSlots_[2];
    int openHeaderKind_ = -1;

    std::string body_;
    bool delimit_ = false;  // the last thing written was a control word
    std::vector<Story> stories_;
    std::vector<Table> tables_;
    std::vector<std::string> fonts_;
    std::vector<unsigned long> colours_;
    std::vector<List> lists_;
    std::vector<OpenLevel> openLevels_;
    std::map<int, librevenge::RVNGPropertyList> paragraphStyles_, spanStyles_;
    std::map<std::string, std::string> info_;  // RTF \info destination -> UTF-8 text or date
    std::string pageControls_;  // current page span, section form (\pgwsxn...)
    std::string paperControls_; // first page span, document form (\paperw...)
    int columns_ = 1;
    std::string columnControls_; // \cols of the current section
    bool pageSpanSeen_ = false;
    bool sectionHasContent_ = false;
    bool facingPages_ = false;
    bool footnotes_ = false, endnotes_ = false;
    bool pageBreakDue_ = false;
    bool pageStart_ = true;   // nothing written yet since the page span's section began
    bool freshPage_ = false;  // the paragraph being started is the first on its page span
    bool ended_ = false;
    int frames_ = 0;
};
