#include "package/profile_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "components/run_options.h"
#include "package/package_test_support.h"
#include "package/reg_file.h"

namespace tolvex {
namespace {

// Shift_JIS bytes of the texts the tests look for.
const std::string SAMPLE_TITLE = "\x8C\xA9\x96\x7B\x8E\xAB\x93\x54";                              // 見本辞典
const std::string DICT_DATA = "\x8E\xAB\x93\x54\x83\x66\x81\x5B\x83\x5E";                         // 辞典データ
const std::string CONTAINS = "\x82\xF0\x8A\xDC\x82\xF1\x82\xC5\x82\xA2\x82\xDC\x82\xB7\x81\x42";  // を含んでいます。
const std::string THIS_COMPONENT =  // このコンポーネントは
    "\x82\xB1\x82\xCC\x83\x52\x83\x93\x83\x7C\x81\x5B\x83\x6C\x83\x93\x83\x67\x82\xCD";
const std::string SEARCH_INDEX =  // 検索インデックス
    "\x8C\x9F\x8D\xF5\x83\x43\x83\x93\x83\x66\x83\x62\x83\x4E\x83\x58";
const std::string OPTION = "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93";  // オプション
const std::string COLOUR_FIGURES = "\x83\x4A\x83\x89\x81\x5B\x90\x7D\x94\xC5" +
    DICT_DATA.substr(4);                                                         // カラー図版データ
const std::string BODY_TEXT = "\x81\x41\x96\x7B\x95\xB6" + DICT_DATA.substr(4);  // 、本文データ

// The plan of a package with one file per code, in this order.
SubbookPlan plan_for(const std::vector<std::uint8_t>& codes) {
  SubbookPlan plan;
  int multi = 0;
  for (std::uint8_t code : codes) {
    PlannedFile f;
    f.code = code;
    f.row = match_component(code, DO_OPTIONAL | DO_GRAPHICS | DO_SOUND);
    f.name = component_file_name(f.kind(), code == MULTI_SEARCH_CODE ? ++multi : 0);
    ++plan.selected_count[static_cast<std::size_t>(f.row)];
    plan.files.push_back(f);
  }
  return plan;
}

std::string crlf_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

class ProfileFiles : public testing_support::PackageDirTest {};

TEST_F(ProfileFiles, DicprofOfTheWorkedExampleMatchesLineForLine) {
  make_package_dir("DICT01");
  PackageDescription dict01 = package("DICT01", SAMPLE_TITLE, 0x04934040);
  dict01.full_font = "FONT16F";
  dict01.half_font = "FONT16H";
  ASSERT_EQ(write_dicprof_ini(dict01, plan_for({0x00, 0x01, 0x30, 0x80, 0xFF, 0xFF, 0xD2})), 0);
  EXPECT_EQ(read_file("Dic/DICT01/DICPROF.INI"),
            crlf_lines({
                "[GENERAL]",
                "DicName=" + SAMPLE_TITLE,
                "DicId=76759104",
                "DicDir=DICT01",
                "RequiredFiles=8",
                "OptionalComponents=2",
                // このコンポーネントは「見本辞典」の辞典データを含んでいます。
                "DESC=" + THIS_COMPONENT + "\x81\x75" + SAMPLE_TITLE + "\x81\x76\x82\xCC" + DICT_DATA + CONTAINS,
                "[REQUIRED]",
                "NAME=" + DICT_DATA,
                "DESC=" + THIS_COMPONENT + SEARCH_INDEX + BODY_TEXT + CONTAINS,
                "FILE1=DICPROF.INI",
                "FILE2=EXINFO.INI",
                "FILE3=DICT01.IDX",
                "FILE4=HONMON.DIC",
                "FILE5=MENU.DIC",
                "FILE6=KAINDEX.DIC",
                "FILE7=FONT16F",
                "FILE8=FONT16H",
                "[OPTIONAL1]",
                "NAME=" + OPTION + SEARCH_INDEX,
                "DESC=" + THIS_COMPONENT + OPTION + SEARCH_INDEX + CONTAINS,
                "FILES=3",
                "FILE1=KWINDEX.DIC",
                "FILE2=MULTI1.DIC",
                "FILE3=MULTI2.DIC",
                "[OPTIONAL2]",
                "NAME=" + COLOUR_FIGURES,
                "DESC=" + THIS_COMPONENT + COLOUR_FIGURES + CONTAINS,
                "FILES=1",
                "FILE1=COLSCR.DIC",
            }));
  EXPECT_EQ(console_, "  Writing DICPROF.INI\n");
}

TEST_F(ProfileFiles, RegistryScriptBytesForAbc) {
  std::filesystem::create_directory("Dic");
  ASSERT_EQ(write_reg_file(package("ABC", "Title", 0x01230000)), 0);
  EXPECT_EQ(read_file("Dic/ABC.REG"),
            "REGEDIT4\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Kestrova\\Lexivane\\Dic\\01230000]\r\n"
            "\"DicID\"=dword:01230000\r\n"
            "\"DicName\"=\"Title\"\r\n"
            "\"DicPath\"=\"C:\\\\Program Files\\\\Kestrova\\\\Folivant\\\\DIC\\\\ABC\\\\ABC.IDX\"\r\n"
            "\"SRCINFO\"=\"Title\"\r\n");
  EXPECT_EQ(console_, "  Writing ABC.REG\n");
}

// 表ソ (both second bytes 0x5C), then second bytes 0x80 and 0xFC, the ends of
// their range, stay as they are. A line break, a lone quote and backslash, a
// lead byte before a byte that cannot follow it (0x7F) and one with no second
// byte can neither add lines nor break the quoting, in titles or font names.
TEST_F(ProfileFiles, TitlesAndFontNamesKeepDoubleBytesButCannotAddLinesOrBreakQuoting) {
  make_package_dir("ABC");
  const std::string valid = "\x95\x5C\x83\x5C\x81\x80\xFC\xFC";
  const std::string damaged = std::string("a\r\n\"x\"=\"y\\", 10) + "\x1F\x81\x7F\x81";
  for (const auto& [title, in_text, in_reg] : std::vector<std::array<std::string, 3>>{
           {valid, valid, valid}, {damaged, "a??\"x\"=\"y\\????", "a??\\\"x\\\"=\\\"y\\\\????"}}) {
    PackageDescription abc = package("ABC", title);
    abc.full_font = title;
    for (auto write : {write_reg_file, write_exinfo_ini}) ASSERT_EQ(write(abc), 0);
    ASSERT_EQ(write_dicprof_ini(abc, {}), 0);
    const std::string reg = read_file("Dic/ABC.REG"), prof = read_file("Dic/ABC/DICPROF.INI");
    EXPECT_NE(reg.find("\"DicName\"=\"" + in_reg + "\"\r\n\"DicPath\""), std::string::npos) << reg;
    EXPECT_NE(reg.find("\"SRCINFO\"=\"" + in_reg + "\"\r\n"), std::string::npos);
    EXPECT_EQ(std::count(reg.begin(), reg.end(), '\n'), 7);
    EXPECT_EQ(read_file("Dic/ABC/EXINFO.INI"), crlf_lines({"[GENERAL]", "SRCINFO=" + in_text}));
    EXPECT_NE(prof.find("DicName=" + in_text + "\r\nDicId="), std::string::npos) << prof;
    EXPECT_NE(prof.find("FILE4=" + in_text + "\r\n"), std::string::npos);
    EXPECT_EQ(std::count(prof.begin(), prof.end(), '\n'), 14);
  }
}

}  // namespace
}  // namespace tolvex
