#include "import/detect.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "import/common.h"
#include "import/pnml.h"
#include "import/stg.h"

namespace zelbo::import {

namespace {

bool isSpace(char c) { return detail::isBlank(c) || c == '\n'; }

bool isStgKeyword(std::string_view word) {
  static constexpr std::string_view kKeywords[] = {".model",    ".name",  ".inputs",  ".outputs",
                                                   ".internal", ".dummy", ".graph",   ".marking",
                                                   ".capacity", ".mode",  ".initial", ".end"};
  for (const std::string_view k : kKeywords)
    if (word == k) return true;
  return false;
}

Format byExtension(std::string_view file) {
  std::string ext = std::filesystem::path(std::string(file)).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".g") return Format::stg;
  if (ext == ".pnml" || ext == ".xml") return Format::pnml;
  return Format::stpn;
}

}  // namespace

const char* formatName(Format format) {
  switch (format) {
    case Format::stpn:
      return "zelbo model";
    case Format::stg:
      return "STG";
    case Format::pnml:
      return "PNML";
  }
  return "unknown";
}

Format detectFormat(std::string_view text, std::string_view file) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::size_t first = 0;
  while (first < text.size() && isSpace(text[first])) ++first;
  if (first < text.size() && text[first] == '<') return Format::pnml;

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string_view line = detail::trim(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (line.empty() || line.front() == '#' || line.substr(0, 2) == "//") continue;
    std::size_t end = 0;
    while (end < line.size() && !detail::isBlank(line[end]) && line[end] != '{' && line[end] != '#')
      ++end;
    const std::string_view word = line.substr(0, end);
    if (word == ".stpn") return Format::stpn;
    if (isStgKeyword(word)) return Format::stg;
    break;
  }
  return byExtension(file);
}

Result<std::string> readFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    return ImportError{path, 0, "cannot read: it is a directory"};
  errno = 0;
  const std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!in) return ImportError{path, 0, std::string("cannot read: ") + std::strerror(errno)};
  std::string text;
  char buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, n);
  if (std::ferror(in.get()))
    return ImportError{path, 0, std::string("cannot read: ") + std::strerror(errno)};
  return text;
}

ImportResult importText(std::string_view text, std::string_view file) {
  switch (detectFormat(text, file)) {
    case Format::stg:
      return importStg(text, file);
    case Format::pnml:
      return importPnml(text, file);
    case Format::stpn:
      break;
  }
  return ImportError{std::string(file), 0,
                     "not an STG (.g) or PNML file: this reads as a zelbo model"};
}

ImportResult importFile(const std::string& path) {
  Result<std::string> text = readFile(path);
  if (!text) return text.error();
  return importText(text.value(), path);
}

}  // namespace zelbo::import
