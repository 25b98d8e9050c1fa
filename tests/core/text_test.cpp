#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>

#include "app/gui.h"
#include "core/text.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_folders.h"

namespace fs = std::filesystem;
using kvr::test::readBytes;
using kvr::test::ScopedTestFolders;
using kvr::test::writeBytes;

namespace {

using Lines = std::vector<std::string>;

Lines splitLines(std::string_view bytes)
{
    Lines lines;
    gf_splitLines(bytes, lines);
    return lines;
}

} // namespace

TEST(TextCharset, NamesOfEveryValue)
{
    EXPECT_EQ(gf_charsetName(Charset::Ansi), "ANSI");
    EXPECT_EQ(gf_charsetName(Charset::Utf16Le), "Unicode");
    EXPECT_EQ(gf_charsetName(Charset::Utf16Be), "Unicode_big_endian");
    EXPECT_EQ(gf_charsetName(Charset::Utf8WithBom), "UTF8_with_BOM");
    EXPECT_EQ(gf_charsetName(Charset::Utf8WithoutBom), "UTF8_without_BOM");
    EXPECT_EQ(gf_charsetName(Charset::NoneFound), "none_found");
    EXPECT_EQ(gf_charsetName(static_cast<Charset>(6)), "");
    EXPECT_EQ(gf_charsetName(static_cast<Charset>(-1)), "");
}

TEST(TextCharset, DetectsEveryForm)
{
    struct Case {
        const char* name;
        std::string bytes;
        Charset expected;
    };
    const std::string almostFull(4095, 'a');
    const Case cases[] = {
        {"empty", "", Charset::Utf8WithoutBom},
        {"ascii", "plain ascii text\r\nline 2\r\n", Charset::Utf8WithoutBom},
        {"utf8", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9B\xAB", Charset::Utf8WithoutBom},
        {"latin1", "caf\xE9 au lait", Charset::Ansi},
        {"bom", "\xEF\xBB\xBFtitle=A320", Charset::Utf8WithBom},
        {"le-bom", std::string("\xFF\xFE" "a\0", 4), Charset::Utf16Le},
        {"be-bom", std::string("\xFE\xFF\0a", 4), Charset::Utf16Be},
        {"le-nobom", std::string("a\0b\0", 4), Charset::Utf16Le},
        {"be-nobom", std::string("\0a\0b", 4), Charset::Utf16Be},
        {"le-two-bytes", std::string("a\0", 2), Charset::Utf16Le},
        {"be-three-bytes", std::string("\0ab", 3), Charset::Utf16Be},
        // The sample ends inside a two-byte sequence that the file completes.
        {"cut-sequence", almostFull + "\xC3\xA9", Charset::Utf8WithoutBom},
        {"cut-at-end", "abc\xE2\x82", Charset::Ansi},
        {"overlong-c0", "a\xC0\x80", Charset::Ansi},
        {"overlong-c1", "a\xC1\xBF", Charset::Ansi},
        {"overlong-e0", "a\xE0\x80\x80", Charset::Ansi},
        {"overlong-f0", "a\xF0\x80\x80\x80", Charset::Ansi},
        {"above-f4", "a\xF5\x80\x80\x80", Charset::Ansi},
        {"f4-too-big", "a\xF4\x90\x80\x80", Charset::Ansi},
        {"f4-max", "a\xF4\x8F\xBF\xBF", Charset::Utf8WithoutBom},
        {"bad-continuation", "a\xC3(", Charset::Ansi},
        {"lone-continuation", "a\x80z", Charset::Ansi},
        {"ff-byte", "a\xFFz", Charset::Ansi},
    };
    ScopedTestFolders folders("charset");
    for (const Case& c : cases) {
        EXPECT_EQ(gf_detectCharsetOfBytes(c.bytes), c.expected) << c.name;
        const fs::path p = fs::path(c.name).concat(".cfg");
        writeBytes(p, c.bytes);
        EXPECT_EQ(gf_detectCharset(p), c.expected) << c.name;
    }
    EXPECT_EQ(gf_detectCharset("missing.cfg"), Charset::NoneFound);
}

TEST(TextCharset, TheWholeTextCounts)
{
    ScopedTestFolders folders("charset4k");
    // A Windows-1252 letter far into the file makes it ANSI, and it reads as
    // valid UTF-8.
    const std::string late = std::string(5000, 'a') + "\r\ntitle=Caf\xE9\r\n";
    EXPECT_EQ(gf_detectCharsetOfBytes(std::string(4096, 'a') + "\xE9"), Charset::Ansi);
    writeBytes("late.cfg", late);
    EXPECT_EQ(gf_detectCharset("late.cfg"), Charset::Ansi);
    Lines lateLines;
    const TextFileLines read = gf_readTextFileLines("late.cfg", lateLines);
    EXPECT_EQ(read.charset, Charset::Ansi);
    ASSERT_EQ(lateLines.size(), 2u);
    EXPECT_NO_THROW(utf8_to_wide(lateLines[1])) << lateLines[1];

    // Letters about the 4096th byte are judged whole; one cut by the end of
    // the text is invalid.
    struct Case {
        std::string tail; // the bytes from 4094 on
        Charset charset;
    };
    const Case cases[] = {
        {"t\xC3\xA0\n", Charset::Utf8WithoutBom},     // a two-byte letter across the end
        {"\xE2\x82\xAC\n", Charset::Utf8WithoutBom}, // a three-byte letter, two bytes inside
        {"\xF0\x9F\x98\x80", Charset::Utf8WithoutBom},
        {"\xE0\x80\x80\n", Charset::Ansi},  // too low a second byte
        {"\xE2\x41\x82\n", Charset::Ansi},  // no continuation byte
        {"t\xC3", Charset::Ansi},             // the file ends inside the letter
        {"\xC3", Charset::Ansi},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail.size());
        const std::string bytes = "title=Citt" + std::string(4084, 'a') + c.tail;
        writeBytes("cut.cfg", bytes);
        EXPECT_EQ(gf_detectCharsetOfBytes(bytes), c.charset);
        Lines lines;
        EXPECT_EQ(gf_readTextFileLines("cut.cfg", lines).charset, c.charset);
    }
    Lines lines;
    writeBytes("cut.cfg", "title=Citt" + std::string(4085, 'a') + "\xC3\xA0\r\n");
    gf_readTextFileLines("cut.cfg", lines);
    EXPECT_EQ(lines, Lines{"title=Citt" + std::string(4085, 'a') + "\xC3\xA0"});
}

