#include "net/lookup.h"

#include <algorithm>
#include <utility>

#include "base/texts.h"

namespace zelbo {

namespace {

// Edits (insertions, deletions, substitutions of one byte) from one text to the other.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

template <class Record>
std::vector<std::string> closest(const std::vector<Record*>& records, std::string_view name, std::size_t most) {
  std::vector<std::pair<std::size_t, std::string>> scored;
  for (const Record* r : records) {
    const std::string& written = writtenName(r);
    const std::size_t limit = std::max<std::size_t>(2, std::max(written.size(), name.size()) / 3);
    const std::size_t d = editDistance(name, written);
    if (d <= limit) scored.emplace_back(d, written);
  }
  std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> names;
  for (std::size_t i = 0; i < scored.size() && i < most; ++i) names.push_back(scored[i].second);
  return names;
}

template <class Record, class Index>
Record* find(const Index& byName, const std::unordered_map<std::string_view, Record*>& byWritten,
             std::string_view name, bool writtenFirst) {
  const auto written = byWritten.find(name);
  Record* byWrittenName = written == byWritten.end() ? nullptr : written->second;
  if (writtenFirst && byWrittenName) return byWrittenName;
  if (Record* r = byName.find(name)) return r;
  return byWrittenName;
}

}  // namespace

NameLookup::NameLookup(const Net& net) : net_(net) {
  for (Trans* t : net.transById)
    if (!t->written.empty()) transByWritten_.emplace(t->written, t);
  for (Place* p : net.placeById)
    if (!p->written.empty()) placeByWritten_.emplace(p->written, p);
}

Trans* NameLookup::transition(std::string_view name, bool writtenFirst) const {
  return find(net_.transByName, transByWritten_, name, writtenFirst);
}

Place* NameLookup::place(std::string_view name, bool writtenFirst) const {
  return find(net_.placeByName, placeByWritten_, name, writtenFirst);
}

std::vector<std::string> NameLookup::closestTransitions(std::string_view name, std::size_t most) const {
  return closest(net_.transById, name, most);
}

std::vector<std::string> NameLookup::closestPlaces(std::string_view name, std::size_t most) const {
  return closest(net_.placeById, name, most);
}

std::string withSuggestions(const std::string& unknown, const std::vector<std::string>& closest) {
  if (closest.empty()) return unknown + ".";
  std::string text = unknown + text::kDidYouMean;
  for (std::size_t i = 0; i < closest.size(); ++i) {
    if (i > 0) text += i + 1 == closest.size() ? text::kOr : ", ";
    text += closest[i];
  }
  return text + "?";
}

}  // namespace zelbo
