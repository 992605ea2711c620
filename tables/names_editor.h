// NamesEditor: the new list of column names for each row that an edit of
// a table's columns changes. Rows normally share the header's list; a
// table whose rows carry other lists (names drifted from a header with
// repeated names) keeps one new list per distinct old list, so an edit
// never gives a million rows a million lists.
#ifndef TABLOG_TABLES_NAMES_EDITOR_H_
#define TABLOG_TABLES_NAMES_EDITOR_H_

#include "rows/shared_names.h"

namespace tablog {

class NamesEditor {
 public:
  // The list `old` becomes after `edit`; `header` when they agree. Holds
  // the last old list, so that its address cannot be reused while it is
  // remembered.
  template <class Edit>
  const SharedNames& edited(const SharedNames& old, const SharedNames& header, Edit edit) {
    if (old != lastOld_) {
      lastOld_ = old;
      lastNew_ = SharedNames::make(*old);
      edit(*lastNew_);
      if (*lastNew_ == *header) lastNew_ = header;
    }
    return lastNew_;
  }

 private:
  SharedNames lastOld_;
  SharedNames lastNew_;
};

}  // namespace tablog

#endif  // TABLOG_TABLES_NAMES_EDITOR_H_