TEST(TextRead, EachCharsetGivesUtf8Lines)
{
    ScopedTestFolders folders("readcs");
    const Lines expected{"title=Caf\xC3\xA9", "", "ui_type=A320"};

    writeBytes("utf8.cfg", "title=Caf\xC3\xA9\r\n\r\nui_type=A320\r\n");
    writeBytes("bom.cfg", "\xEF\xBB\xBFtitle=Caf\xC3\xA9\n\nui_type=A320");
    // "title=Café\r\n\r\nui_type=A320" in UTF-16.
    std::wstring wide = L"title=Caf\u00E9\r\n\r\nui_type=A320";
    std::string le("\xFF\xFE", 2), be("\xFE\xFF", 2);
    for (wchar_t ch : wide) {
        le += static_cast<char>(ch & 0xFF);
        le += static_cast<char>(ch >> 8);
        be += static_cast<char>(ch >> 8);
        be += static_cast<char>(ch & 0xFF);
    }
    writeBytes("le.cfg", le);
    writeBytes("be.cfg", be);

    struct Case {
        const char* file;
        Charset charset;
    };
    for (const Case& c : {Case{"utf8.cfg", Charset::Utf8WithoutBom}, Case{"bom.cfg", Charset::Utf8WithBom},
                          Case{"le.cfg", Charset::Utf16Le}, Case{"be.cfg", Charset::Utf16Be}}) {
        EXPECT_EQ(gf_detectCharset(c.file), c.charset) << c.file;
        Lines lines{"stale"};
        EXPECT_TRUE(gf_readLinesInCharset(c.charset, c.file, lines)) << c.file;
        EXPECT_EQ(lines, expected) << c.file;
        // The one-read path detects the same charset and gives the same lines.
        Lines once{"stale"};
        const TextFileLines read = gf_readTextFileLines(c.file, once);
        EXPECT_EQ(read.charset, c.charset) << c.file;
        EXPECT_TRUE(read.read) << c.file;
        EXPECT_EQ(once, expected) << c.file;
    }
}

