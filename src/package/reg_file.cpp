#include "package/reg_file.h"

#include <cstdio>

#include "messages/messages.h"
#include "package/text_output.h"
#include "package/title_text.h"

namespace tolvex {

int write_reg_file(const PackageDescription& package) {
  const std::string& out_name = package.out_name;
  const std::string file_name = out_name + ".REG";
  msg_printf("  Writing %s\n", file_name.c_str());

  char hex_id[16];
  std::snprintf(hex_id, sizeof hex_id, "%08X", static_cast<unsigned>(package.dic_id));
  const std::string reg_title = title_for_reg_string(package.title);

  TextLines lines;
  lines.line("REGEDIT4");
  lines.line("");
  lines.line("[HKEY_LOCAL_MACHINE\\Software\\Kestrova\\Lexivane\\Dic\\", hex_id, "]");
  lines.line("\"DicID\"=dword:", hex_id);
  lines.line("\"DicName\"=\"", reg_title, "\"");
  // Inside a quoted REGEDIT4 value every backslash of the path is doubled.
  lines.line("\"DicPath\"=\"C:\\\\Program Files\\\\Kestrova\\\\Folivant\\\\DIC\\\\" + out_name + "\\\\", out_name,
             ".IDX\"");
  lines.line("\"SRCINFO\"=\"", reg_title, "\"");

  return write_text_file(package.reg_path, lines);
}

}  // namespace tolvex
