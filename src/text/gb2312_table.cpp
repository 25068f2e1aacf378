#include "text/gb2312_table.h"

#include <algorithm>

namespace kelmo::text {

Gb2312Table::Gb2312Table(std::vector<char16_t> cells) : cells_(std::move(cells)) {
  cells_.resize(kSide * kSide);
  for (size_t index = 0; index < cells_.size(); ++index) {
    if (cells_[index] != 0) positions_.emplace_back(cells_[index], static_cast<uint16_t>(index));
  }
  // Stable, so a character listed twice encodes to its first cell.
  std::stable_sort(positions_.begin(), positions_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

char16_t Gb2312Table::Decode(unsigned row, unsigned cell) const {
  if (row >= kSide || cell >= kSide) return 0;
  return cells_[row * kSide + cell];
}

bool Gb2312Table::Encode(char16_t character, unsigned& row, unsigned& cell) const {
  const auto found = std::lower_bound(positions_.begin(), positions_.end(), character,
                                      [](const auto& entry, char16_t value) { return entry.first < value; });
  if (found == positions_.end() || found->first != character) return false;
  row = found->second / kSide;
  cell = found->second % kSide;
  return true;
}

}  // namespace kelmo::text