TEST(TextRead, AnsiLinesAreConverted)
{
    ScopedTestFolders folders("ansi");
    writeBytes("ansi.cfg", "title=Caf\xE9\r\nb\r\n");
    EXPECT_EQ(gf_detectCharset("ansi.cfg"), Charset::Ansi);
    Lines lines;
    ASSERT_TRUE(gf_readLinesInCharset(Charset::Ansi, "ansi.cfg", lines));
    Lines once;
    EXPECT_EQ(gf_readTextFileLines("ansi.cfg", once).charset, Charset::Ansi);
    EXPECT_EQ(once, lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "b");
    if (GetACP() == 1252)
        EXPECT_EQ(lines[0], "title=Caf\xC3\xA9");
    else
        EXPECT_TRUE(lines[0].starts_with("title=Caf")) << lines[0];
}

TEST(TextRead, DoubleMarkIsRemovedForUtf8WithBom)
{
    ScopedTestFolders folders("dbom");
    writeBytes("twice.cfg", "\xEF\xBB\xBF\xEF\xBB\xBF" "a\nb");
    Lines lines;
    ASSERT_TRUE(gf_readLinesInCharset(Charset::Utf8WithBom, "twice.cfg", lines));
    EXPECT_EQ(lines, (Lines{"a", "b"}));
    Lines once;
    EXPECT_TRUE(gf_readTextFileLines("twice.cfg", once).read);
    EXPECT_EQ(once, (Lines{"a", "b"}));
}

TEST(TextRead, Utf16WithoutMarkReadsInTheDetectedOrder)
{
    ScopedTestFolders folders("u16");
    writeBytes("nomark.cfg", std::string("a\0\r\0\n\0b\0", 8));
    writeBytes("nomarkbe.cfg", std::string("\0a\0\r\0\n\0b", 8));
    struct Case {
        const char* file;
        Charset charset;
    };
    for (const Case& c : {Case{"nomark.cfg", Charset::Utf16Le}, Case{"nomarkbe.cfg", Charset::Utf16Be}}) {
        EXPECT_EQ(gf_detectCharset(c.file), c.charset) << c.file;
        Lines lines{"stale"};
        const TextFileLines read = gf_readTextFileLines(c.file, lines);
        EXPECT_EQ(read.charset, c.charset) << c.file;
        EXPECT_TRUE(read.read) << c.file;
        EXPECT_EQ(lines, (Lines{"a", "b"})) << c.file;
        Lines inCharset{"stale"};
        EXPECT_TRUE(gf_readLinesInCharset(c.charset, c.file, inCharset)) << c.file;
        EXPECT_EQ(inCharset, (Lines{"a", "b"})) << c.file;
        std::ifstream in(c.file, std::ios::binary);
        Lines streamed;
        gf_readUtf16StreamLines(in, streamed);
        EXPECT_EQ(streamed, (Lines{"a", "b"})) << c.file;
    }
}

TEST(TextRead, Utf16OfOddSizeOrOnlyAMarkReadsNoLines)
{
    ScopedTestFolders folders("u16odd");
    writeBytes("odd.cfg", std::string("\xFF\xFE" "a\0b", 5));
    writeBytes("markonly.cfg", std::string("\xFF\xFE", 2));
    for (const char* f : {"odd.cfg", "markonly.cfg"}) {
        Lines lines{"stale"};
        EXPECT_TRUE(gf_readLinesInCharset(Charset::Utf16Le, f, lines)) << f;
        EXPECT_TRUE(lines.empty()) << f;
        const TextFileLines read = gf_readTextFileLines(f, lines);
        EXPECT_EQ(read.charset, Charset::Utf16Le) << f;
        EXPECT_TRUE(read.read) << f;
        EXPECT_TRUE(lines.empty()) << f;
    }
    std::istringstream failed;
    failed.setstate(std::ios::failbit);
    Lines lines;
    gf_readUtf16StreamLines(failed, lines);
    EXPECT_TRUE(lines.empty());
}

TEST(TextRead, MissingFileIsFalse)
{
    ScopedTestFolders folders("missing");
    for (Charset cs : {Charset::Ansi, Charset::Utf16Le, Charset::Utf16Be, Charset::Utf8WithBom,
                       Charset::Utf8WithoutBom}) {
        Lines lines{"stale"};
        EXPECT_FALSE(gf_readLinesInCharset(cs, "nothere.cfg", lines));
        EXPECT_TRUE(lines.empty());
    }
    Lines lines{"stale"};
    const TextFileLines read = gf_readTextFileLines("nothere.cfg", lines);
    EXPECT_EQ(read.charset, Charset::NoneFound);
    EXPECT_FALSE(read.read);
    EXPECT_TRUE(lines.empty());
}

