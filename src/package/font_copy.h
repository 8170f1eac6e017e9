// Copies of the subbook's external-character font files: each file from the
// book's GAIJI directory is copied byte for byte into Dic/<DIR>/ under its
// own name, through one 512-byte buffer.
#pragma once

#include <string>

#include "components/package_description.h"

namespace tolvex {

inline constexpr int FONT_COPY_BUFFER_SIZE = 512;

// Returns 0 when the whole file was copied, -1 otherwise. A font name that is
// not a plain file name (empty, ".", "..", holding '/', '\' or ':') is
// refused with a message, since it comes from the book and could point
// outside the package directory; so is a source that is not a regular file
// (or a link to one). The copy has the size the source had when opened.
// A missing source fails quietly after the progress line; a destination
// that cannot be created, read and write errors and a failed commit are
// reported, and leave the previous copy, if any, as it was.
int copy_font_file(const PackageDescription& package, const std::string& source_path, const std::string& font_name);

}  // namespace tolvex
