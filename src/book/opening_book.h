// Opening moves from a book file in the Polyglot binary format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "board/output.h"
#include "board/position.h"

namespace varnu {

// The standard Polyglot key of a position.
uint64_t polyglotKey(const Position& pos);

class OpeningBook {
 public:
  explicit OpeningBook(std::string_view path);
  // Points the book at another file; the next probe reads it.
  void setPath(std::string_view path);
  std::string path() const;
  // A book move for the position, or the null move when the book has none.
  Move probe(Position& pos, Output& out);
};

}  // namespace varnu