TEST(TextRead, FailuresAreShownToTheUser)
{
    ScopedTestFolders folders("readfail");
    Gui& gui = Gui::instance();
    gui.drainUpdates();
    writeBytes("x.cfg", "abc");
    Lines unknown{"stale"};
    EXPECT_FALSE(gf_readLinesInCharset(Charset::NoneFound, "x.cfg", unknown));
    EXPECT_TRUE(unknown.empty());
    gui.drainUpdates();
    EXPECT_EQ(gui.display.timedMessage, "Read failed for 'x.cfg': file x.cfg has unknown charset: none_found");

    // An unpaired surrogate cannot become UTF-8.
    writeBytes("bad16.cfg", std::string("\xFF\xFE" "a\0\x00\xD8", 6));
    Lines inCharset{"stale"};
    EXPECT_FALSE(gf_readLinesInCharset(Charset::Utf16Le, "bad16.cfg", inCharset));
    EXPECT_TRUE(inCharset.empty());
    Lines lines{"stale"};
    const TextFileLines read = gf_readTextFileLines("bad16.cfg", lines);
    EXPECT_EQ(read.charset, Charset::Utf16Le);
    EXPECT_FALSE(read.read);
    EXPECT_TRUE(lines.empty());
    gui.drainUpdates();
    EXPECT_EQ(gui.display.timedMessage, "Read failed for 'bad16.cfg': wide_to_utf8: invalid UTF-16");
}

TEST(TextLines, SplitRules)
{
    EXPECT_EQ(splitLines("a\nb\n"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(splitLines("\n"), (Lines{""}));
    EXPECT_EQ(splitLines(""), Lines{});
    EXPECT_EQ(splitLines("\xEF\xBB\xBF"), Lines{});
    EXPECT_EQ(splitLines("\xEF\xBB\xBFx"), (Lines{"x"}));
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(splitLines("a\r\r\nb"), (Lines{"a\r", "b"}));
    EXPECT_EQ(splitLines("a\rb"), (Lines{"a\rb"}));
    Lines appended{"keep"};
    gf_splitLines("x", appended);
    EXPECT_EQ(appended, (Lines{"keep", "x"}));
}

TEST(TextLines, StreamReaders)
{
    std::istringstream ok("one\ntwo");
    Lines lines;
    gf_readStreamLines(ok, lines);
    EXPECT_EQ(lines, (Lines{"one", "two"}));

    std::istringstream empty("");
    lines.clear();
    gf_readStreamLines(empty, lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(empty.good());

    std::istringstream failed("x");
    failed.setstate(std::ios::failbit);
    gf_readStreamLines(failed, lines);
    EXPECT_TRUE(lines.empty());
}

TEST(TextLines, LineFileReader)
{
    ScopedTestFolders folders("lfr");
    const fs::path dir = fs::path(L"r\u00E9gcodes");
    fs::create_directory(dir);
    writeBytes(dir / "my.txt", "D-A,A320\r\nPH-B,B738\r\n");

    LineFileReader reader;
    reader.path = wide_to_utf8((dir / "my.txt").wstring());
    reader.lines = {"stale"};
    auto result = reader.readAll(100);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.error.empty());
    ASSERT_EQ(result.lines.size(), 2u);
    EXPECT_EQ(result.lines[0], "D-A,A320");
    EXPECT_EQ(result.lines[1], "PH-B,B738");
    EXPECT_GE(reader.lines.capacity(), 100u);

    LineFileReader missing;
    missing.path = "none.txt";
    missing.lines = {"stale"};
    auto failed = missing.readAll(0);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, "open_failed");
    EXPECT_TRUE(missing.lines.empty());
}

TEST(TextWrite, LinesAndTextFiles)
{
    ScopedTestFolders folders("write");
    ASSERT_TRUE(gf_writeLines({"a", "", "b"}, "lines.txt"));
    EXPECT_EQ(readBytes("lines.txt"), "a\n\nb\n");
    ASSERT_TRUE(gf_writeLines({}, "lines.txt"));
    EXPECT_EQ(readBytes("lines.txt"), "");

    ASSERT_TRUE(gf_writeTextFile("abc", "t.txt", false));
    EXPECT_EQ(readBytes("t.txt"), "abc");
    ASSERT_TRUE(gf_writeTextFile("abc", "t.txt", true));
    EXPECT_EQ(readBytes("t.txt"), "abc\n");

    const fs::path wide = fs::path(L"\u00FCber \u2708.txt");
    ASSERT_TRUE(gf_writeTextFile("x", wide, false));
    EXPECT_EQ(readBytes(wide), "x");

    // A folder cannot be opened as a file.
    fs::create_directory("folder");
    EXPECT_FALSE(gf_writeLines({"a"}, "folder"));
    EXPECT_FALSE(gf_writeTextFile("a", "folder", true));
    EXPECT_FALSE(gf_writeTextFile("a", "no_such_folder/x.txt", true));
}

TEST(TextConvert, BoundaryConversions)
{
    EXPECT_EQ(wide_to_utf8(L""), "");
    EXPECT_EQ(utf8_to_wide(""), L"");
    EXPECT_EQ(wide_to_utf8(L"Z\u00FCrich \u2708 \U0001F6EB"), "Z\xC3\xBCrich \xE2\x9C\x88 \xF0\x9F\x9B\xAB");
    EXPECT_EQ(utf8_to_wide("Z\xC3\xBCrich \xE2\x9C\x88 \xF0\x9F\x9B\xAB"), L"Z\u00FCrich \u2708 \U0001F6EB");

    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), 0};
    try {
        wide_to_utf8(lone);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "wide_to_utf8: invalid UTF-16");
    }
    try {
        utf8_to_wide("a\xFF");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "utf8_to_wide: invalid UTF-8");
    }
    EXPECT_EQ(gf_ansiToUtf8(""), "");
    EXPECT_EQ(gf_ansiToUtf8("plain"), "plain");
    EXPECT_NO_THROW(gf_ansiToUtf8("\x81\x8D\x8F\x90\x9D"));
}

