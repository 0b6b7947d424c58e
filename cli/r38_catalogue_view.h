// How r38 shows a tape's catalogue: a table for people, a JSON document for scripts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/r38_source.h"
#include "extract/catalogue.h"

namespace r38::cli {

// The stored name up to its first zero byte, printable ASCII as it stands; a backslash, a
// double quote and every other byte are escaped (\\, \", \xHH).
std::string escape_name(const std::uint8_t* name, std::size_t length);

// The version of the JSON document's layout; raised only when a field changes meaning or goes.
inline constexpr int CATALOGUE_JSON_VERSION = 1;

// The phase line, one row per file, the stray and damaged blocks and the total. With
// `written`, each row also names the file it was written to (in tape order).
void print_catalogue(std::FILE* out, const TapeCatalogue& catalogue, const TapeScan& scan,
                     const std::vector<std::string>* written = nullptr);

// The same as one JSON document, with a final line break.
std::string catalogue_json(const std::string& image, const TapeCatalogue& catalogue,
                           const TapeScan& scan);

}  // namespace r38::cli
