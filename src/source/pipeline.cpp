#include "source/pipeline.h"

#include "app/messages.h"

namespace tolvex {

std::uint32_t make_dic_id(const std::string& name) {
  unsigned char c[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (std::size_t i = 0; i < name.size() && i < 8; ++i) c[i] = static_cast<unsigned char>(name[i]);
  std::uint32_t id = 0;
  id |= static_cast<std::uint32_t>(c[0] & 0x0F) << 24;
  id |= static_cast<std::uint32_t>(c[1] & 0x0F) << 20;
  id |= static_cast<std::uint32_t>(c[2] & 0x0F) << 16;
  id |= static_cast<std::uint32_t>(c[3] & 0x0F) << 12;
  id |= static_cast<std::uint32_t>(c[4] & 0x07) << 9;
  id |= static_cast<std::uint32_t>(c[5] & 0x07) << 6;
  id |= static_cast<std::uint32_t>(c[6] & 0x07) << 3;
  id |= static_cast<std::uint32_t>(c[7] & 0x07);
  return id;
}

int convert_subbooks(const CatalogImage& catalog, const std::optional<std::string>& subdir,
                     const std::optional<std::string>& newdir, const RunOptions& options) {
  (void)catalog;
  (void)subdir;
  (void)newdir;
  (void)options;
  msg_printf("Nothing to do.\n");
  return 0;
}

}  // namespace tolvex
