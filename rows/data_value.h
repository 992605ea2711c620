// DataValue: the value of one field of a row. Every value is text with a
// kind that records how the script wrote it; a plain text is read as a
// number only when two plain values are ordered.
#ifndef TABLOG_ROWS_DATA_VALUE_H_
#define TABLOG_ROWS_DATA_VALUE_H_

#include <cstdint>
#include <cstring>
#include <functional>
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
  DataValue() { setEmpty(Null); }
  // Parses `literal` by the literal rule: "" is Null; a literal that starts
  // with a single quote is Quoted and loses its first and last character;
  // anything else is Plain and kept unchanged.
  explicit DataValue(std::string_view literal) {
    setEmpty(Null);
    setLiteral(literal);
  }
  // A copy of a long text shares its block.
  DataValue(const DataValue& other) {
    setEmpty(Null);
    *this = other;
  }
  DataValue(DataValue&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.setEmpty(Null);
  }
  DataValue& operator=(const DataValue& other) {
    if (this == &other) return *this;
    if (other.onHeap() && other.block()->holders == TextBlock::kMostHolders) {
      assign(other.text(), other.kind());  // a count that would wrap: a block of its own
      return *this;
    }
    if (other.onHeap()) ++other.block()->holders;
    release();
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    return *this;
  }
  DataValue& operator=(DataValue&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
      other.setEmpty(Null);
    }
    return *this;
  }
  ~DataValue() { release(); }

  // Re-parses this value in place by the literal rule.
  void setLiteral(std::string_view literal) {
    Parsed p = parse(literal);
    assign(p.text, p.kind);
  }
  // What the literal rule makes of `literal`; the text lies in it.
  struct Parsed {
    ValueKind kind;
    std::string_view text;
  };
  static Parsed parse(std::string_view literal) {
    if (literal.empty()) return {Null, {}};
    // Quoted: positions 1 to length-2; the last character goes whatever it is.
    if (literal[0] == '\'') {
      return {Quoted,
              literal.size() > 1 ? literal.substr(1, literal.size() - 2) : std::string_view()};
    }
    return {Plain, literal};
  }

  std::string_view text() const {
    if (!onHeap()) return {reinterpret_cast<const char*>(bytes_), bytes_[kSizeByte]};
    const TextBlock* b = block();
    if (b->size != TextBlock::kLong) return {reinterpret_cast<const char*>(b + 1), b->size};
    std::size_t size;  // a text of 4 GiB or more keeps its size after the header
    std::memcpy(&size, b + 1, sizeof size);
    return {reinterpret_cast<const char*>(b + 1) + sizeof size, size};
  }
  ValueKind kind() const { return static_cast<ValueKind>(bytes_[kKindByte]); }
  // True when the text is held apart, in a block that copies share and
  // count: a copy then writes to that block.
  bool heldApart() const { return onHeap(); }
  // Asks the processor to fetch a text held apart, ahead of its use.
  void prefetchText() const {
    if (onHeap()) __builtin_prefetch(block());
  }
  // The atoi reading of the text (see readNumber); meaningful for Plain.
  std::int32_t number() const { return readNumber(text()); }

  // The hash of a value of kind `kind` and text `text`: equal values
  // (see equals) hash alike.
  static std::uint64_t hashOf(ValueKind kind, std::string_view text) {
    return std::hash<std::string_view>()(text) * 3 + kind;
  }
  std::uint64_t hash() const { return hashOf(kind(), text()); }

  bool equals(const DataValue& other) const {
    return kind() == other.kind() && text() == other.text();
  }
  // True when this value comes after `other`: same kind required; Plain
  // values by number, the others by their bytes.
  bool greaterThan(const DataValue& other) const;
  // True when this value satisfies `condition` ("=x", "<x", ">x", an
  // unquoted upper-case variable, or a plain text to equal). Only this
  // value's text takes part.
  bool matches(const DataValue& condition) const;

  // The printed form: 'text' for Quoted, text for Plain, NULL for Null.
  void appendTo(std::string& out) const;
  std::size_t printedSize() const {
    return kind() == Null ? 4 : text().size() + (kind() == Quoted ? 2 : 0);
  }
  // Writes the printed form at `out`; returns the end of what it wrote.
  // REQUIRES: printedSize() bytes of room.
  char* printTo(char* out) const {
    if (kind() == Null) return static_cast<char*>(std::memcpy(out, "NULL", 4)) + 4;
    std::string_view t = text();
    if (kind() == Quoted) *out++ = '\'';
    if (!t.empty()) std::memcpy(out, t.data(), t.size());
    out += t.size();
    if (kind() == Quoted) *out++ = '\'';
    return out;
  }

 private:
  // Texts of up to kInline bytes are held in place; a longer text lives in
  // a heap block, whose address the first eight bytes hold. A value is 12
  // bytes with no padding, so a row of three values and its bookkeeping
  // fill one 56-byte slot; keys, codes, dates and numbers of up to ten
  // characters never leave it. Texts never change in place, so the copies
  // of a value share its block, which counts its holders: a long text that
  // a projection or a join copies into millions of rows is stored once.
  static constexpr std::size_t kInline = 10;
  static constexpr std::size_t kSizeByte = 10;  // inline size, or kOnHeap
  static constexpr std::size_t kKindByte = 11;
  static constexpr unsigned char kOnHeap = 0xFF;

  // A heap block: this header, then the text.
  struct TextBlock {
    static constexpr std::uint32_t kLong = ~std::uint32_t{0};
    static constexpr std::uint32_t kMostHolders = ~std::uint32_t{0};
    std::uint32_t size;  // kLong: the size follows the header
    std::uint32_t holders;
  };

  bool onHeap() const { return bytes_[kSizeByte] == kOnHeap; }
  TextBlock* block() const {
    TextBlock* b;
    std::memcpy(&b, bytes_, sizeof b);
    return b;
  }
  void setEmpty(ValueKind kind) {
    bytes_[kSizeByte] = 0;
    bytes_[kKindByte] = kind;
  }
  void release() {
    if (onHeap() && --block()->holders == 0) ::operator delete(block());
    bytes_[kSizeByte] = 0;
  }
  // Sets text and kind; `text` may lie in this value.
  void assign(std::string_view text, ValueKind kind);

  alignas(4) unsigned char bytes_[12];
};

}  // namespace tablog

#endif  // TABLOG_ROWS_DATA_VALUE_H_
