#include "package/profile_files.h"

#include <string>

#include "messages/messages.h"
#include "package/text_output.h"
#include "package/title_text.h"

namespace tolvex {
namespace {

// The installer's Japanese texts, as the Shift_JIS bytes the file holds.
// "このコンポーネントは「" ... "」の辞典データを含んでいます。" around the title
constexpr const char* DESC_TITLE_PREFIX =
    "\x82\xB1\x82\xCC\x83\x52\x83\x93\x83\x7C\x81\x5B\x83\x6C\x83\x93\x83\x67\x82\xCD\x81\x75";
constexpr const char* DESC_TITLE_SUFFIX =
    "\x81\x76\x82\xCC\x8E\xAB\x93\x54\x83\x66\x81\x5B\x83\x5E\x82\xF0\x8A\xDC\x82\xF1\x82\xC5\x82\xA2\x82\xDC\x82"
    "\xB7\x81\x42";
// "辞典データ"
constexpr const char* REQUIRED_NAME = "\x8E\xAB\x93\x54\x83\x66\x81\x5B\x83\x5E";
// "このコンポーネントは検索インデックス、本文データを含んでいます。"
constexpr const char* REQUIRED_DESC =
    "\x82\xB1\x82\xCC\x83\x52\x83\x93\x83\x7C\x81\x5B\x83\x6C\x83\x93\x83\x67\x82\xCD\x8C\x9F\x8D\xF5\x83\x43\x83"
    "\x93\x83\x66\x83\x62\x83\x4E\x83\x58\x81\x41\x96\x7B\x95\xB6\x83\x66\x81\x5B\x83\x5E\x82\xF0\x8A\xDC\x82\xF1"
    "\x82\xC5\x82\xA2\x82\xDC\x82\xB7\x81\x42";
// "オプション検索インデックス"
constexpr const char* OPTIONAL_NAME =
    "\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x8C\x9F\x8D\xF5\x83\x43\x83\x93\x83\x66\x83\x62\x83\x4E\x83\x58";
// "このコンポーネントはオプション検索インデックスを含んでいます。"
constexpr const char* OPTIONAL_DESC =
    "\x82\xB1\x82\xCC\x83\x52\x83\x93\x83\x7C\x81\x5B\x83\x6C\x83\x93\x83\x67\x82\xCD\x83\x49\x83\x76\x83\x56\x83"
    "\x87\x83\x93\x8C\x9F\x8D\xF5\x83\x43\x83\x93\x83\x66\x83\x62\x83\x4E\x83\x58\x82\xF0\x8A\xDC\x82\xF1\x82\xC5"
    "\x82\xA2\x82\xDC\x82\xB7\x81\x42";
// "カラー図版データ"
constexpr const char* GRAPHICS_NAME = "\x83\x4A\x83\x89\x81\x5B\x90\x7D\x94\xC5\x83\x66\x81\x5B\x83\x5E";
// "このコンポーネントはカラー図版データを含んでいます。"
constexpr const char* GRAPHICS_DESC =
    "\x82\xB1\x82\xCC\x83\x52\x83\x93\x83\x7C\x81\x5B\x83\x6C\x83\x93\x83\x67\x82\xCD\x83\x4A\x83\x89\x81\x5B\x90"
    "\x7D\x94\xC5\x83\x66\x81\x5B\x83\x5E\x82\xF0\x8A\xDC\x82\xF1\x82\xC5\x82\xA2\x82\xDC\x82\xB7\x81\x42";
// "音声データ"
constexpr const char* SOUND_NAME = "\x89\xB9\x90\xBA\x83\x66\x81\x5B\x83\x5E";
// "このコンポーネントは音声データを含んでいます。"
constexpr const char* SOUND_DESC =
    "\x82\xB1\x82\xCC\x83\x52\x83\x93\x83\x7C\x81\x5B\x83\x6C\x83\x93\x83\x67\x82\xCD\x89\xB9\x90\xBA\x83\x66\x81"
    "\x5B\x83\x5E\x82\xF0\x8A\xDC\x82\xF1\x82\xC5\x82\xA2\x82\xDC\x82\xB7\x81\x42";

std::string file_key(int k) { return "FILE" + std::to_string(k) + "="; }

// One [OPTIONAL<n>] section: the kinds of one class that belong to the
// package, in table order; the multi-search kind gives one line per file.
void optional_section(TextLines& lines, int section, const char* name, const char* desc, int files,
                      ComponentClass component_class, const SubbookPlan& plan) {
  const SelectedCounts& selected_count = plan.selected_count;
  lines.line("[OPTIONAL", std::to_string(section), "]");
  lines.line("NAME=", name);
  lines.line("DESC=", desc);
  lines.line("FILES=", std::to_string(files));
  int k = 1;
  for (int row = 0; row < COMPONENT_KIND_COUNT; ++row) {
    const ComponentKind& kind = COMPONENT_KINDS[row];
    if (kind.component_class != component_class || selected_count[row] == 0) continue;
    if (kind.code == MULTI_SEARCH_CODE) {
      for (const PlannedFile& file : plan.files)
        if (file.row == row) lines.line(file_key(k++), file.name);
    } else {
      lines.line(file_key(k++), kind.file_name);
    }
  }
}

}  // namespace

int write_dicprof_ini(const PackageDescription& package, const SubbookPlan& plan) {
  const std::string& full_font = package.full_font;
  const std::string& half_font = package.half_font;
  const SelectedCounts& selected_count = plan.selected_count;
  msg_printf("  Writing DICPROF.INI\n");

  // DICPROF.INI, EXINFO.INI and <DIR>.IDX are always required.
  int required = 3;
  int optional_files = 0;
  int graphics_files = 0;
  int sound_files = 0;
  for (int row = 0; row < COMPONENT_KIND_COUNT; ++row) {
    if (selected_count[row] == 0) continue;
    switch (COMPONENT_KINDS[row].component_class) {
      case CLASS_REQUIRED: ++required; break;
      case CLASS_OPTIONAL: optional_files += selected_count[row]; break;
      case CLASS_GRAPHICS: ++graphics_files; break;
      case CLASS_SOUND: ++sound_files; break;
      case CLASS_NONE: break;
    }
  }
  if (!full_font.empty()) ++required;
  if (!half_font.empty()) ++required;
  int optional_components = (optional_files > 0) + (graphics_files > 0) + (sound_files > 0);

  const std::string text_title = title_for_text(package.title);
  TextLines lines;
  lines.line("[GENERAL]");
  lines.line("DicName=", text_title);
  lines.line("DicId=", std::to_string(package.dic_id));
  lines.line("DicDir=", package.out_name);
  lines.line("RequiredFiles=", std::to_string(required));
  lines.line("OptionalComponents=", std::to_string(optional_components));
  lines.line(std::string("DESC=") + DESC_TITLE_PREFIX, text_title, DESC_TITLE_SUFFIX);
  lines.line("[REQUIRED]");
  lines.line("NAME=", REQUIRED_NAME);
  lines.line("DESC=", REQUIRED_DESC);
  lines.line("FILE1=DICPROF.INI");
  lines.line("FILE2=EXINFO.INI");
  lines.line("FILE3=", package.out_name, ".IDX");
  int k = 4;
  for (int row = 0; row < COMPONENT_KIND_COUNT; ++row) {
    const ComponentKind& kind = COMPONENT_KINDS[row];
    if (kind.component_class == CLASS_REQUIRED && selected_count[row] > 0) lines.line(file_key(k++), kind.file_name);
  }
  // Font names come from the book: a control byte in one must not start a line.
  if (!full_font.empty()) lines.line(file_key(k++), title_for_text(full_font));
  if (!half_font.empty()) lines.line(file_key(k++), title_for_text(half_font));

  int section = 1;
  if (optional_files > 0)
    optional_section(lines, section++, OPTIONAL_NAME, OPTIONAL_DESC, optional_files, CLASS_OPTIONAL, plan);
  if (graphics_files > 0)
    optional_section(lines, section++, GRAPHICS_NAME, GRAPHICS_DESC, graphics_files, CLASS_GRAPHICS, plan);
  if (sound_files > 0) optional_section(lines, section++, SOUND_NAME, SOUND_DESC, sound_files, CLASS_SOUND, plan);

  return write_text_file(package.file("DICPROF.INI"), lines);
}

int write_exinfo_ini(const PackageDescription& package) {
  msg_printf("  Writing EXINFO.INI\n");
  TextLines lines;
  lines.line("[GENERAL]");
  lines.line("SRCINFO=", title_for_text(package.title));
  return write_text_file(package.file("EXINFO.INI"), lines);
}

}  // namespace tolvex