TEST(TextSplit, TrimSplitAndLists)
{
    EXPECT_EQ(gf_trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(gf_trim(" \t\r\n"), "");
    EXPECT_EQ(gf_trim("\va\v"), "\va\v");
    EXPECT_EQ(gf_trimView("\f\v a b\t\v", kAllWhitespace), "a b");
    EXPECT_EQ(gf_trimView(" \f ", kAllWhitespace), "");

    EXPECT_EQ(gf_split(" a , ,b ,", ','), (Lines{"a", "b"}));
    EXPECT_EQ(gf_split("", ','), Lines{});
    EXPECT_EQ(gf_split("a;b", ','), (Lines{"a;b"}));
    EXPECT_EQ(gf_splitOnComma("KLM, DLH ,,BAW"), (Lines{"KLM", "DLH", "BAW"}));

    EXPECT_EQ(gf_splitSortedUnique("b,a,b"), (Lines{"a", "b"}));
    EXPECT_EQ(gf_splitSortedUnique(" b , a,,"), (Lines{"", "a", "b"}));
    EXPECT_EQ(gf_splitSortedUnique("B,a"), (Lines{"B", "a"}));

    std::string list = "a, b";
    gf_normalizeCommaList(list);
    EXPECT_EQ(list, "a,b");
    list = "a,,b";
    gf_normalizeCommaList(list);
    EXPECT_EQ(list, "a,,b");
    list = " a ,, b\t";
    gf_normalizeCommaList(list);
    EXPECT_EQ(list, "a,b");

    EXPECT_EQ(gf_unquote("x\"y\"z"), "y");
    EXPECT_EQ(gf_unquote("\"\""), "");
    EXPECT_EQ(gf_unquote("abc"), "abc");
    EXPECT_EQ(gf_unquote("abc\""), "");
    EXPECT_EQ(gf_unquote("\"abc"), "");
    EXPECT_EQ(gf_unquote("title = \"Airbus A320\" ; c"), "Airbus A320");

    EXPECT_EQ(gf_removeDots("1.2.3."), "123");
}

TEST(TextBuild, SmallBuilders)
{
    EXPECT_EQ(gf_pluralSuffix(0), "s");
    EXPECT_EQ(gf_pluralSuffix(1), "");
    EXPECT_EQ(gf_pluralSuffix(2), "s");
    EXPECT_EQ(gf_pluralSuffix(-1), "s");

    EXPECT_EQ(gf_formatNumber(3.0), "3");
    EXPECT_EQ(gf_formatNumber(2.5), "2.5");
    EXPECT_EQ(gf_formatNumber(-4.0), "-4");
    EXPECT_EQ(gf_formatNumber(0.4), "0.4");
    EXPECT_EQ(gf_formatNumber(1234.0), "1234");
}

TEST(TextBuild, Banner)
{
    EXPECT_EQ(gf_makeBanner(3, 4, false, false, ""), "********");
    EXPECT_EQ(gf_makeBanner(4, 4, true, true, ""), "\n********\n");
    EXPECT_EQ(gf_makeBanner(10, 0, false, false, "Hi"), "**** Hi ****");
    EXPECT_EQ(gf_makeBanner(3, 0, false, true, "Title"), "Title\n");
    EXPECT_EQ(gf_makeBanner(3, 2, false, false, "Title"), "Title");           // width 6
    EXPECT_EQ(gf_makeBanner(4, 3, false, false, "Title"), "*** Title ***");   // 7 rounds up to 8
    EXPECT_EQ(gf_makeBanner(4, 4, false, false, "Titles"), "Titles");         // width 8 = 6 + 2
    EXPECT_EQ(gf_makeBanner(6, 4, false, false, "Title"), "**** Title ****");
    EXPECT_EQ(gf_makeBanner(10, 70, false, false, "").size(), 80u);
}

TEST(TextXml, AttributeReaders)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<a x='1' e=''/>"));
    const pugi::xml_node a = doc.child("a");
    EXPECT_EQ(gf_xmlOptString(a, "x"), std::optional<std::string>("1"));
    EXPECT_EQ(gf_xmlOptString(a, "e"), std::optional<std::string>(""));
    EXPECT_EQ(gf_xmlOptString(a, "y"), std::nullopt);
    EXPECT_EQ(gf_xmlString(a, "x"), "1");
    EXPECT_EQ(gf_xmlString(a, "y"), "");
    EXPECT_EQ(gf_xmlString(pugi::xml_node(), "x"), "");
}

