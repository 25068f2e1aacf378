// The GB2312 character set as its 94 x 94 grid of rows and cells, both
// numbered 0 to 93 (a GB2312 byte minus 0x21 in 7-bit form, minus 0xA1 in
// EUC-CN). The HZ codec needs the grid itself, which no converter offers.
#ifndef KELMO_TEXT_GB2312_TABLE_H
#define KELMO_TEXT_GB2312_TABLE_H

#include <cstdint>
#include <utility>
#include <vector>

namespace kelmo::text {

class Gb2312Table {
 public:
  static constexpr unsigned kSide = 94;

  // `cells` holds kSide * kSide characters, row by row; 0 marks an
  // unassigned cell.
  explicit Gb2312Table(std::vector<char16_t> cells);

  // 0 when the cell is unassigned or out of range.
  char16_t Decode(unsigned row, unsigned cell) const;

  // False when the character is not in GB2312.
  bool Encode(char16_t character, unsigned& row, unsigned& cell) const;

 private:
  std::vector<char16_t> cells_;
  // (character, row * kSide + cell), sorted by character.
  std::vector<std::pair<char16_t, uint16_t>> positions_;
};

}  // namespace kelmo::text

#endif  // KELMO_TEXT_GB2312_TABLE_H
