// DataValue: the value of one field of a row. Every value is text with a
// kind that records how the script wrote it; a plain text is read as a
// number only when two plain values are ordered.
#ifndef TABLOG_ROWS_DATA_VALUE_H_
#define TABLOG_ROWS_DATA_VALUE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace tablog {

// The numbers are part of the design: they are the values held in a kind.
enum ValueKind : std::uint8_t { Quoted = 0, Plain = 1, Null = 2 };

// Reads a text as the C library's atoi does (leading white space, an
// optional sign, decimal digits up to the first other character, 0 when
// there is no digit), but saturates at the limits of a 32-bit integer
// instead of overflowing.
std::int32_t readNumber(std::string_view text);

class DataValue {
 public:
  // A Null value.
  DataValue() = default;
  // Parses `literal` by the literal rule: "" is Null; a literal that starts
  // with a single quote is Quoted and loses its first and last character;
  // anything else is Plain and kept unchanged.
  explicit DataValue(std::string_view literal) { setLiteral(literal); }

  // Re-parses this value in place by the literal rule.
  void setLiteral(std::string_view literal);

  std::string_view text() const { return text_; }
  ValueKind kind() const { return kind_; }
  // The atoi reading of the text; computed once, meaningful for Plain.
  std::int32_t number() const { return number_; }

  // Same text and same kind.
  bool equals(const DataValue& other) const { return kind_ == other.kind_ && text_ == other.text_; }
  // True when this value comes after `other`: same kind required; Plain
  // values by number, the others by their bytes.
  bool greaterThan(const DataValue& other) const;
  // True when this value satisfies `condition` ("=x", "<x", ">x", an
  // unquoted upper-case variable, or a plain text to equal). Only this
  // value's text takes part.
  bool matches(const DataValue& condition) const;

  // The printed form: 'text' for Quoted, text for Plain, NULL for Null.
  void appendTo(std::string& out) const;

 private:
  std::string text_;
  ValueKind kind_ = Null;
  std::int32_t number_ = 0;
};

}  // namespace tablog

#endif  // TABLOG_ROWS_DATA_VALUE_H_
