// List requests end to end: the request file rewritten as the list file.
#include <gtest/gtest.h>

#include "win_test_support.h"

using namespace dvtest;

namespace {

const std::string WORD_LINE = "ExtWP32: Word f\xFCr Windows 6.0 (*.doc)\n";
const std::string WRITE_LINE = "ExtWP32: Windows Write (*.wri)\n";

// WordPad registered in a scratch folder, with the built-in library files
// the test asks for (any bytes: a list never loads them).
class Listing : public testing::Test {
  protected:
    void SetUp() override {
        reg_.set_wordpad_command("\"" + dir_.path() + "\\wordpad.exe\" \"%1\"");
        request_ = dir_.file("list.req");
    }
    void put(const char *file) { ASSERT_TRUE(write_file(dir_.file(file), "not a library")); }
    void put_both() {
        put("MSWD6_32.WPC");
        put("WRITE32.WPC");
    }
    // Writes the request, runs docvane on it and returns what the file holds
    // afterwards; every list request ends with 0.
    std::string list(const std::string &request) {
        EXPECT_TRUE(write_file(request_, request));
        EXPECT_EQ(run_docvane_tail(request_), 0u) << request;
        return read_file(request_);
    }

    RegistryScope reg_;
    ScratchDir dir_;
    std::string request_;
};

TEST_F(Listing, BothListsOfTheWorkedExample) {
    put_both();
    std::string got = list("\\\\\\\\-1-1\r\n");
    EXPECT_EQ(got, WORD_LINE + WRITE_LINE + "\n" + WORD_LINE + "\n");
    EXPECT_EQ(got.size(), 109u);
}

TEST_F(Listing, ImportOnlyAndExportOnly) {
    put_both();
    EXPECT_EQ(list("\\\\\\\\x1x0"), WORD_LINE + WRITE_LINE + "\n");
    EXPECT_EQ(list("\\\\\\\\x0x1 and the rest is not read"), WORD_LINE + "\n");
}

TEST_F(Listing, RequestsForNoListOrNeitherBit) {
    put_both();
    // Digits "0" "0": a status file.
    EXPECT_EQ(list("\\\\\\\\-0-0\r\n"), "\n0\n");
    // A digit below "0" giving the code of an import: no job either.
    EXPECT_EQ(list("\\\\\\\\-*-0\r\n"), "\n0\n");
    // Code 12: the file is emptied before the bits are looked at.
    EXPECT_EQ(list("\\\\\\\\-2-1\r\n"), "");
}

TEST_F(Listing, DigitPairsBeyondZeroAndOne) {
    put_both();
    const std::string both = WORD_LINE + WRITE_LINE + "\n" + WORD_LINE + "\n";
    const struct {
        const char *digits;  // import digit, export digit
        std::string list;
    } cases[] = {
        {"20", WORD_LINE + "\n"}, {"30", both}, {"31", WORD_LINE + WRITE_LINE + "\n"}, {"40", ""},
        {"03", WORD_LINE + "\n"}, {"04", ""},   {"99", both},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list(std::string("\\\\\\\\-") + c.digits[0] + "-" + c.digits[1] + "\r\n"), c.list) << c.digits;
}

TEST_F(Listing, ExpandableOpenCommandIsUsedAsStored) {
    put_both();
    // Expanded, the command would name the folder with the built-in files.
    SetEnvironmentVariableA("DVT_WORDPAD_DIR", dir_.path().c_str());
    const std::string command = "\"%DVT_WORDPAD_DIR%\\wordpad.exe\" \"%1\"";
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "WordPad.Document.1\\shell\\open\\command", &key), ERROR_SUCCESS);
    RegSetValueExA(key, NULL, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE *>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);
    EXPECT_EQ(list("\\\\\\\\-1-1"), "\n\n");
    SetEnvironmentVariableA("DVT_WORDPAD_DIR", NULL);
}

TEST_F(Listing, ShortListWordCountsMissingDigitsAsZero) {
    put_both();
    EXPECT_EQ(list("\\\\\\\\-1\r\n"), WORD_LINE + WRITE_LINE + "\n");
    EXPECT_EQ(list("\\\\\\\\\r\n"), "\n0\n");
}

TEST_F(Listing, OnlyTheBuiltInFilesThatExist) {
    EXPECT_EQ(list("\\\\\\\\-1-1"), "\n\n");
    put("WRITE32.WPC");
    EXPECT_EQ(list("\\\\\\\\-1-1"), WRITE_LINE + "\n\n");
}

TEST_F(Listing, RegistryConvertersAreNeverListed) {
    put_both();
    // Registered, with library files that exist, in both directions; a
    // selector-like line in the request changes nothing.
    put("other.cnv");
    reg_.add_converter(false, "Other", "Other Import", dir_.file("other.cnv"), "oth");
    reg_.add_converter(true, "Other", "Other Export", dir_.file("other.cnv"), "oth");
    EXPECT_EQ(list("\\\\\\\\-1-1\r\nY\r\n"), WORD_LINE + WRITE_LINE + "\n" + WORD_LINE + "\n");
}

TEST_F(Listing, ListFileThatCannotBeWrittenStaysAsItWas) {
    put_both();
    const std::string request = "\\\\\\\\-1-1\r\n";
    ASSERT_TRUE(write_file(request_, request));
    // Another program holds it open for reading and lets nobody write. (The
    // read-only attribute would not do here: Wine lets root write anyway.)
    HANDLE held = CreateFileA(request_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run_docvane_tail(request_), 0u);
    CloseHandle(held);
    EXPECT_EQ(read_file(request_), request);
}

}  // namespace
