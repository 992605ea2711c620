// HashSlots against std::unordered_map: random keys looked up and entered
// under good and bad hashes (all alike, alike but for the top bit, alike in
// every bit that picks a slot), from little room and from some, with
// entries that own memory and move when the table grows.
#include "rows/hash_slots.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>

namespace tablog {
namespace {

std::uint64_t mixed(int key) { return static_cast<std::uint64_t>(key) * 0x9E3779B97F4A7C15u; }

struct HashCase {
  const char* name;
  std::uint64_t (*hash)(int key);
  std::size_t room;
};

TEST(HashSlotsTest, FindsAndFillsAsAMapDoes) {
  const HashCase kCases[] = {
      {"mixed", mixed, 1},
      {"all alike", [](int) { return std::uint64_t{5}; }, 1},
      {"pairs apart in the top bit only",
       [](int k) { return (mixed(k / 2) >> 1) | (static_cast<std::uint64_t>(k & 1) << 63); }, 4},
      {"alike in the low 32 bits", [](int k) { return mixed(k) << 32; }, 100},
  };
  std::mt19937 rng(3);
  for (const HashCase& c : kCases) {
    using Entry = std::pair<int, std::string>;  // the key, and a text that lives on the heap
    HashSlots<Entry> slots(c.room);
    std::unordered_map<int, std::string> model;
    for (int op = 0; op < 3000; ++op) {
      const int key = std::uniform_int_distribution<int>(0, 600)(rng);
      auto holds = [key](const Entry& e) { return e.first == key; };
      auto& slot = slots.find(c.hash(key), holds);
      auto it = model.find(key);
      ASSERT_EQ(it != model.end(), slot.filled()) << c.name << ", op " << op;
      if (slot.filled()) {
        ASSERT_EQ(it->second, slot.entry.second) << c.name << ", op " << op;
      } else if (op % 2 == 0) {
        std::string text =
            "the entry of key " + std::to_string(key) + " at op " + std::to_string(op);
        model.emplace(key, text);
        slots.fill(slot, c.hash(key), Entry(key, text));
        ASSERT_TRUE(std::as_const(slots).find(c.hash(key), holds).filled()) << c.name;
      }
      ASSERT_EQ(model.size(), slots.size()) << c.name;
      ASSERT_LE(2 * slots.size(), slots.slotCount()) << c.name;
      ASSERT_EQ(0u, slots.slotCount() & (slots.slotCount() - 1)) << c.name;
    }
  }
}

}  // namespace
}  // namespace tablog