TEST(TextWinsock, ErrorTexts)
{
    const std::pair<int, const char*> table[] = {
        {10004, "Interrupted system call"}, {10009, "Bad file number"}, {10013, "Permission denied"},
        {10014, "Bad address"}, {10022, "Invalid argument"}, {10024, "Too many open sockets"},
        {10035, "Operation would block"}, {10036, "Operation now in progress"},
        {10037, "Operation already in progress"}, {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"}, {10040, "Messenger too long"},
        {10041, "Protocol wrong type for socket"}, {10042, "Bad protocol option"},
        {10043, "Protocol not supported"}, {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"}, {10046, "Protocol family not supported"},
        {10047, "Address family not supported"}, {10048, "Address already in use"},
        {10049, "Can't assign requested address"}, {10050, "Network is down"},
        {10051, "Network is unreachable"}, {10052, "Net connection reset"},
        {10053, "Software caused connection abort"}, {10054, "Connection reset by peer"},
        {10055, "No buffer space available"}, {10056, "Socket is already connected"},
        {10057, "Socket is not connected"}, {10058, "Can't send numLines socket shutdown"},
        {10059, "Too many references, can't splice"}, {10060, "Connection timed out"},
        {10061, "Connection refused"}, {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"}, {10064, "Host is down"}, {10065, "No route to host"},
        {10066, "Directory not empty"}, {10067, "Too many processes"}, {10068, "Too many users"},
        {10069, "Disc quota exceeded"}, {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"}, {10091, "Network system is unavailable"},
        {10092, "Winsock version out of range"}, {10093, "WSAStartup not yet called"},
        {10101, "Graceful shutdown in progress"}, {11001, "Host not found"},
        {11004, "No host data of that type was found"},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(gf_wsaErrorText(code), std::to_string(code) + " " + text);
    EXPECT_EQ(gf_wsaErrorText(1), "1 Unknown errror code");
    EXPECT_EQ(gf_wsaErrorText(10000), "10000 Unknown errror code");
    EXPECT_EQ(gf_wsaErrorText(-5), "-5 Unknown errror code");
}
