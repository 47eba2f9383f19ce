// The calling examples of the callers' reference, run as a caller runs them:
// the batch file under cmd, the C program as built. Both print the same
// report, so one table serves both; the reference must quote each file as
// it is.
#include <gtest/gtest.h>

#include "converter_folder.h"

using namespace dvtest;

namespace {

std::string source_file(const char *relative) { return windows_path(std::string(DOCVANE_SOURCE_DIR "/") + relative); }

// The file's text with CR LF line ends made LF, as the reference quotes it.
std::string text_of(const std::string &path) {
    std::string text = read_file(path), out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

TEST(CallerExamples, TheReferenceQuotesEachExampleWhole) {
    std::string reference = text_of(source_file("docs/callers-reference.md"));
    EXPECT_NE(reference.find("```bat\n" + text_of(source_file("examples/callers/convert.bat")) + "```\n"),
              std::string::npos);
    EXPECT_NE(reference.find("```c\n" + text_of(source_file("examples/callers/convert.c")) + "```\n"),
              std::string::npos);
}

struct Case {
    const char *what;
    const char *settings;  // of the one registered import converter
    bool destination_folder;
    const char *report;  // what each example prints before its export line
    bool c_only = false;  // a batch file cannot time out
};

const Case CASES[] = {
    {"converted", "op1=chunk 100 100 40\r\nop2=chunk 100 100 100", true,
     "converted: Datei wird generiert (100%)..."},
    {"converter fails", "result=-7\r\nop1=chunk 100 100 40", true,
     "conversion failed with -7 (Datei wird generiert (40%)...)"},
    {"not recognised", "accept=0", true, "nothing converted: no converter recognised the document, or the destination cannot be created"},
    // Every converter is passed over when the destination cannot be created.
    {"no destination folder", "", false, "nothing converted: no converter recognised the document, or the destination cannot be created"},
    // TIMEOUT is 5 seconds: docvane is ended and its partial destination removed.
    {"converter hangs", "op1=chunk 100 100 40\r\nop2=sleep 30000", true,
     "conversion failed: docvane did not end within 5 seconds", true},
};

TEST(CallerExamples, BatchFileAndCProgramReportEachOutcome) {
    const std::string examples[] = {
        source_file("examples/callers/convert.bat"),
        windows_path(CALLERS_CONVERT_EXE),
    };
    SetEnvironmentVariableA("DOCVANE", docvane_exe().c_str());
    SetEnvironmentVariableA("TIMEOUT", "5");
    for (const Case &c : CASES) {
        for (const std::string &example : examples) {
            if (c.c_only && example == examples[0]) continue;
            RegistryScope reg;
            ConverterFolder conv;
            reg.add_converter(false, "c1", "Alpha", conv.add("conv.cnv", c.settings), "doc");
            ScratchDir work;
            CreateDirectoryA(work.file("In").c_str(), NULL);
            if (c.destination_folder) CreateDirectoryA(work.file("Out").c_str(), NULL);
            ASSERT_TRUE(write_file(work.file("In\\letter.doc"), "a letter"));
            SetEnvironmentVariableA("WORK", work.path().c_str());

            std::string report = work.file("report.txt");
            // cmd ends with the batch file's last ERRORLEVEL: only the report counts.
            run_program(NULL, "cmd.exe /c " + example + " > " + report);
            // No export converter is registered: index 0 is nobody's.
            EXPECT_EQ(read_file(report), std::string(c.report) + "\r\nexport: -15\r\n") << c.what << ": " << example;
            if (c.c_only) {
                EXPECT_FALSE(file_exists(work.file("Out\\letter.rtf"))) << c.what;
            }
        }
    }
}

}  // namespace
