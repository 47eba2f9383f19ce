// Stand-in for the project's RTF writer (converters/rtf) until it is merged:
// the same interface, enough of RTF for text, paragraphs and character
// formatting. Removed when converters/rtf exists.
#pragma once

#include <librevenge/librevenge.h>

#include <map>
#include <string>
#include <vector>

class RtfWriter : public librevenge::RVNGTextInterface {
  public:
    std::string head() const;
    std::string &body() { return body_; }
    static const char *tail() { return "}"; }

    void setDocumentMetaData(const librevenge::RVNGPropertyList &) override {}
    void startDocument(const librevenge::RVNGPropertyList &) override {}
    void endDocument() override {}
    void definePageStyle(const librevenge::RVNGPropertyList &) override {}
    void defineEmbeddedFont(const librevenge::RVNGPropertyList &) override {}
    void openPageSpan(const librevenge::RVNGPropertyList &) override {}
    void closePageSpan() override {}
    void openHeader(const librevenge::RVNGPropertyList &) override { ++hidden_; }
    void closeHeader() override { --hidden_; }
    void openFooter(const librevenge::RVNGPropertyList &) override { ++hidden_; }
    void closeFooter() override { --hidden_; }
    void defineParagraphStyle(const librevenge::RVNGPropertyList &) override {}
    void openParagraph(const librevenge::RVNGPropertyList &props) override;
    void closeParagraph() override;
    void defineCharacterStyle(const librevenge::RVNGPropertyList &) override {}
    void openSpan(const librevenge::RVNGPropertyList &props) override;
    void closeSpan() override;
    void openLink(const librevenge::RVNGPropertyList &) override {}
    void closeLink() override {}
    void defineSectionStyle(const librevenge::RVNGPropertyList &) override {}
    void openSection(const librevenge::RVNGPropertyList &) override {}
    void closeSection() override {}
    void insertTab() override { put("\\tab "); }
    void insertSpace() override { put(" "); }
    void insertText(const librevenge::RVNGString &text) override;
    void insertLineBreak() override { put("\\line "); }
    void insertField(const librevenge::RVNGPropertyList &) override {}
    void openOrderedListLevel(const librevenge::RVNGPropertyList &) override {}
    void openUnorderedListLevel(const librevenge::RVNGPropertyList &) override {}
    void closeOrderedListLevel() override {}
    void closeUnorderedListLevel() override {}
    void openListElement(const librevenge::RVNGPropertyList &props) override { openParagraph(props); }
    void closeListElement() override { closeParagraph(); }
    void openFootnote(const librevenge::RVNGPropertyList &) override { ++hidden_; }
    void closeFootnote() override { --hidden_; }
    void openEndnote(const librevenge::RVNGPropertyList &) override { ++hidden_; }
    void closeEndnote() override { --hidden_; }
    void openComment(const librevenge::RVNGPropertyList &) override { ++hidden_; }
    void closeComment() override { --hidden_; }
    void openTextBox(const librevenge::RVNGPropertyList &) override {}
    void closeTextBox() override {}
    void openTable(const librevenge::RVNGPropertyList &) override {}
    void openTableRow(const librevenge::RVNGPropertyList &) override {}
    void closeTableRow() override {}
    void openTableCell(const librevenge::RVNGPropertyList &) override {}
    void closeTableCell() override { put(" "); }
    void insertCoveredTableCell(const librevenge::RVNGPropertyList &) override {}
    void closeTable() override {}
    void openFrame(const librevenge::RVNGPropertyList &) override {}
    void closeFrame() override {}
    void insertBinaryObject(const librevenge::RVNGPropertyList &) override { put("[picture]"); }
    void insertEquation(const librevenge::RVNGPropertyList &) override {}
    void openGroup(const librevenge::RVNGPropertyList &) override {}
    void closeGroup() override {}
    void defineGraphicStyle(const librevenge::RVNGPropertyList &) override {}
    void drawRectangle(const librevenge::RVNGPropertyList &) override {}
    void drawEllipse(const librevenge::RVNGPropertyList &) override {}
    void drawPolygon(const librevenge::RVNGPropertyList &) override {}
    void drawPolyline(const librevenge::RVNGPropertyList &) override {}
    void drawPath(const librevenge::RVNGPropertyList &) override {}
    void drawConnector(const librevenge::RVNGPropertyList &) override {}

  private:
    void put(const char *rtf) {
        if (!hidden_) body_ += rtf;
    }
    int font_index(const std::string &name);

    std::string body_;
    std::vector<std::string> fonts_;
    int hidden_ = 0;
};
