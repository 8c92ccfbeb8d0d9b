// Which format a model file is in, told by its content, and entry points that read a file or
// a text in either foreign format.
//
//   pnml  the first character other than blanks (after a UTF-8 byte order mark) is "<": an
//         XML document (importPnml reports one whose root is not <pnml>)
//   stg   the first word of the first line that is not blank or a comment (# or //) is a .g
//         keyword: .model .name .inputs .outputs .internal .dummy .graph .marking .capacity
//         .mode .initial .end
//   stpn  that word is .stpn: zelbo's own model language
//
// Content of none of these forms (an empty file, stray text) is ambiguous: the file's
// extension decides (.g: STG; .pnml, .xml: PNML; anything else: zelbo's own language, whose
// reader then reports what is wrong).
#pragma once

#include <string>
#include <string_view>

#include "import/imported.h"

namespace zelbo::import {

enum class Format { stpn, stg, pnml };

// "zelbo model", "STG", "PNML".
const char* formatName(Format format);

// `file` is only a hint (its extension), for ambiguous content.
Format detectFormat(std::string_view text, std::string_view file = {});

// The bytes of a file; an error (line 0) with the system's reason when it cannot be read.
Result<std::string> readFile(const std::string& path);

// Detects the format of `text` and imports it; a text in zelbo's own language is an error.
// `file` names the text in errors and hints at its format.
ImportResult importText(std::string_view text, std::string_view file);
ImportResult importFile(const std::string& path);

}  // namespace zelbo::import
