#include "hostile_support.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "catalog/bytes.h"

namespace tolvex::hostile {

testbook::BookRecipe small_book(int text_kind, bool separate) {
  testbook::BookRecipe recipe;
  testbook::SubbookRecipe& s = recipe.subbooks.front();
  s.text_kind = text_kind;
  s.separate_graphic = separate;
  s.separate_sound = separate;
  s.sound_kind = separate ? 1 : 0;
  s.body_pages = 20;
  s.multi_searches = 2;
  s.graphic_pages = 3;
  s.sound_pages = 2;
  return recipe;
}

void write_file(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> fingerprint(const fs::path& dir) {
  std::map<std::string, std::string> result;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::ostringstream print;
    const fs::file_status status = fs::symlink_status(e.path());
    print << static_cast<int>(status.type()) << ' ' << static_cast<unsigned>(status.permissions()) << ' ';
    if (fs::is_symlink(status)) {
      print << fs::read_symlink(e.path()).string();  // not followed: it may lead nowhere
    } else {
      print << e.last_write_time().time_since_epoch().count();
    }
    if (fs::is_regular_file(status)) {
      std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the whole file
      for (std::uint8_t b : e2e::read_file(e.path())) h = (h ^ b) * 1099511628211ull;
      print << ' ' << fs::file_size(e.path()) << ' ' << std::hex << h;
    }
    result[e.path().lexically_relative(dir).generic_string()] = print.str();
  }
  return result;
}

std::uint64_t page_location(const fs::path& file, int kind, std::uint32_t page) {
  if (kind == 0) return std::uint64_t{page - 1} * 2048;
  std::vector<std::uint8_t> bytes = e2e::read_file(file);
  if (bytes.size() < 20) return 0;
  const std::uint64_t group = get_be(bytes.data(), 4) + 36ull * ((page - 1) / 16);
  if (group + 36 > bytes.size()) return 0;
  return get_be(bytes.data() + group, 4) + get_be(bytes.data() + group + 4 + 2 * ((page - 1) % 16), 2);
}

std::vector<std::string> package_paths(const testbook::GeneratedSubbook& subbook, int selection) {
  const std::string dir = "Dic/" + subbook.dir_name + "/";
  std::vector<std::string> paths;
  for (const std::string& name : e2e::package_names(subbook, selection)) {
    if (!name.empty()) paths.push_back(dir + name);
  }
  if (!subbook.full_font.empty()) paths.push_back(dir + subbook.full_font);
  if (!subbook.half_font.empty()) paths.push_back(dir + subbook.half_font);
  paths.push_back(dir + subbook.dir_name + ".IDX");
  paths.push_back(dir + "DICPROF.INI");
  paths.push_back(dir + "EXINFO.INI");
  paths.push_back("Dic/" + subbook.dir_name + ".REG");
  return paths;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace tolvex::hostile
