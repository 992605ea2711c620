// The one field splitter: the texts of the system that hold fields joined
// by commas (a row text, such as a data line or a condition; a column
// list; an atom's arguments) are all cut here. A row text's fields may
// quote a comma; a column list or an argument list is cut at every comma.
// It lives beside the literal rule of values, in the lowest layer, since
// tables read row texts and column lists too.
#ifndef TABLOG_ROWS_FIELDS_H_
#define TABLOG_ROWS_FIELDS_H_

#include <cstddef>
#include <string_view>

namespace tablog {

enum class Quotes {
  kKeepCommas,  // a comma between single quotes belongs to its field
  kIgnored,     // every comma ends a field
};

// Calls visit(k, field, offset) for the fields 0, 1, ... of `text`, each
// with its offset in the text. Quotes stay in the fields. There is always
// at least one field: the empty text is one empty field.
template <class Visit>
void forEachField(std::string_view text, Quotes quotes, Visit visit) {
  bool inside = false;
  std::size_t start = 0, k = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\'' && quotes == Quotes::kKeepCommas) {
      inside = !inside;
    } else if (text[i] == ',' && !inside) {
      visit(k++, text.substr(start, i - start), start);
      start = i + 1;
    }
  }
  visit(k, text.substr(start), start);
}

// The fields of a row text: forEachField with quotes keeping commas.
template <class Visit>
void forEachField(std::string_view text, Visit visit) {
  forEachField(text, Quotes::kKeepCommas,
               [&visit](std::size_t k, std::string_view field, std::size_t) { visit(k, field); });
}

}  // namespace tablog

#endif  // TABLOG_ROWS_FIELDS_H_
